#include "numbers.hpp"

#include <array>
#include <charconv>
#include <utility>

namespace mivo_cli {
namespace {

// The multiplier letters and the power each stands for.
constexpr std::string_view power_letters = "KMGTPE";

std::uint64_t power(std::uint64_t base, std::size_t exponent) {
  std::uint64_t value = 1;
  for (std::size_t i = 0; i < exponent; ++i) value *= base;  // E = 1024^6 still fits
  return value;
}

std::optional<std::uint64_t> multiplier(std::string_view suffix) {
  if (suffix.empty()) return 1;
  if (suffix == "b") return 512;
  char letter = suffix.front();
  if (letter == 'k' || letter == 'm') letter = static_cast<char>(letter - 'a' + 'A');
  const std::size_t at = power_letters.find(letter);
  if (at == std::string_view::npos) return std::nullopt;
  suffix.remove_prefix(1);
  if (suffix.empty() || suffix == "iB") return power(1024, at + 1);
  if (suffix == "B") return power(1000, at + 1);
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

std::optional<std::uint64_t> parse_count(std::string_view text) {
  std::uint64_t value = 0;
  const char* const end = text.data() + text.size();
  const auto [rest, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc{} || rest != end || text.empty()) return std::nullopt;
  return value;
}

}  // namespace mivo_cli
