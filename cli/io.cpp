#include "io.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <utility>

#include "quote.hpp"

namespace mivo_cli {
namespace {

// Waits until `fd` is ready for `events`, for a descriptor that a parent left nonblocking.
void wait_for(int fd, short events) noexcept {
  pollfd p{.fd = fd, .events = events, .revents = 0};
  while (::poll(&p, 1, -1) < 0 && errno == EINTR) {
  }
}

}  // namespace

void prepare_process() noexcept {
  for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
    if (::fcntl(fd, F_GETFD) >= 0 || errno != EBADF) continue;
    // Lowest free number first, so this takes `fd` itself.
    const int held = ::open("/dev/null", fd == STDIN_FILENO ? O_WRONLY : O_RDONLY);
    if (held >= 0 && held != fd) ::close(held);
  }
  std::signal(SIGPIPE, SIG_IGN);
}

output::output(int fd) noexcept : fd_(fd) {
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    regular_ = true;
    device_ = st.st_dev;
    inode_ = st.st_ino;
  }
}

bool output::is_read_back_by(int fd) const noexcept {
  struct stat st {};
  if (!regular_ || ::fstat(fd, &st) != 0) return false;
  if (!S_ISREG(st.st_mode) || st.st_dev != device_ || st.st_ino != inode_) return false;
  return ::lseek(fd, 0, SEEK_CUR) < st.st_size;
}

void output::write(const char* data, std::size_t n) const {
  while (n > 0) {
    const ssize_t written = ::write(fd_, data, n);
    if (written < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) {
        wait_for(fd_, POLLOUT);
        continue;
      }
      if (errno == EPIPE) throw closed_pipe{};
      throw failure(std::string("write error: ") + std::strerror(errno));
    }
    data += written;
    n -= static_cast<std::size_t>(written);
  }
}

input_list::input_list(std::vector<std::string> names, const output& out)
    : names_(std::move(names)), out_(out) {
  if (names_.empty()) names_.emplace_back("-");
  shown_name_ = quote_name(names_[0]);
}

input_list::~input_list() { close_current(); }

void input_list::fail(const char* reason) const { throw failure(shown_name_ + ": " + reason); }

void input_list::open_current() {
  shown_name_ = quote_name(names_[current_]);
  if (names_[current_] == "-") {
    fd_ = STDIN_FILENO;
  } else {
    do {
      fd_ = ::open(names_[current_].c_str(), O_RDONLY | O_CLOEXEC);
    } while (fd_ < 0 && errno == EINTR);
    if (fd_ < 0) fail(std::strerror(errno));
  }
  if (out_.is_read_back_by(fd_)) fail("input file is output file");
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
      if (errno == EAGAIN || errno == EWOULDBLOCK) {
        wait_for(fd_, POLLIN);
        continue;
      }
      fail(std::strerror(errno));
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
