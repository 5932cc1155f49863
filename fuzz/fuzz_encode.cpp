// Any bytes and any skip list through every encoder, the slice at any offset into a larger
// buffer: all agree, equal encoding what the skip list leaves, and decode back to it.
// Input: [skip count k][k skip bytes][offset byte][payload...]
#include <vector>

#include "fuzz_common.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace mivo_fuzz;
  if (size < 2) return 0;
  const std::size_t skip_count = std::min<std::size_t>(data[0] % 8, size - 2);
  const std::vector<std::uint8_t> skip(data + 1, data + 1 + skip_count);
  const std::size_t offset = data[1 + skip_count];
  const std::string payload(reinterpret_cast<const char*>(data) + 2 + skip_count,
                            size - 2 - skip_count);

  std::string kept;
  for (const char c : payload) {
    bool listed = false;
    for (const std::uint8_t v : skip) listed = listed || v == static_cast<std::uint8_t>(c);
    if (!listed) kept.push_back(c);
  }
  std::string expected;
  for (const char c : kept) {
    const auto [high, low] = mivo::of_char(static_cast<std::uint8_t>(c));
    expected += high;
    expected += low;
  }

  const std::vector<std::uint8_t> bytes(payload.begin(), payload.end());
  mivo::bigstring larger(offset + payload.size() + offset % 7);
  std::copy(payload.begin(), payload.end(), larger.data() + offset);
  const mivo::cstruct slice{larger, offset, payload.size()};
  mivo::bigstring exact(payload.size());
  std::copy(payload.begin(), payload.end(), exact.data());

  check(mivo::of_string(skip, payload).text == expected, "of_string encodes what is kept");
  check(mivo::of_bytes(skip, bytes).text == expected, "of_bytes agrees");
  check(mivo::of_cstruct(skip, slice).text == expected, "of_cstruct agrees");
  check(mivo::of_bigstring(skip, exact).text == expected, "of_bigstring agrees");
  if (skip.empty()) {
    check(mivo::of_string(payload).text == expected, "no list is an empty list");
    check(mivo::of_cstruct(slice).text == expected, "of_cstruct without a list agrees");
  }
  check(mivo::to_string(mivo::hex_text{expected}) == kept, "decoding gives the kept bytes");
  return 0;
}
