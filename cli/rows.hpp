// Dump rows with some bytes marked, for find and diff: rows as `mivo dump --offsets` shows
// them; with color the marked bytes are colored, without it a line under the row marks them.
#ifndef MIVO_CLI_ROWS_HPP
#define MIVO_CLI_ROWS_HPP

#include <cstdint>
#include <string_view>

#include <mivo.hpp>

#include "io.hpp"

namespace mivo_cli {

// The bytes of a row of `mivo dump --offsets`.
inline const std::size_t row_bytes = mivo::dump_layout::xxd().columns();
inline constexpr char unmarked = ' ';

inline std::uint64_t row_down(std::uint64_t x) { return x - x % row_bytes; }
inline std::uint64_t row_up(std::uint64_t x) { return row_down(x + row_bytes - 1); }

// The SGR sequence that colors a mark ('!' changed, '-' deleted, '+' inserted, '^' found,
// '@' a hunk's head; unmarked: the default color).
std::string_view color_of(char mark);

// Prints the rows of `bytes`, which start at `start` (the start of a row), each byte marked by
// the character of `marks` at its index; every line is led by `prefix` (marker lines by as
// many spaces, or by `marker_prefix` when given).
void print_marked_rows(text_buffer& text, std::uint64_t start, std::string_view bytes,
                       std::string_view marks, std::string_view prefix, bool color,
                       std::string_view marker_prefix = {});

}  // namespace mivo_cli

#endif  // MIVO_CLI_ROWS_HPP
