#include "commands.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace mivo_cli {
namespace {

page_block uninitialized(std::size_t n) { return make_page_block(n); }

std::span<const std::uint8_t> bytes_of(const page_block& block, std::size_t n) {
  return mivo::as_bytes(std::span(block.get(), n));
}

}  // namespace

bool may_precede_hole(std::span<const std::uint8_t> block) noexcept {
  constexpr std::size_t probe_bytes = 16;  // zeros at the end that make a hole worth looking for
  const auto tail = block.last(std::min(block.size(), probe_bytes));
  return std::all_of(tail.begin(), tail.end(), [](std::uint8_t b) { return b == 0; });
}

void dump(input_list& in, const output& out, const mivo::dump_layout& layout) {
  output_buffer buffer(out);
  std::ostream stream(&buffer);
  stream.exceptions(std::ios::badbit);  // our failures come through the stream as they are
  mivo::dump_writer writer(layout, stream);
  const auto block = uninitialized(block_size);
  // Squeezed, a sparse file's holes are passed over without reading them. A hole is looked for
  // only at the start and after a block that ended in zeros, as one that ran into a hole does:
  // the lseek calls would cost random data a tenth of its time.
  bool zeros_before = true;
  for (;;) {
    if (layout.squeeze() && zeros_before) writer.write_zeros(in.pass_hole());
    const std::size_t n = in.read({block.get(), block_size});
    if (n == 0) break;
    const auto bytes = bytes_of(block, n);
    writer.write_bytes(bytes);
    zeros_before = may_precede_hole(bytes);
  }
  writer.finish();
}

namespace {

void uppercase(char* digits, std::size_t n) {
  std::transform(digits, digits + n, digits,
                 [](char c) { return static_cast<char>(c >= 'a' ? c - ('a' - 'A') : c); });
}

// Room past the ends of the digits and the lines for wrap's whole-chunk copies.
constexpr std::size_t wrap_slack = 32;
// Bytes encoded at a time before their digits are wrapped.
constexpr std::size_t wrap_step = std::size_t{4} << 10;

// Copies digits to `to`, a line feed after every `width` of them; `column` carries on from one
// call to the next. Returns the end. Whole lines go in 32-byte chunks, each line's spill
// overwritten by the next: digits and `to` need wrap_slack bytes past their ends.
char* wrap(const char* digits, std::size_t n, std::size_t width, std::size_t& column, char* to) {
  if (column == 0) {
    for (; n >= width; n -= width, digits += width) {
      for (std::size_t at = 0; at < width; at += wrap_slack) {
        std::memcpy(to + at, digits + at, wrap_slack);
      }
      to[width] = '\n';
      to += width + 1;
    }
  }
  while (n > 0) {
    const std::size_t take = std::min(n, width - column);
    std::memcpy(to, digits, take);
    to += take;
    digits += take;
    n -= take;
    column += take;
    if (column == width) {
      *to++ = '\n';
      column = 0;
    }
  }
  return to;
}

// Wraps the digits of a block into `to`; `column` carries on from one block to the next.
// Without a skip list and at an even width, whole lines are encoded straight into place;
// otherwise the digits are made a few KiB at a time, so that they are still in the cache when
// they are copied into lines.
char* wrap_block(std::span<const std::uint8_t> bytes, const encode_layout& layout, char* digits,
                 std::size_t& column, char* to) {
  const std::size_t width = layout.width;
  const auto wrap_some = [&](std::span<const std::uint8_t> some) {
    for (std::size_t done = 0; done < some.size(); done += wrap_step) {
      const std::size_t count =
          mivo::encode_into({digits, 2 * block_size}, layout.skip,
                            some.subspan(done, std::min(wrap_step, some.size() - done)));
      to = wrap(digits, count, width, column, to);
    }
  };
  if (!layout.skip.empty() || width % 2 != 0) {
    wrap_some(bytes);
    return to;
  }
  const std::size_t line_bytes = width / 2;
  const std::size_t open = column == 0 ? 0 : std::min(bytes.size(), (width - column) / 2);
  wrap_some(bytes.first(open));
  bytes = bytes.subspan(open);
  const std::size_t whole = bytes.size() / line_bytes * line_bytes;
  to += mivo::encode_lines_into({to, 2 * whole + whole / line_bytes}, bytes.first(whole), width);
  wrap_some(bytes.subspan(whole));
  return to;
}

}  // namespace

void encode(input_list& in, const output& out, const encode_layout& layout) {
  const auto block = uninitialized(block_size);
  const auto digits = uninitialized(2 * block_size + wrap_slack);
  const std::size_t width = layout.width;
  const auto lines = width > 0
                         ? uninitialized(2 * block_size + 2 * block_size / width + 1 + wrap_slack)
                         : page_block();
  std::size_t column = 0;
  bool any = false;
  while (const std::size_t n = in.read({block.get(), block_size})) {
    if (width == 0) {
      const std::size_t count =
          mivo::encode_into({digits.get(), 2 * block_size}, layout.skip, bytes_of(block, n));
      if (layout.upper) uppercase(digits.get(), count);
      any = any || count > 0;
      out.write(digits.get(), count);
      continue;
    }
    char* const to = wrap_block(bytes_of(block, n), layout, digits.get(), column, lines.get());
    const auto count = static_cast<std::size_t>(to - lines.get());
    if (layout.upper) uppercase(lines.get(), count);
    any = any || count > 0;
    out.write(lines.get(), count);
  }
  // Wrapped, as xxd -p: every line ends in a line feed, and no digits make no line.
  const bool last_line_open = width == 0 || column > 0;
  if (layout.newline && last_line_open && (width == 0 || any)) out.write("\n", 1);
}

void encode_text(input_list& in, const output& out, const mivo::text_form& form,
                 std::optional<std::uint64_t> total, bool newline) {
  // Each call of the library gets whole groups counted from the start, and the separator between
  // calls is written here; groups counted from the end start with the odd group.
  const int per = form.bytes_per_separator;
  const std::size_t group =
      per == 0 ? 1 : static_cast<std::size_t>(per < 0 ? -static_cast<long>(per) : per);
  std::size_t first_left = per > 0 && total && *total % group != 0 ? *total % group : group;
  mivo::text_form segment = form;
  segment.bytes_per_separator = -static_cast<int>(group);
  if (per == 0) segment.separator = {};  // one group: its prefix once, no separator
  bool started = false;
  std::vector<char> text;
  const auto emit = [&](std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) return;
    if (started) out.write(segment.separator);
    text.resize(mivo::text_size(bytes.size(), segment));
    out.write(text.data(), mivo::encode_text_into(text, bytes, segment));
    started = true;
    if (per == 0) segment.group_prefix = {};
  };
  std::vector<std::uint8_t> staging(block_size + group);
  std::size_t have = 0;
  for (;;) {
    const std::size_t n = in.read({reinterpret_cast<char*>(staging.data() + have), block_size});
    have += n;
    std::size_t done = 0;
    if (first_left > 0 && (have >= first_left || n == 0)) {
      done = std::min(have, first_left);
      emit({staging.data(), done});
      first_left = 0;
    }
    if (first_left == 0) {
      const std::size_t rest = have - done;
      const std::size_t take = n == 0 ? rest : rest - rest % group;
      emit({staging.data() + done, take});
      done += take;
    }
    std::copy(staging.begin() + static_cast<long>(done), staging.begin() + static_cast<long>(have),
              staging.begin());
    have -= done;
    if (n == 0) break;
  }
  if (newline) out.write("\n", 1);
}

void encode_c_array(input_list& in, const output& out, std::string_view name, bool upper) {
  constexpr std::size_t per_line = 12;
  constexpr std::size_t chars_per_byte = 6;  // ", 0xab" or ",\n  0xab", less at the start
  const auto block = uninitialized(block_size);
  const auto digits = uninitialized(2 * block_size);
  const auto text = uninitialized(block_size * (chars_per_byte + 2) + 16);
  if (!name.empty()) {
    out.write("unsigned char ");
    out.write(name);
    out.write("[] = {\n");
  }
  // As xxd -i -u: the prefix is uppercase too.
  const char* const line_start = upper ? "  0X" : "  0x";
  const char* const next_byte = upper ? ", 0X" : ", 0x";
  std::uint64_t total = 0;
  while (const std::size_t n = in.read({block.get(), block_size})) {
    mivo::encode_into({digits.get(), 2 * n}, bytes_of(block, n));
    if (upper) uppercase(digits.get(), 2 * n);
    char* to = text.get();
    for (std::size_t i = 0; i < n; ++i, ++total) {
      if (total % per_line == 0) {
        if (total > 0) *to++ = ',';
        if (total > 0) *to++ = '\n';
        to = std::copy_n(line_start, 4, to);
      } else {
        to = std::copy_n(next_byte, 4, to);
      }
      to = std::copy_n(digits.get() + 2 * i, 2, to);
    }
    out.write(text.get(), static_cast<std::size_t>(to - text.get()));
  }
  if (total > 0) out.write("\n");
  if (!name.empty()) {
    out.write("};\nunsigned int ");
    out.write(name);
    out.write("_len = " + std::to_string(total) + ";\n");
  }
}

void decode(input_list& in, const output& out, const decode_reading& reading) {
  constexpr std::string_view ascii_whitespace = " \t\n\v\f\r";
  output_buffer buffer(out);
  std::ostream stream(&buffer);
  stream.exceptions(std::ios::badbit);  // our failures come through the stream as they are
  const std::string skipped =
      (reading.strict ? "" : std::string(ascii_whitespace)) + reading.ignore;
  mivo::decode_writer writer(mivo::skip_list(std::string_view(skipped)), reading.prefix, stream);
  // Where each input starts in the stream of text, to name the input and offset of a failure.
  struct input_start {
    std::uint64_t position;
    std::string name;
    std::uint64_t offset;
  };
  std::vector<input_start> starts;
  std::uint64_t position = 0;
  std::size_t last_input = SIZE_MAX;
  const auto block = uninitialized(block_size);
  try {
    while (const std::size_t n = in.read({block.get(), block_size})) {
      if (in.index() != last_input) {
        starts.push_back({position, in.name(), in.offset()});
        last_input = in.index();
      }
      writer.write_text({block.get(), n});
      position += n;
    }
    writer.finish();
  } catch (const mivo::decode_error& e) {
    const auto holder = std::prev(
        std::upper_bound(starts.begin(), starts.end(), e.position(),
                         [](std::uint64_t p, const input_start& s) { return p < s.position; }));
    throw failure(holder->name + ": offset " +
                  std::to_string(holder->offset + e.position() - holder->position) + ": " +
                  e.what());
  }
}

namespace {

// Where an input's text starts in the stream of text: a fault is named by its place in it.
struct input_start {
  std::uint64_t line;
  std::uint64_t column;
  std::string name;
};

// "NAME: line N: column C: REASON" for a fault, in the input that holds it.
std::string fault_in_input(const mivo::dump_error& e, const std::vector<input_start>& starts) {
  const auto holder = std::find_if(starts.rbegin(), starts.rend(), [&](const input_start& s) {
    return s.line < e.line() || (s.line == e.line() && s.column <= e.column());
  });
  if (holder == starts.rend()) return e.what();
  const std::uint64_t line = e.line() - holder->line + 1;
  const std::uint64_t column =
      e.line() == holder->line ? e.column() - holder->column + 1 : e.column();
  return holder->name + ": line " + std::to_string(line) + ": column " + std::to_string(column) +
         ": " + e.reason();
}

// Reads the text of the inputs into `reader` (a dump_reader or a c_array_reader), naming a
// fault in the input that holds it.
template <class Reader>
void read_text(input_list& in, Reader& reader) {
  std::vector<input_start> starts;
  std::size_t last_input = SIZE_MAX;
  const auto block = uninitialized(block_size);
  try {
    while (const std::size_t n = in.read({block.get(), block_size})) {
      if (in.index() != last_input) {
        starts.push_back({reader.line(), reader.column(), in.name()});
        last_input = in.index();
      }
      reader.write_text({block.get(), n});
    }
    reader.finish();
  } catch (const mivo::dump_error& e) {
    throw failure(fault_in_input(e, starts));
  }
}

}  // namespace

void read_dump(input_list& in, mivo::dump_reader& reader) { read_text(in, reader); }

void decode_c_array(input_list& in, const output& out) {
  mivo::c_array_reader reader([&](std::span<const std::uint8_t> bytes) {
    out.write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  });
  read_text(in, reader);
}

void undump(input_list& in, const output& out, const mivo::dump_layout& layout) {
  std::uint64_t end = 0;
  mivo::dump_reader reader(
      layout,
      [&](std::uint64_t at, std::span<const std::uint8_t> bytes) {
        out.write_zeros(at - end);  // the gap: zeros, or a hole where the output can have one
        out.write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        end = at + bytes.size();
      },
      true);
  read_dump(in, reader);
}

}  // namespace mivo_cli
