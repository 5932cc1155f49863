// What `mivo dump` must print: hexdump_s of all of standard input, with the same flags.
#include <cstring>
#include <iostream>
#include <iterator>
#include <string>

#include <mivo.hpp>

int main(int argc, char** argv) {
  mivo::dump_options options;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--no-row-numbers") == 0) options.row_numbers = false;
    if (std::strcmp(argv[i], "--no-chars") == 0) options.char_column = false;
  }
  const std::string input{std::istreambuf_iterator<char>(std::cin), {}};
  std::cout << mivo::hexdump_s(options, mivo::of_bytes(input));
}
