// mivo find: the offsets at which a byte pattern occurs in each input.
#ifndef MIVO_CLI_FIND_HPP
#define MIVO_CLI_FIND_HPP

#include <mivo.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "io.hpp"

namespace mivo_cli {

enum class find_report : std::uint8_t {
  matches,  // each match's offset, one a line
  count,    // the number of matches of each input
  names,    // the name of each input with a match
};

struct find_options {
  mivo::byte_pattern pattern;
  find_report report = find_report::matches;
  bool decimal = false;             // offsets in decimal, not 0x hex
  std::uint64_t most = UINT64_MAX;  // matches per input, at most
  // With matches: instead of offsets, the dump rows around each match, this many on each side.
  std::optional<std::size_t> context_rows;
  bool color = false;  // the matched bytes in color, not marked on a line below
};

// Searches each input on its own ("-" or none: standard input), overlapping matches too, and
// writes what `o` asks for, each line led by "NAME:" when there are several inputs. An input
// that cannot be read goes to `errors` as "NAME: reason" and the others are still searched.
// Returns whether any input had a match.
bool find(const std::vector<std::string>& names, const output& out, const find_options& o,
          std::vector<std::string>& errors);

}  // namespace mivo_cli

#endif  // MIVO_CLI_FIND_HPP
