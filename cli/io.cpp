#include "io.hpp"

#include <cerrno>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

namespace mivo_cli {
namespace {

[[noreturn]] void fail_with_errno(const std::string& subject) {
  throw failure(subject + ": " + std::strerror(errno));
}

}  // namespace

input_list::input_list(std::vector<std::string> names) : names_(std::move(names)) {
  if (names_.empty()) names_.emplace_back("-");
}

input_list::~input_list() { close_current(); }

void input_list::open_current() {
  if (names_[current_] == "-") {
    fd_ = STDIN_FILENO;
    return;
  }
  do {
    fd_ = ::open(names_[current_].c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd_ < 0 && errno == EINTR);
  if (fd_ < 0) fail_with_errno(names_[current_]);
}

void input_list::close_current() noexcept {
  if (fd_ > STDIN_FILENO) ::close(fd_);
  fd_ = -1;
}

std::size_t input_list::read(std::span<char> block) {
  while (!exhausted_) {
    if (fd_ < 0) {
      open_current();
      next_offset_ = 0;
    }
    const ssize_t n = ::read(fd_, block.data(), block.size());
    if (n > 0) {
      offset_ = std::exchange(next_offset_, next_offset_ + static_cast<std::uint64_t>(n));
      return static_cast<std::size_t>(n);
    }
    if (n < 0) {
      if (errno == EINTR) continue;
      fail_with_errno(names_[current_]);
    }
    close_current();
    if (current_ + 1 == names_.size()) {
      exhausted_ = true;  // and keep naming the last input
    } else {
      ++current_;
    }
  }
  return 0;
}

void output::write(const char* data, std::size_t n) const {
  while (n > 0) {
    const ssize_t written = ::write(fd_, data, n);
    if (written < 0) {
      if (errno == EINTR) continue;
      if (errno == EPIPE) throw closed_pipe{};
      fail_with_errno("write error");
    }
    data += written;
    n -= static_cast<std::size_t>(written);
  }
}

std::streamsize output_buffer::xsputn(const char* s, std::streamsize n) {
  out_.write(s, static_cast<std::size_t>(n));
  return n;
}

output_buffer::int_type output_buffer::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  const char ch = traits_type::to_char_type(c);
  out_.write(&ch, 1);
  return c;
}

}  // namespace mivo_cli
