// Every kernel this CPU runs against the scalar one on the same input: encoding it, decoding
// it as digits (the same bytes up to the same first bad pair) and mapping it for the dump.
#include <vector>

#include "fuzz_common.hpp"
#include "kernels/kernels.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using mivo::detail::kernel;
  using mivo_fuzz::check;
  const kernel& scalar = mivo::detail::scalar_kernel;
  const auto* chars = reinterpret_cast<const char*>(data);
  const std::size_t pairs = size / 2;

  std::string want_digits(2 * size, '\0');
  std::vector<std::uint8_t> want_bytes(pairs);
  std::string want_chars(size, '\0');
  scalar.encode(data, size, want_digits.data());
  const std::size_t want_bad = scalar.decode(chars, pairs, want_bytes.data());
  scalar.dump_chars(data, size, want_chars.data());

  for (const kernel* k : mivo::detail::supported_kernels()) {
    std::string digits(2 * size, '\0');
    std::vector<std::uint8_t> bytes(pairs);
    std::string shown(size, '\0');
    k->encode(data, size, digits.data());
    const std::size_t bad = k->decode(chars, pairs, bytes.data());
    k->dump_chars(data, size, shown.data());
    check(digits == want_digits, "encode agrees with scalar");
    check(bad == want_bad, "decode stops at the same pair");
    check(std::equal(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(bad),
                     want_bytes.begin()),
          "decode agrees with scalar");
    check(shown == want_chars, "dump_chars agrees with scalar");
  }
  return 0;
}
