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

void output::write_zeros(std::uint64_t n) const {
  if (n == 0) return;
  struct stat st {};
  const off_t at = regular_ ? ::lseek(fd_, 0, SEEK_CUR) : -1;
  const bool appends = (::fcntl(fd_, F_GETFL) & O_APPEND) != 0;
  std::uint64_t written = 0;
  if (at >= 0 && !appends && ::fstat(fd_, &st) == 0) {
    // Bytes the file already holds are overwritten with zeros; past its end, a seek.
    written = at < st.st_size ? static_cast<std::uint64_t>(st.st_size - at) : 0;
    written = std::min(written, n);
  } else {
    written = n;
  }
  static constexpr std::size_t zeros_size = std::size_t{64} << 10;
  static const page_block zeros = [] {
    page_block block = make_page_block(zeros_size);
    std::memset(block.get(), 0, zeros_size);
    return block;
  }();
  for (std::uint64_t left = written; left > 0;) {
    const auto take = static_cast<std::size_t>(std::min<std::uint64_t>(left, zeros_size));
    write(zeros.get(), take);
    left -= take;
  }
  if (written == n) return;
  const std::uint64_t seek = n - written;
  const int error = seek > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max() - at -
                                                      static_cast<off_t>(written))
                        ? EFBIG
                    : ::lseek(fd_, static_cast<off_t>(seek), SEEK_CUR) < 0 ? errno
                                                                           : 0;
  if (error != 0) throw failure(std::string("write error: ") + std::strerror(error));
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

namespace {

// How many bytes a file that can seek holds: a regular file's size, or a block device's, which
// only the device knows. None for a file whose size reads as 0 but that has bytes, as in /proc
// and /sys, and for anything else.
std::optional<std::uint64_t> seekable_size(int fd, bool count_empty) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return std::nullopt;
  if (S_ISREG(st.st_mode) && (st.st_size > 0 || count_empty)) {
    return static_cast<std::uint64_t>(st.st_size);
  }
  if (!S_ISBLK(st.st_mode)) return std::nullopt;
  const off_t at = ::lseek(fd, 0, SEEK_CUR);
  const off_t end = ::lseek(fd, 0, SEEK_END);
  if (at < 0 || end < 0 || ::lseek(fd, at, SEEK_SET) < 0) return std::nullopt;
  return static_cast<std::uint64_t>(end);
}

}  // namespace

std::optional<std::uint64_t> input_list::single_input_size() {
  if (names_.size() != 1) return std::nullopt;
  if (fd_ < 0) {
    open_current();
    next_offset_ = 0;
  }
  const off_t at = ::lseek(fd_, 0, SEEK_CUR);
  const std::optional<std::uint64_t> size = seekable_size(fd_, true);
  if (!size || at < 0) return std::nullopt;
  const std::uint64_t here =
      *size > static_cast<std::uint64_t>(at) ? *size - static_cast<std::uint64_t>(at) : 0;
  return std::min(here > to_skip_ ? here - to_skip_ : 0, to_read_);
}

// Passes over what is left of the region's start in the current input: by lseek in a regular
// file or a block device, else (a pipe, or a /proc file whose size reads as 0) by reading into
// `scratch`.
void input_list::skip_in_current(std::span<char> scratch) {
  const off_t at = ::lseek(fd_, 0, SEEK_CUR);
  const std::optional<std::uint64_t> size = at >= 0 ? seekable_size(fd_, false) : std::nullopt;
  if (size) {
    const auto here = static_cast<std::uint64_t>(at);
    const std::uint64_t step = std::min(to_skip_, *size > here ? *size - here : 0);
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

void text_buffer::add(std::string_view text) {
  if (used_ + text.size() > size) flush();
  if (text.size() > size) return out_.write(text);
  std::memcpy(block_.get() + used_, text.data(), text.size());
  used_ += text.size();
}

void text_buffer::flush() {
  out_.write(block_.get(), used_);
  used_ = 0;
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
