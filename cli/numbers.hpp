// Offsets and lengths on the command line, as head -c reads them.
#ifndef MIVO_CLI_NUMBERS_HPP
#define MIVO_CLI_NUMBERS_HPP

#include <cstdint>
#include <optional>
#include <string_view>

namespace mivo_cli {

struct byte_count {
  std::uint64_t value = 0;
  bool negative = false;  // "-64": counted back from an end
};

// Decimal or 0x hex, an optional leading '-', and an optional multiplier as head -c takes it:
// b (512); K (also k), M (also m), G, T, P or E, each a power of 1024, or of 1000 with B after
// it (kB, MB, ...), and KiB, MiB, ... as the plain letter. Nothing else: "1.5K", "1g", " 1"
// and a value past 2^64 - 1 give nullopt.
std::optional<byte_count> parse_byte_count(std::string_view text);

// A plain decimal count, as for a width: digits only, at most 2^64 - 1.
std::optional<std::uint64_t> parse_count(std::string_view text);

}  // namespace mivo_cli

#endif  // MIVO_CLI_NUMBERS_HPP
