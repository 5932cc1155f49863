#include "find.hpp"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "commands.hpp"
#include "quote.hpp"

namespace mivo_cli {
namespace {

std::string number_text(std::uint64_t n, bool decimal) {
  std::array<char, 24> text{};
  const auto end = std::to_chars(text.data(), text.data() + text.size(), n, decimal ? 10 : 16).ptr;
  return (decimal ? "" : "0x") + std::string(text.data(), end);
}

// Searches one input; returns how many matches it reported (at most `most`).
std::uint64_t search_one(const std::string& name, const output& out, text_buffer& lines,
                         const find_options& o, std::string_view prefix) {
  std::uint64_t count = 0;
  if (o.most == 0) return 0;  // as grep -m 0: nothing is read
  mivo::searcher search(o.pattern, [&](std::uint64_t offset) {
    ++count;
    if (o.report == find_report::matches) lines.add_line(prefix, number_text(offset, o.decimal));
    return count < o.most && o.report != find_report::names;
  });
  input_list in({name}, out);
  const page_block block = make_page_block(block_size);
  const bool skip_holes = !o.pattern.matches_zeros();
  bool zeros_before = true;
  while (!search.stopped()) {
    if (skip_holes && zeros_before) search.write_zeros(in.pass_hole());
    const std::size_t n = in.read({block.get(), block_size});
    if (n == 0) break;
    const auto bytes = mivo::as_bytes(std::span<const char>(block.get(), n));
    search.write(bytes);
    zeros_before = may_precede_hole(bytes);
  }
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
