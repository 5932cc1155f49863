#include "rows.hpp"

#include <mivo.hpp>

#include <algorithm>
#include <sstream>
#include <string>

namespace mivo_cli {
namespace {

void print_row(text_buffer& text, const mivo::dump_layout& layout, std::string_view line,
               std::string_view marks, std::string_view prefix, bool color,
               std::string_view marker_prefix) {
  const std::size_t label = line.find(": ") + 2;
  std::string columns;
  for (std::size_t i = 0; i < marks.size(); ++i) {
    if (marks[i] == unmarked) continue;
    columns.resize(line.size(), unmarked);
    const std::size_t digits = label + layout.digit_place(i);
    std::fill_n(columns.begin() + static_cast<std::ptrdiff_t>(digits), layout.digit_width(),
                marks[i]);
    columns[label + layout.char_place(i)] = marks[i];
  }
  if (columns.empty()) return text.add_line(prefix, line);
  if (!color) {
    text.add_line(prefix, line);
    const std::string spaces(prefix.size(), ' ');
    text.add_line(marker_prefix.empty() ? spaces : marker_prefix,
                  std::string_view(columns).substr(0, columns.find_last_not_of(unmarked) + 1));
    return;
  }
  std::string colored;
  char current = unmarked;
  for (std::size_t c = 0; c < line.size(); ++c) {
    if (columns[c] != current) colored += color_of(columns[c]);
    current = columns[c];
    colored += line[c];
  }
  if (current != unmarked) colored += color_of(unmarked);
  text.add_line(prefix, colored);
}

}  // namespace

std::string_view color_of(char mark) {
  switch (mark) {
    case '!':
      return "\x1b[33m";
    case '-':
    case '^':
      return "\x1b[31m";
    case '+':
      return "\x1b[32m";
    case '@':
      return "\x1b[36m";
    default:
      return "\x1b[39m";
  }
}

void print_marked_rows(text_buffer& text, std::uint64_t start, std::string_view bytes,
                       std::string_view marks, std::string_view prefix, bool color,
                       std::string_view marker_prefix) {
  if (bytes.empty()) return;
  std::ostringstream rows;
  const mivo::dump_layout layout =
      mivo::dump_layout::builder(mivo::dump_layout::xxd()).first_offset(start).build();
  {
    mivo::dump_writer writer(layout, rows);
    writer.write_bytes(mivo::as_bytes(bytes));
    writer.finish();
  }
  const std::string all = rows.str();
  std::size_t line_start = 0;
  for (std::size_t row = 0; line_start < all.size(); ++row) {
    const std::size_t line_end = all.find('\n', line_start);
    print_row(text, layout, std::string_view(all).substr(line_start, line_end - line_start),
              marks.substr(row * row_bytes, row_bytes), prefix, color, marker_prefix);
    line_start = line_end + 1;
  }
}

}  // namespace mivo_cli
