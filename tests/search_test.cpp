// Finding byte patterns: every match, overlapping ones too, across any split of the stream,
// against a plain reference.
#include <vector>

#include "helpers.hpp"

namespace {

using mivo::byte_pattern;

// Every offset where `p` matches `bytes`, one position at a time.
std::vector<std::uint64_t> reference(const byte_pattern& p, const std::string& bytes) {
  std::vector<std::uint64_t> all;
  const auto* b = reinterpret_cast<const std::uint8_t*>(bytes.data());
  for (std::size_t i = 0; i + p.size() <= bytes.size(); ++i) {
    if (p.matches(b + i)) all.push_back(i);
  }
  return all;
}

std::vector<std::uint64_t> search(const byte_pattern& p, const std::string& bytes,
                                  std::size_t piece, std::uint64_t most = UINT64_MAX) {
  std::vector<std::uint64_t> found;
  mivo::searcher s(p, [&](std::uint64_t at) {
    found.push_back(at);
    return found.size() < most;
  });
  for (std::size_t at = 0; at < bytes.size(); at += piece) {
    s.write(mivo_test::bytes_of(bytes.substr(at, piece)));
  }
  return found;
}

TEST(Search, FindsEveryMatchOverAnySplit) {
  std::string bytes = mivo_test::pattern(20000);
  for (std::size_t i = 0; i < bytes.size(); i += 97) bytes.replace(i, 4, "MZ\x90\x00", 4);
  bytes.replace(5000, 8, std::string(8, '\0'));
  std::vector<std::pair<std::string, byte_pattern>> patterns;
  for (const char* hex :
       {"4d 5a ?? 00", "00 00", "??", "?? 5a", "4d??", "00", "ff ?? ?? 12", "?? 5a ?? ??"}) {
    patterns.emplace_back(hex, byte_pattern::from_hex(hex));
  }
  for (const char* text : {"mz", "z\x90"}) {
    patterns.emplace_back(std::string("-i ") + text, byte_pattern::from_text(text, true));
  }
  for (const auto& [hex, p] : patterns) {
    const auto want = reference(p, bytes);
    for (const std::size_t piece : {std::size_t{1}, std::size_t{3}, std::size_t{4096}, SIZE_MAX}) {
      EXPECT_EQ(search(p, bytes, piece), want) << hex << ", pieces of " << piece;
    }
  }
  EXPECT_EQ(search(byte_pattern::from_hex("00 00"), std::string(5, '\0'), 2),
            (std::vector<std::uint64_t>{0, 1, 2, 3}));
  EXPECT_EQ(search(byte_pattern::from_hex("4d5a"), "MZMZ", 1, 1), std::vector<std::uint64_t>{0});
}

TEST(Search, TextMatchesAsGivenOrInEitherCase) {
  const std::string text = "Needle, NEEDLE, needle; n33dle";
  EXPECT_EQ(search(byte_pattern::from_text("needle"), text, 5), std::vector<std::uint64_t>{16});
  EXPECT_EQ(search(byte_pattern::from_text("needle", true), text, 5),
            (std::vector<std::uint64_t>{0, 8, 16}));
  // Only letters fold: '3' and 'S' (0x33, 0x53) stay apart.
  EXPECT_TRUE(search(byte_pattern::from_text("3", true), "S", 1).empty());
}

TEST(Search, ZerosPassInConstantTimeYetEdgesCount) {
  const byte_pattern p = byte_pattern::from_hex("00 00 4d");
  std::vector<std::uint64_t> found;
  mivo::searcher s(p, [&](std::uint64_t at) {
    found.push_back(at);
    return true;
  });
  s.write(mivo_test::bytes_of(std::string("\x4d\x00", 2)));
  s.write_zeros(std::uint64_t{1} << 50);  // a petabyte hole: passed, not scanned
  s.write(mivo_test::bytes_of(std::string("M")));
  EXPECT_EQ(found, std::vector<std::uint64_t>{(std::uint64_t{1} << 50)});
  // A pattern that zeros match is found inside them.
  EXPECT_EQ(search(byte_pattern::from_hex("?? 00"), std::string(4, '\0'), 4).size(), 3U);
}

TEST(Search, BadPatternsNameTheirColumn) {
  const std::vector<std::pair<const char*, const char*>> bad = {
      {"", "column 1: empty pattern"},
      {"  ", "column 3: empty pattern"},
      {"4d 5", "column 4: odd number of digits"},
      {"4d5", "column 3: odd number of digits"},
      {"4g", "column 2: invalid digit"},
      {"4d ?", "column 4: lone '?'"},
      {"?4", "column 1: lone '?'"},
      {"4?", "column 2: lone '?'"}};
  for (const auto& [text, message] : bad) {
    EXPECT_THROW_MESSAGE(byte_pattern::from_hex(text), mivo::pattern_error, message) << text;
  }
  EXPECT_THROW(byte_pattern::from_text(""), mivo::pattern_error);
}

}  // namespace
