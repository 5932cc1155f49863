#include "numbers.hpp"

#include <array>
#include <charconv>
#include <utility>

namespace mivo_cli {
namespace {

constexpr std::uint64_t kib = 1024;
constexpr std::uint64_t kb = 1000;

constexpr std::uint64_t terabyte = kb * kb * kb * kb;

constexpr std::array<std::pair<std::string_view, std::uint64_t>, 15> multipliers = {{
    {"", 1},
    {"b", 512},
    {"K", kib},
    {"KiB", kib},
    {"kB", kb},
    {"KB", kb},
    {"M", kib* kib},
    {"MiB", kib* kib},
    {"MB", kb* kb},
    {"G", kib* kib* kib},
    {"GiB", kib* kib* kib},
    {"GB", kb* kb* kb},
    {"T", kib* kib* kib* kib},
    {"TiB", kib* kib* kib* kib},
    {"TB", terabyte},
}};

std::optional<std::uint64_t> multiplier(std::string_view suffix) {
  for (const auto& [name, factor] : multipliers) {
    if (suffix == name) return factor;
  }
  return std::nullopt;
}

}  // namespace

std::optional<byte_count> parse_byte_count(std::string_view text) {
  byte_count count;
  if (text.starts_with('-')) {
    count.negative = true;
    text.remove_prefix(1);
  }
  int base = 10;
  if (text.starts_with("0x") || text.starts_with("0X")) {
    base = 16;
    text.remove_prefix(2);
  }
  const char* const end = text.data() + text.size();
  const auto [rest, error] = std::from_chars(text.data(), end, count.value, base);
  if (error != std::errc{} || rest == text.data()) return std::nullopt;
  const std::optional<std::uint64_t> factor = multiplier(std::string_view(rest, end - rest));
  if (!factor || count.value > UINT64_MAX / *factor) return std::nullopt;
  count.value *= *factor;
  return count;
}

}  // namespace mivo_cli
