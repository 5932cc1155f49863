// The per-CPU bulk loops behind the codec. Every kernel gives byte-for-byte the results of the
// portable scalar one; dispatch picks the best the CPU and OS support, once per process.
#ifndef MIVO_KERNELS_KERNELS_HPP
#define MIVO_KERNELS_KERNELS_HPP

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "row_number.hpp"

namespace mivo::detail {

struct kernel {
  const char* name;
  // Writes the 2n lowercase digits of in[0..n) to out.
  void (*encode)(const std::uint8_t* in, std::size_t n, char* out) noexcept;
  // Decodes the digit pairs in[2k], in[2k+1] for k < pairs into out[k]. Returns the index of
  // the first pair holding a non-digit, or `pairs` when all are valid; out[k] from the returned
  // index on is left untouched.
  std::size_t (*decode)(const char* in, std::size_t pairs, std::uint8_t* out) noexcept;
  // Writes the dump's character for each of in[0..n) to out: the byte itself from space to
  // tilde, else '.'.
  void (*dump_chars)(const std::uint8_t* in, std::size_t n, char* out) noexcept;
  // Writes `rows` full dump rows to out: each is the row number and ": " when `number` is not
  // null (advancing it), the 32 digits of digits[32r..] in groups of 4 with single spaces,
  // two spaces and chars[16r..16r+16) when `chars` is not null, and "\n". Returns the end of
  // the rows; may write up to row_slack bytes past it.
  char* (*dump_rows)(const char* digits, const char* chars, std::size_t rows, row_number* number,
                     char* out) noexcept;
};

inline constexpr std::size_t row_slack = 16;

extern const kernel scalar_kernel;
#if defined(MIVO_X86_KERNELS)
extern const kernel ssse3_kernel;
extern const kernel avx2_kernel;
#endif

// The kernels this machine can run, scalar first and best last.
std::span<const kernel* const> supported_kernels() noexcept;

// The kernel every operation uses: the best supported one, unless the environment variable
// MIVO_KERNEL names another supported one (e.g. MIVO_KERNEL=scalar). Chosen on first use.
const kernel& active_kernel() noexcept;

}  // namespace mivo::detail

#endif  // MIVO_KERNELS_KERNELS_HPP
