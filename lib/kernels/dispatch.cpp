// Picks the kernel once per process. The choice is a function-local constant, so the first
// calls from many threads at once are safe without any lock of ours.
#include <array>
#include <cstdlib>
#include <string_view>

#include "kernels.hpp"

#if defined(MIVO_X86_KERNELS)
#include <cpuid.h>
#endif

namespace mivo::detail {
namespace {

#if defined(MIVO_X86_KERNELS)
struct cpu_features {
  bool ssse3 = false;
  bool avx2 = false;
  bool avx512 = false;  // F, BW and VBMI
};

// XCR0: bits 1 and 2, the OS saves and restores the SSE and AVX registers; bits 5-7, the
// AVX-512 mask and ZMM registers too.
constexpr unsigned avx_state = 0x6U;
constexpr unsigned avx512_state = 0xe6U;

unsigned os_saved_state() {
  unsigned low = 0;
  unsigned high = 0;
  __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
  return low;
}

cpu_features detect_cpu() {
  cpu_features found;
  unsigned eax = 0;
  unsigned ebx = 0;
  unsigned ecx = 0;
  unsigned edx = 0;
  if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0) return found;
  found.ssse3 = (ecx & bit_SSSE3) != 0;
  if ((ecx & bit_AVX) == 0 || (ecx & bit_OSXSAVE) == 0) return found;
  const unsigned state = os_saved_state();
  if ((state & avx_state) != avx_state || __get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) == 0) {
    return found;
  }
  found.avx2 = (ebx & bit_AVX2) != 0;
  found.avx512 = (state & avx512_state) == avx512_state && (ebx & bit_AVX512F) != 0 &&
                 (ebx & bit_AVX512BW) != 0 && (ecx & bit_AVX512VBMI) != 0;
  return found;
}
#endif

struct kernel_list {
  std::array<const kernel*, 4> entries{};
  std::size_t size = 0;

  void add(const kernel& k) { entries[size++] = &k; }
};

kernel_list list_supported() {
  kernel_list list;
  list.add(scalar_kernel);
#if defined(MIVO_X86_KERNELS)
  const cpu_features cpu = detect_cpu();
  if (cpu.ssse3) list.add(ssse3_kernel);
  if (cpu.ssse3 && cpu.avx2) list.add(avx2_kernel);
  if (cpu.ssse3 && cpu.avx2 && cpu.avx512) list.add(avx512_kernel);
#endif
#if defined(MIVO_NEON_KERNEL)
  list.add(neon_kernel);  // part of the aarch64 baseline
#endif
  return list;
}

// Every kernel this build has, whether or not the CPU runs it.
constexpr std::array built_kernels = {
    &scalar_kernel,
#if defined(MIVO_X86_KERNELS)
    &ssse3_kernel,  &avx2_kernel, &avx512_kernel,
#endif
#if defined(MIVO_NEON_KERNEL)
    &neon_kernel,
#endif
};

bool names_one_of(std::string_view name, std::span<const kernel* const> kernels) {
  for (const kernel* k : kernels) {
    if (name == k->name) return true;
  }
  return false;
}

kernel_choice choose(std::span<const kernel* const> supported) {
  const char* forced = std::getenv("MIVO_KERNEL");  // NOLINT(concurrency-mt-unsafe): read once
  const kernel_choice best{supported.back(), kernel_request::none};
  if (forced == nullptr || *forced == '\0') return best;
  for (const kernel* k : supported) {
    if (std::string_view(k->name) == forced) return {k, kernel_request::honoured};
  }
  const bool built = names_one_of(forced, built_kernels);
  return {best.chosen, built ? kernel_request::unsupported : kernel_request::unknown};
}

}  // namespace

std::span<const kernel* const> supported_kernels() noexcept {
  static const kernel_list list = list_supported();
  return {list.entries.data(), list.size};
}

const kernel_choice& kernel_chosen() noexcept {
  static const kernel_choice choice = choose(supported_kernels());
  return choice;
}

}  // namespace mivo::detail
