// Where rendered rows go: a fixed page-aligned block, handed on whole to a stream or appended to
// a string when the next rows might not fit, and at the end of every call.
#ifndef MIVO_ROW_OUTPUT_HPP
#define MIVO_ROW_OUTPUT_HPP

#include <cstddef>
#include <ios>
#include <ostream>
#include <string>
#include <utility>

#include "page_buffer.hpp"

namespace mivo::detail {

class row_output {
 public:
  static constexpr std::size_t block_size = std::size_t{128} * 1024;

  row_output(std::ostream& out, const char* who) : stream_(&out), who_(who) {}
  explicit row_output(std::string& out) : string_(&out), who_("") {}

  // Room for `chars` more characters (at most a quarter of the block), flushing first if need
  // be; write there, then commit() where the writing ended.
  char* room(std::size_t chars) {
    if (used_ + chars > block_size) flush();
    return block_.get() + used_;
  }
  void commit(const char* end) noexcept { used_ = static_cast<std::size_t>(end - block_.get()); }

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

#endif  // MIVO_ROW_OUTPUT_HPP
