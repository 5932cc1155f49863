// The portable kernel, built on every CPU: one table read per digit, no shifts or masks.
#include "../tables.hpp"
#include "kernels.hpp"

namespace mivo::detail {
namespace {

void encode_scalar(const std::uint8_t* in, std::size_t n, char* out) noexcept {
  for (std::size_t i = 0; i < n; ++i) {
    out[2 * i] = high_digit_table[in[i]];
    out[2 * i + 1] = low_digit_table[in[i]];
  }
}

std::size_t decode_scalar(const char* in, std::size_t pairs, std::uint8_t* out) noexcept {
  for (std::size_t k = 0; k < pairs; ++k) {
    const int high = digit_value[static_cast<unsigned char>(in[2 * k])];
    const int low = digit_value[static_cast<unsigned char>(in[2 * k + 1])];
    if ((high | low) < 0) return k;
    out[k] = static_cast<std::uint8_t>((high << 4) | low);
  }
  return pairs;
}

void dump_chars_scalar(const std::uint8_t* in, std::size_t n, char* out) noexcept {
  for (std::size_t i = 0; i < n; ++i) out[i] = dump_char[in[i]];
}

}  // namespace

const kernel scalar_kernel = {"scalar", encode_scalar, decode_scalar, dump_chars_scalar};

}  // namespace mivo::detail
