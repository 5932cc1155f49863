// A host program as a user of the installed or embedded library writes it. It also calls the
// library from a static initialiser, before main.
#include <mivo.hpp>

#include <cstdio>
#include <string>

namespace {
const mivo::cstruct early_empty = mivo::to_cstruct(mivo::hex_text{});
const std::string early_text = mivo::to_string(mivo::of_string("early"));
}  // namespace

int main() {
  static_assert(mivo::version_major == 2);
  const mivo::hex_text h = mivo::of_string("consumer");
  const bool ok = mivo::to_string(h) == "consumer" && h.text == "636f6e73756d6572" &&
                  early_text == "early" && early_empty == mivo::to_cstruct(mivo::hex_text{}) &&
                  mivo::to_bigstring(mivo::hex_text{}) == early_empty.buffer;
  std::puts(ok ? "consumer round trip ok" : "consumer round trip FAILED");
  return ok ? 0 : 1;
}
