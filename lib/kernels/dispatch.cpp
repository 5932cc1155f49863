// Picks the kernel once per process. The choice is a function-local constant, so the first
// calls from many threads at once are safe without any lock of ours.
#include <array>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "cpu.hpp"
#include "kernels.hpp"

namespace mivo::detail {
namespace {

// Every kernel this build has, whether or not the CPU runs it, best last.
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
  const char* forced = std::getenv("MIVO_KERNEL");  // read once
  const kernel_choice best{supported.back(), kernel_request::none};
  if (forced == nullptr || *forced == '\0') return best;
  for (const kernel* k : supported) {
    if (std::string_view(k->name) == forced) return {k, kernel_request::honoured};
  }
  const bool built = names_one_of(forced, built_kernels);
  return {best.chosen, built ? kernel_request::unsupported : kernel_request::unknown};
}

// The kernels whose needs the CPU meets, in the order they were built.
std::vector<const kernel*> list_supported() {
  const cpu_features offered = detect_cpu();
  std::vector<const kernel*> list;
  for (const kernel* k : built_kernels) {
    if ((k->needs & offered) == k->needs) list.push_back(k);
  }
  return list;
}

}  // namespace

std::span<const kernel* const> supported_kernels() noexcept {
  static const std::vector<const kernel*> list = list_supported();
  return list;
}

const kernel_choice& kernel_chosen() noexcept {
  static const kernel_choice choice = choose(supported_kernels());
  return choice;
}

}  // namespace mivo::detail
