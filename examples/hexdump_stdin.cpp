// A small host program: the hex dump of standard input, then the codec's round trip of it.
#include <iostream>
#include <iterator>
#include <string>

#include <mivo.hpp>

int main() {
  const std::string input{std::istreambuf_iterator<char>(std::cin), {}};
  const mivo::hex_text hex = mivo::of_string(input);

  mivo::hexdump(hex);
  std::cout.flush();

  const std::string back = mivo::to_string(hex);
  std::cout << "\n" << input.size() << " bytes -> " << hex.text.size() << " hex digits -> "
            << back.size() << " bytes; round trip " << (back == input ? "ok" : "FAILED") << "\n";
  return back == input ? 0 : 1;
}
