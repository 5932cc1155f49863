// What a CPU offers, as the kernels state their needs: the one place that asks the CPU.
#ifndef MIVO_KERNELS_CPU_HPP
#define MIVO_KERNELS_CPU_HPP

#include <cstdint>

namespace mivo::detail {

// Features as bits, so that a kernel's needs and a CPU's offer compare with one AND.
using cpu_features = std::uint32_t;
namespace cpu {
inline constexpr cpu_features none = 0;
inline constexpr cpu_features ssse3 = 1U << 0;
inline constexpr cpu_features avx2 = 1U << 1;     // with the OS saving the AVX registers
inline constexpr cpu_features avx512f = 1U << 2;  // with the OS saving the ZMM and mask registers
inline constexpr cpu_features avx512bw = 1U << 3;
inline constexpr cpu_features avx512vbmi = 1U << 4;
inline constexpr cpu_features neon = 1U << 5;  // part of the aarch64 baseline
}  // namespace cpu

// The features of the CPU this runs on (and its OS lets programs use).
cpu_features detect_cpu() noexcept;

}  // namespace mivo::detail

#endif  // MIVO_KERNELS_CPU_HPP
