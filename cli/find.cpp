#include "find.hpp"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <optional>

#include "commands.hpp"
#include "quote.hpp"
#include "rows.hpp"

namespace mivo_cli {
namespace {

std::string number_text(std::uint64_t n, bool decimal) {
  std::array<char, 24> text{};
  const auto end = std::to_chars(text.data(), text.data() + text.size(), n, decimal ? 10 : 16).ptr;
  return (decimal ? "" : "0x") + std::string(text.data(), end);
}

// The rows around the matches of one input, each row once, the matched bytes marked; groups
// of rows that do not touch are split by "--", as grep -C splits them. Bytes come in order and
// each match after the bytes that hold it; rows are printed once no later match can mark them.
class match_rows {
 public:
  match_rows(text_buffer& text, std::string_view prefix, const find_options& o)
      : text_(text),
        prefix_(prefix),
        context_(o.context_rows.value_or(0) * row_bytes),
        length_(o.pattern.size()),
        color_(o.color) {}

  // Zeros that reach past every row a match next to them shows: a hole longer than twice this
  // needs only its edges.
  [[nodiscard]] std::uint64_t zeros_edge() const { return context_ + 2 * length_ + 2 * row_bytes; }

  void add_bytes(std::span<const std::uint8_t> bytes) {
    window_.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    position_ += bytes.size();
  }

  // Passes over `n` bytes that no match shows, and forgets the bytes before them.
  void jump(std::uint64_t n) {
    if (open_) print_to(std::min(group_end_, position_));
    open_ = false;
    window_.clear();
    position_ += n;
    window_start_ = position_;
  }

  void add_match(std::uint64_t offset) {
    const std::uint64_t start = row_down(offset) - std::min(row_down(offset), context_);
    const std::uint64_t end = row_up(offset + length_) + context_;
    if (open_ && start > group_end_) {
      print_to(std::min(group_end_, position_));
      open_ = false;
    }
    if (!open_) {
      if (printed_any_) text_.add_line("", "--");
      open_ = printed_any_ = true;
      printed_ = start;
      group_end_ = end;
    }
    group_end_ = std::max(group_end_, end);
    marked_.emplace_back(offset, offset + length_);
  }

  // Whether rows still wait for bytes, after the search has stopped.
  [[nodiscard]] bool wants_more() const { return open_ && position_ < group_end_; }

  // Prints the rows no later match can mark; at the end, every row still wanted.
  void print_ready(bool at_end) {
    const std::uint64_t next_match = position_ - std::min(position_, length_ - 1);
    if (open_) {
      print_to(at_end ? std::min(group_end_, position_)
                      : std::min(group_end_, row_down(next_match)));
      if (at_end || printed_ >= group_end_) open_ = false;
    }
    // What a later match's rows may still show.
    const std::uint64_t keep =
        std::min(open_ ? printed_ : UINT64_MAX,
                 row_down(next_match) - std::min(row_down(next_match), context_));
    if (keep > window_start_) {
      window_.erase(0, static_cast<std::size_t>(
                           std::min<std::uint64_t>(keep - window_start_, window_.size())));
      window_start_ = std::max(window_start_, std::min(keep, position_));
    }
  }

 private:
  void print_to(std::uint64_t end) {
    if (end <= printed_) return;
    const auto n = static_cast<std::size_t>(end - printed_);
    const std::string_view bytes =
        std::string_view(window_).substr(static_cast<std::size_t>(printed_ - window_start_), n);
    std::string marks(n, unmarked);
    for (const auto& [from, to] : marked_) {
      for (std::uint64_t i = std::max(from, printed_); i < std::min(to, end); ++i)
        marks[static_cast<std::size_t>(i - printed_)] = '^';
    }
    std::erase_if(marked_, [&](const auto& m) { return m.second <= end; });
    print_marked_rows(text_, printed_, bytes, marks, prefix_, color_);
    printed_ = end;
  }

  text_buffer& text_;
  std::string prefix_;
  std::uint64_t context_;
  std::uint64_t length_;
  bool color_;
  std::string window_;  // the bytes from window_start_ to position_
  std::uint64_t window_start_ = 0;
  std::uint64_t position_ = 0;
  bool open_ = false;  // a group of rows is being printed
  bool printed_any_ = false;
  std::uint64_t printed_ = 0;  // rows of the open group printed up to here
  std::uint64_t group_end_ = 0;
  std::vector<std::pair<std::uint64_t, std::uint64_t>> marked_;  // matches not yet printed
};

// Searches one input; returns how many matches it reported (at most `most`).
std::uint64_t search_one(const std::string& name, const output& out, text_buffer& lines,
                         const find_options& o, std::string_view prefix) {
  std::uint64_t count = 0;
  if (o.most == 0) return 0;  // as grep -m 0: nothing is read
  std::optional<match_rows> rows;
  if (o.context_rows) rows.emplace(lines, prefix, o);
  mivo::searcher search(o.pattern, [&](std::uint64_t offset) {
    ++count;
    if (rows) {
      rows->add_match(offset);
    } else if (o.report == find_report::matches) {
      lines.add_line(prefix, number_text(offset, o.decimal));
    }
    return count < o.most && o.report != find_report::names;
  });
  const auto feed = [&](std::span<const std::uint8_t> bytes) {
    if (rows) rows->add_bytes(bytes);
    if (!search.stopped()) search.write(bytes);
    if (rows) rows->print_ready(false);
  };
  // A hole: with rows to show, its edges as bytes, so that the rows beside it have them.
  const auto feed_zeros = [&](std::uint64_t n) {
    if (!rows) return search.write_zeros(n);
    static constexpr std::array<std::uint8_t, 4096> zeros{};
    const auto feed_some = [&](std::uint64_t k) {
      for (; k > 0; k -= std::min<std::uint64_t>(k, zeros.size())) {
        feed(std::span(zeros).first(
            static_cast<std::size_t>(std::min<std::uint64_t>(k, zeros.size()))));
      }
    };
    const std::uint64_t edge = rows->zeros_edge();
    if (n <= 2 * edge) return feed_some(n);
    feed_some(edge);
    rows->jump(n - 2 * edge);
    search.write_zeros(n - 2 * edge);
    feed_some(edge);
  };
  input_list in({name}, out);
  const page_block block = make_page_block(block_size);
  const bool skip_holes = !o.pattern.matches_zeros();
  bool zeros_before = true;
  while (!search.stopped() || (rows && rows->wants_more())) {
    if (skip_holes && zeros_before) feed_zeros(in.pass_hole());
    const std::size_t n = in.read({block.get(), block_size});
    if (n == 0) break;
    const auto bytes = mivo::as_bytes(std::span<const char>(block.get(), n));
    feed(bytes);
    zeros_before = may_precede_hole(bytes);
  }
  if (rows) rows->print_ready(true);
  return count;
}

}  // namespace

bool find(const std::vector<std::string>& names, const output& out, const find_options& o,
          std::vector<std::string>& errors) {
  const std::vector<std::string> inputs = names.empty() ? std::vector<std::string>{"-"} : names;
  const bool named = inputs.size() > 1;
  text_buffer lines(out);
  bool any = false;
  for (const std::string& name : inputs) {
    const std::string shown = quote_name(name);
    const std::string prefix = named ? shown + ":" : "";
    try {
      const std::uint64_t count = search_one(name, out, lines, o, prefix);
      any = any || count > 0;
      if (o.report == find_report::count) lines.add_line(prefix, std::to_string(count));
      if (o.report == find_report::names && count > 0) lines.add_line(shown, "");
    } catch (const failure& e) {
      lines.flush();
      errors.emplace_back(e.what());
    }
  }
  lines.flush();
  return any;
}

}  // namespace mivo_cli
