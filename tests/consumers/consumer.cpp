// A host program as a user of the installed or embedded library writes it. It also calls the
// library from a static initialiser, before main.
#include <mivo.hpp>

#include <cstdio>
#include <string>

namespace {
const mivo::cstruct early_empty = mivo::to_cstruct(mivo::hex_text{});
const std::string early_text = mivo::to_string(mivo::of_string("early"));
}  // namespace

// The library's exception type must be caught as itself across the shared-library boundary.
bool decode_error_is_caught() {
  try {
    (void)mivo::to_string(mivo::hex_text{"00g0"});
  } catch (const mivo::decode_error& e) {
    return e.position() == 2 && std::string(e.what()) == "Mivo.to_char: 103 is an invalid char";
  }
  return false;
}

int main() {
  static_assert(mivo::version_major == 4);
  const mivo::hex_text h = mivo::of_string("consumer");
  const bool ok = mivo::to_string(h) == "consumer" && h.text == "636f6e73756d6572" &&
                  early_text == "early" && early_empty == mivo::to_cstruct(mivo::hex_text{}) &&
                  mivo::to_bigstring(mivo::hex_text{}) == early_empty.buffer &&
                  decode_error_is_caught() && !mivo::kernel_name().empty() &&
                  mivo::hexdump_s(mivo::dump_layout::canonical(), mivo::hex_text{"41"}) ==
                      "00000000  41" + std::string(48, ' ') + "|A|\n00000001\n";
  std::puts(ok ? "consumer round trip ok" : "consumer round trip FAILED");
  return ok ? 0 : 1;
}
