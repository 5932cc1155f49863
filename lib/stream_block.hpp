// The output of every streaming class: a fixed page-aligned block, handed on whole to a stream
// (or appended to a string) when what comes next might not fit, and at the end of every call.
// A stream that fails without throwing makes flush() throw std::ios_base::failure.
#ifndef MIVO_STREAM_BLOCK_HPP
#define MIVO_STREAM_BLOCK_HPP

#include <cstddef>
#include <ios>
#include <ostream>
#include <string>
#include <utility>

#include "page_buffer.hpp"

namespace mivo::detail {

class stream_block {
 public:
  static constexpr std::size_t block_size = std::size_t{128} * 1024;

  stream_block(std::ostream& out, const char* who) : stream_(&out), who_(who) {}
  explicit stream_block(std::string& out) : string_(&out), who_("") {}

  // Room for `chars` more characters (at most the block), flushing first if need be; write
  // there, then commit() where the writing ended.
  char* room(std::size_t chars) {
    if (used_ + chars > block_size) flush();
    return block_.get() + used_;
  }
  void commit(const char* end) noexcept { used_ = static_cast<std::size_t>(end - block_.get()); }

  // Where the next character goes, how many fit before a flush, and how many are held.
  [[nodiscard]] char* end() noexcept { return block_.get() + used_; }
  [[nodiscard]] std::size_t left() const noexcept { return block_size - used_; }
  [[nodiscard]] std::size_t used() const noexcept { return used_; }
  void advance(std::size_t n) noexcept { used_ += n; }
  // Takes back what was written since used() was `mark`.
  void rewind(std::size_t mark) noexcept { used_ = mark; }

  void flush() {
    if (used_ == 0) return;
    const std::size_t n = std::exchange(used_, 0);
    if (string_ != nullptr) {
      string_->append(block_.get(), n);
      return;
    }
    stream_->write(block_.get(), static_cast<std::streamsize>(n));
    if (stream_->fail()) throw std::ios_base::failure(std::string(who_) + ": the stream failed");
  }

 private:
  std::ostream* stream_ = nullptr;
  std::string* string_ = nullptr;
  const char* who_;
  page_buffer<char> block_ = make_page_buffer<char>(block_size);
  std::size_t used_ = 0;
};

}  // namespace mivo::detail

#endif  // MIVO_STREAM_BLOCK_HPP
