#include "io.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <limits>
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

void input_list::set_region(std::uint64_t start, std::uint64_t length) noexcept {
  to_skip_ = start;
  to_read_ = length;
}

std::optional<std::uint64_t> input_list::single_input_size() {
  if (names_.size() != 1) return std::nullopt;
  if (fd_ < 0) {
    open_current();
    next_offset_ = 0;
  }
  struct stat st {};
  const off_t at = ::lseek(fd_, 0, SEEK_CUR);
  if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode) || at < 0) return std::nullopt;
  return static_cast<std::uint64_t>(std::max<off_t>(st.st_size - at, 0));
}

// Passes over what is left of the region's start in the current input: by lseek in a regular
// file or a block device, else by reading into `scratch`.
void input_list::skip_in_current(std::span<char> scratch) {
  struct stat st {};
  const off_t at = ::lseek(fd_, 0, SEEK_CUR);
  if (at >= 0 && ::fstat(fd_, &st) == 0 && (S_ISREG(st.st_mode) || S_ISBLK(st.st_mode))) {
    const auto left = static_cast<std::uint64_t>(std::max<off_t>(st.st_size - at, 0));
    const std::uint64_t step = S_ISREG(st.st_mode) ? std::min(to_skip_, left) : to_skip_;
    if (::lseek(fd_, static_cast<off_t>(step), SEEK_CUR) < 0) fail(std::strerror(errno));
    to_skip_ -= step;
    next_offset_ += step;
    return;
  }
  while (to_skip_ > 0) {
    const std::size_t n = read_current(
        scratch.first(static_cast<std::size_t>(std::min<std::uint64_t>(to_skip_, scratch.size()))));
    if (n == 0) return;
    to_skip_ -= n;
    next_offset_ += n;
  }
}

std::size_t input_list::read_current(std::span<char> block) const {
  for (;;) {
    const ssize_t n = ::read(fd_, block.data(), block.size());
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      wait_for(fd_, POLLIN);
    } else if (errno != EINTR) {
      fail(std::strerror(errno));
    }
  }
}

std::uint64_t input_list::pass_hole() {
  if (fd_ < 0 || to_skip_ > 0 || to_read_ == 0) return 0;
  const off_t at = ::lseek(fd_, 0, SEEK_CUR);
  if (at < 0) return 0;
  off_t data = ::lseek(fd_, at, SEEK_DATA);  // where it leaves the file, when it succeeds
  off_t now = data;
  if (data < 0) {
    struct stat st {};
    if (errno != ENXIO || ::fstat(fd_, &st) != 0) return 0;
    data = st.st_size;  // a hole up to the end
    now = at;
  }
  const std::uint64_t hole =
      std::min(static_cast<std::uint64_t>(std::max<off_t>(data - at, 0)), to_read_);
  const off_t after = at + static_cast<off_t>(hole);
  if (after != now && ::lseek(fd_, after, SEEK_SET) < 0) fail(std::strerror(errno));
  next_offset_ += hole;
  to_read_ -= hole;
  return hole;
}

std::size_t input_list::read(std::span<char> block) {
  while (!exhausted_ && to_read_ > 0) {
    if (fd_ < 0) {
      open_current();
      next_offset_ = 0;
    }
    if (to_skip_ > 0) {
      skip_in_current(block);
      if (to_skip_ > 0) {  // this input ended first
        next_input();
        continue;
      }
    }
    const std::size_t n = read_current(
        block.first(static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), to_read_))));
    if (n > 0) {
      offset_ = std::exchange(next_offset_, next_offset_ + n);
      to_read_ -= n;
      return n;
    }
    next_input();
  }
  return 0;
}

void input_list::next_input() noexcept {
  close_current();
  if (current_ + 1 == names_.size()) {
    exhausted_ = true;  // and keep naming the last input
  } else {
    ++current_;
  }
}

patch_file::patch_file(const std::string& name) : shown_name_(quote_name(name)) {
  do {
    fd_ = ::open(name.c_str(), O_WRONLY | O_CLOEXEC);
  } while (fd_ < 0 && errno == EINTR);
  if (fd_ < 0) throw failure(shown_name_ + ": " + std::strerror(errno));
}

patch_file::~patch_file() { ::close(fd_); }

void patch_file::write_at(std::uint64_t offset, std::span<const std::uint8_t> bytes) const {
  while (!bytes.empty()) {
    if (offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) {
      throw failure(shown_name_ + ": " + std::strerror(EFBIG));
    }
    const ssize_t n = ::pwrite(fd_, bytes.data(), bytes.size(), static_cast<off_t>(offset));
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) {
        wait_for(fd_, POLLOUT);
        continue;
      }
      throw failure(shown_name_ + ": " + std::strerror(errno));
    }
    bytes = bytes.subspan(static_cast<std::size_t>(n));
    offset += static_cast<std::uint64_t>(n);
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
