// Any bytes as digit text: every decoder gives the same bytes or the same message, both as the
// rules say, and re-encoding a success gives the text lowercased.
#include "fuzz_common.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace mivo_fuzz;
  const mivo::hex_text h{std::string(reinterpret_cast<const char*>(data), size)};

  const outcome expected = reference_decode(h.text);
  const outcome as_string = run_decode([&] { return mivo::to_string(h); });
  const outcome as_bytes = run_decode([&] {
    const std::vector<std::uint8_t> v = mivo::to_bytes(h);
    return std::string(v.begin(), v.end());
  });
  const outcome as_cstruct = run_decode([&] {
    const mivo::cstruct cs = mivo::to_cstruct(h);
    check(cs.offset == 0 && cs.length == cs.buffer.dim(), "to_cstruct gives a whole buffer");
    return std::string(reinterpret_cast<const char*>(cs.buffer.data()), cs.length);
  });
  const outcome as_bigstring = run_decode([&] {
    const mivo::bigstring bs = mivo::to_bigstring(h);
    return std::string(reinterpret_cast<const char*>(bs.data()), bs.dim());
  });

  check(as_string == expected, "to_string follows the rules");
  check(as_bytes == expected, "to_bytes agrees");
  check(as_cstruct == expected, "to_cstruct agrees");
  check(as_bigstring == expected, "to_bigstring agrees");
  if (expected.bytes) {
    check(mivo::of_string(*expected.bytes).text == lowercase(h.text), "round trip lowercases");
  }
  return 0;
}
