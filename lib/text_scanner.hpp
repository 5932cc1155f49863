// Reads hex as people write it, a character at a time: ignored characters anywhere, a prefix
// right before a pair. Shared by decode_text and decode_writer, which feeds it in pieces.
#ifndef MIVO_TEXT_SCANNER_HPP
#define MIVO_TEXT_SCANNER_HPP

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "codec.hpp"
#include "tables.hpp"

namespace mivo::detail {

class text_scanner {
 public:
  text_scanner(const std::array<bool, 256>& ignore, std::string_view prefix)
      : ignore_(ignore), prefix_(prefix) {}

  // Reads `text`, which starts at stream position `at`, calling put(byte) for each byte.
  // Throws decode_error at the first bad pair.
  template <class Put>
  void feed(std::string_view text, std::uint64_t at, Put& put) {
    for (std::size_t i = 0; i < text.size(); ++i) take(text[i], at + i, true, put);
  }

  // The end of the text: a prefix that nothing followed is read as digits, and a lone last
  // digit is the odd-length error.
  template <class Put>
  void finish(Put& put) {
    if (matched_ > 0) replay(put);
    if (have_high_) {
      throw decode_error(odd_length_message, static_cast<std::size_t>(high_position_));
    }
  }

 private:
  template <class Put>
  void take(char c, std::uint64_t at, bool may_start_prefix, Put& put) {
    const bool ignored = ignore_[static_cast<unsigned char>(c)];
    if (matched_ > 0) {
      if (matched_ < prefix_.size() && c == prefix_[matched_]) {
        ++matched_;
        return;
      }
      if (matched_ < prefix_.size() || ignored) {  // not a prefix before a pair after all
        replay(put);
        return take(c, at, true, put);
      }
      matched_ = 0;  // a whole prefix, and a pair starts here
      may_start_prefix = false;
    }
    if (ignored) return;
    if (!have_high_ && may_start_prefix && !prefix_.empty() && c == prefix_[0]) {
      matched_ = 1;
      match_position_ = at;
      return;
    }
    if (!have_high_) {
      have_high_ = true;
      high_ = c;
      high_position_ = at;
      return;
    }
    const int high = digit_value[static_cast<unsigned char>(high_)];
    const int low = digit_value[static_cast<unsigned char>(c)];
    if (low < 0) throw_invalid_char(c, static_cast<std::size_t>(at));
    if (high < 0) throw_invalid_char(high_, static_cast<std::size_t>(high_position_));
    have_high_ = false;
    put(static_cast<std::uint8_t>((high << 4) | low));
  }

  // The characters taken as the start of a prefix, read again as what they are.
  template <class Put>
  void replay(Put& put) {
    const std::size_t n = matched_;
    matched_ = 0;
    for (std::size_t k = 0; k < n; ++k) take(prefix_[k], match_position_ + k, k > 0, put);
  }

  const std::array<bool, 256>& ignore_;
  std::string prefix_;
  std::size_t matched_ = 0;  // characters of a possible prefix seen, at a pair's start
  std::uint64_t match_position_ = 0;
  bool have_high_ = false;  // the first digit of a pair, waiting for its second
  char high_ = 0;
  std::uint64_t high_position_ = 0;
};

}  // namespace mivo::detail

#endif  // MIVO_TEXT_SCANNER_HPP
