// A small host program: the hex dump of standard input, streamed, and a check that every block
// survives a round trip through the codec. Memory stays at a few blocks whatever the input.
#include <cstdio>
#include <iostream>
#include <vector>

#include <mivo.hpp>

int main() {
  constexpr std::size_t block_size = 256 * 1024;
  std::vector<char> block(block_size);
  std::vector<char> digits(2 * block_size);
  std::vector<std::uint8_t> back(block_size);

  mivo::dump_writer dump(std::cout);
  std::size_t bytes = 0;
  bool round_trip_ok = true;
  for (;;) {
    const std::size_t n = std::fread(block.data(), 1, block.size(), stdin);
    if (n == 0) break;
    const std::span<const std::uint8_t> raw = mivo::as_bytes(std::span(block.data(), n));
    dump.write_bytes(raw);
    const std::size_t written = mivo::encode_into(digits, raw);
    mivo::decode_into(back, std::string_view(digits.data(), written));
    round_trip_ok = round_trip_ok && std::equal(raw.begin(), raw.end(), back.begin());
    bytes += n;
  }
  dump.finish();

  std::cout << "\n"
            << bytes << " bytes -> " << 2 * bytes << " hex digits -> " << bytes
            << " bytes; round trip " << (round_trip_ok ? "ok" : "FAILED") << "\n";
  return round_trip_ok && !std::ferror(stdin) ? 0 : 1;
}
