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

// Decimal or 0x hex, an optional leading '-', and an optional multiplier: b (512), K or KiB
// (1024), kB or KB (1000), M or MiB, MB, G or GiB, GB, T or TiB, TB. Nothing else: "1.5K",
// "1k", " 1" and a value past 2^64 - 1 give nullopt.
std::optional<byte_count> parse_byte_count(std::string_view text);

}  // namespace mivo_cli

#endif  // MIVO_CLI_NUMBERS_HPP
