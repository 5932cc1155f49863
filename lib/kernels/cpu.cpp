#include "cpu.hpp"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace mivo::detail {

#if defined(__x86_64__) || defined(__i386__)
namespace {

// XCR0: bits 1 and 2, the OS saves and restores the SSE and AVX registers; bits 5-7, the
// AVX-512 mask and ZMM registers too.
constexpr unsigned avx_state = 0x6U;
constexpr unsigned avx512_state = 0xe6U;

unsigned os_saved_state() noexcept {
  unsigned low = 0;
  unsigned high = 0;
  __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
  return low;
}

}  // namespace

cpu_features detect_cpu() noexcept {
  cpu_features found = cpu::none;
  unsigned eax = 0;
  unsigned ebx = 0;
  unsigned ecx = 0;
  unsigned edx = 0;
  if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0) return found;
  if ((ecx & bit_SSSE3) != 0) found |= cpu::ssse3;
  if ((ecx & bit_AVX) == 0 || (ecx & bit_OSXSAVE) == 0) return found;
  const unsigned state = os_saved_state();
  if ((state & avx_state) != avx_state || __get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) == 0) {
    return found;
  }
  if ((ebx & bit_AVX2) != 0) found |= cpu::avx2;
  if ((state & avx512_state) != avx512_state) return found;
  if ((ebx & bit_AVX512F) != 0) found |= cpu::avx512f;
  if ((ebx & bit_AVX512BW) != 0) found |= cpu::avx512bw;
  if ((ecx & bit_AVX512VBMI) != 0) found |= cpu::avx512vbmi;
  return found;
}
#elif defined(__aarch64__)
cpu_features detect_cpu() noexcept { return cpu::neon; }
#else
cpu_features detect_cpu() noexcept { return cpu::none; }
#endif

}  // namespace mivo::detail
