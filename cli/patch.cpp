#include "patch.hpp"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <limits>
#include <span>
#include <utility>

#include "commands.hpp"
#include "quote.hpp"

namespace mivo_cli {
namespace {

// What the dump asks for is kept in memory up to this, then in a temporary file.
constexpr std::size_t spool_memory = std::size_t{1} << 20;
// The most bytes one record holds: the reader hands on rows and blocks of at most 64 KiB.
constexpr std::size_t record_bytes = std::size_t{64} << 10;
constexpr std::uint64_t max_offset = std::numeric_limits<off_t>::max();

std::string reason(int error) { return std::strerror(error); }

// A descriptor closed when it goes.
class descriptor {
 public:
  explicit descriptor(int fd = -1) noexcept : fd_(fd) {}
  descriptor(const descriptor&) = delete;
  descriptor& operator=(const descriptor&) = delete;
  ~descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  [[nodiscard]] int get() const noexcept { return fd_; }
  void reset(int fd) noexcept {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

 private:
  int fd_;
};

int open_retrying(const char* path, int flags, mode_t mode = 0) noexcept {
  int fd = -1;
  do {
    fd = ::open(path, flags | O_CLOEXEC, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

// Writes all of [data, data + n) at `at`; returns 0, or the errno of the failure.
int write_all_at(const target_writes& writes, int fd, const char* data, std::size_t n,
                 std::uint64_t at) noexcept {
  while (n > 0) {
    if (at > max_offset - n) return EFBIG;
    const ssize_t done = writes.pwrite(fd, data, n, static_cast<off_t>(at));
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) return done < 0 ? errno : EIO;
    data += done;
    n -= static_cast<std::size_t>(done);
    at += static_cast<std::uint64_t>(done);
  }
  return 0;
}

// Reads up to n bytes at `at`, fewer only at the end; returns the count, or -1 with errno set.
ssize_t read_at(int fd, char* data, std::size_t n, std::uint64_t at) noexcept {
  std::size_t got = 0;
  while (got < n) {
    const ssize_t r = ::pread(fd, data + got, n - got, static_cast<off_t>(at + got));
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return -1;
    if (r == 0) break;
    got += static_cast<std::size_t>(r);
  }
  return static_cast<ssize_t>(got);
}

// Reads a file from its start, a block at a time, in pieces of any size.
class sequential_reader {
 public:
  explicit sequential_reader(int fd) : fd_(fd), block_(make_page_block(block_size)) {}

  // Fills [out, out + n); false at an early end or a failure (then error() says which).
  bool read(void* out, std::size_t n) {
    auto* to = static_cast<char*>(out);
    while (n > 0) {
      if (at_ == filled_) {
        const ssize_t got = read_at(fd_, block_.get(), block_size, offset_);
        if (got < 0) error_ = errno;
        if (got <= 0) return false;
        offset_ += static_cast<std::uint64_t>(got);
        filled_ = static_cast<std::size_t>(got);
        at_ = 0;
      }
      const std::size_t take = std::min(n, filled_ - at_);
      std::memcpy(to, block_.get() + at_, take);
      at_ += take;
      to += take;
      n -= take;
    }
    return true;
  }

  [[nodiscard]] bool at_end() {
    char c = 0;
    return !read(&c, 1) && error_ == 0;
  }
  [[nodiscard]] int error() const noexcept { return error_; }

 private:
  int fd_;
  int error_ = 0;
  page_block block_;
  std::uint64_t offset_ = 0;
  std::size_t filled_ = 0;
  std::size_t at_ = 0;
};

// What one place of the dump asks for: bytes at `at`, or a row repeated from `at` up to `to`.
struct spool_record {
  std::uint64_t at;
  std::uint64_t to;
  std::uint32_t size;
  std::uint32_t repeat;
};

// What the dump asks for, kept between judging it and writing it: in memory while it is small,
// then in a temporary file, unlinked as soon as it is made, so nothing is left behind.
class spool {
 public:
  spool() : memory_(make_page_block(spool_memory)) {}

  void add(std::uint64_t at, std::uint64_t to, std::span<const std::uint8_t> data, bool repeat) {
    const spool_record r{at, to, static_cast<std::uint32_t>(data.size()), repeat ? 1U : 0U};
    if (used_ + sizeof r + data.size() > spool_memory) spill();
    std::memcpy(memory_.get() + used_, &r, sizeof r);
    std::memcpy(memory_.get() + used_ + sizeof r, data.data(), data.size());
    used_ += sizeof r + data.size();
    end_ = std::max(end_, to);
    any_ = true;
  }

  // Calls each(record, data) for every record in order.
  template <class Each>
  void replay(Each each) {
    if (file_.get() < 0) return replay_memory(each);
    spill();
    sequential_reader in(file_.get());
    const page_block data = make_page_block(record_bytes);
    spool_record r{};
    while (in.read(&r, sizeof r)) {
      if (!in.read(data.get(), r.size)) fail_reading(in.error());
      each(r, std::span(data.get(), r.size));
    }
    if (in.error() != 0) fail_reading(in.error());
  }

  [[nodiscard]] bool empty() const noexcept { return !any_; }
  [[nodiscard]] std::uint64_t end() const noexcept { return end_; }

 private:
  template <class Each>
  void replay_memory(Each each) {
    for (std::size_t at = 0; at < used_;) {
      spool_record r{};
      std::memcpy(&r, memory_.get() + at, sizeof r);
      each(r, std::span(memory_.get() + at + sizeof r, r.size));
      at += sizeof r + r.size;
    }
  }

  // Moves what memory holds to the temporary file, making it first.
  void spill() {
    if (file_.get() < 0) make_file();
    const int error = write_all_at({}, file_.get(), memory_.get(), used_, written_);
    if (error != 0) throw failure(quote_name(path_) + ": write error: " + reason(error));
    written_ += used_;
    used_ = 0;
  }

  void make_file() {
    const char* dir = std::getenv("TMPDIR");
    path_ = std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/mivo-patch.XXXXXX";
    const int fd = ::mkostemp(path_.data(), O_CLOEXEC);
    if (fd < 0) throw failure(quote_name(path_) + ": " + reason(errno));
    file_.reset(fd);
    ::unlink(path_.c_str());
  }

  [[noreturn]] void fail_reading(int error) const {
    throw failure(quote_name(path_) + ": read error: " + reason(error != 0 ? error : EIO));
  }

  page_block memory_;
  std::size_t used_ = 0;
  descriptor file_;
  std::string path_;
  std::uint64_t written_ = 0;
  std::uint64_t end_ = 0;
  bool any_ = false;
};

// Detects a torn or damaged undo file: words mixed with a multiply and a rotation, the tail
// byte by byte. Each record is added whole, so writer and reader add the same pieces.
class checksum {
 public:
  void add(const void* data, std::size_t n) noexcept {
    const auto* p = static_cast<const unsigned char*>(data);
    for (; n >= sizeof(std::uint64_t); n -= sizeof(std::uint64_t), p += sizeof(std::uint64_t)) {
      std::uint64_t word = 0;
      std::memcpy(&word, p, sizeof word);
      mix(word);
    }
    for (; n > 0; --n, ++p) mix(0x100U | *p);
  }
  [[nodiscard]] std::uint64_t value() const noexcept { return sum_; }

 private:
  void mix(std::uint64_t word) noexcept {
    sum_ = std::rotl((sum_ ^ word) * 0x9e3779b97f4a7c15U, 29);
  }
  std::uint64_t sum_ = 0x243f6a8885a308d3U;
};

// The undo file: this header, records (offset, size, the original bytes), then an end record
// (UINT64_MAX, 0) and the checksum of everything before it.
struct undo_header {
  std::array<char, 16> magic;
  std::uint64_t size;  // the target's size before the patch
  std::uint64_t device;
  std::uint64_t inode;
};
constexpr std::array<char, 16> undo_magic = {'m', 'i', 'v', 'o',  ' ', 'u', 'n', 'd',
                                             'o', ' ', '1', '\n', 0,   0,   0,   0};
struct undo_record {
  std::uint64_t at;
  std::uint64_t size;
};
constexpr undo_record undo_end{UINT64_MAX, 0};

std::string directory_of(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// The directory that holds `path`, flushed so that a file made or removed in it stays so.
void sync_directory_of(const std::string& path) noexcept {
  const descriptor d(open_retrying(directory_of(path).c_str(), O_RDONLY | O_DIRECTORY));
  if (d.get() >= 0) ::fsync(d.get());
}

// The file a patch writes into.
struct target {
  std::string shown;  // quoted for messages
  descriptor fd;
  bool block_device = false;
  std::uint64_t size = 0;
  struct stat st {};
};

// Opens `path` for reading and writing: a regular file or a block device, never anything that
// could block or act on open (a FIFO, a terminal).
void open_target(const std::string& path, target& t) {
  t.shown = quote_name(path);
  if (::stat(path.c_str(), &t.st) != 0) throw failure(t.shown + ": " + reason(errno));
  const auto kind_ok = [](const struct stat& st) {
    return S_ISREG(st.st_mode) || S_ISBLK(st.st_mode);
  };
  if (!kind_ok(t.st)) throw failure(t.shown + ": not a regular file or block device");
  const int fd = open_retrying(path.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) throw failure(t.shown + ": " + reason(errno));
  t.fd.reset(fd);
  struct stat now {};
  if (::fstat(fd, &now) != 0 || !kind_ok(now) || now.st_dev != t.st.st_dev ||
      now.st_ino != t.st.st_ino) {
    throw failure(t.shown + ": changed while it was opened");
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  t.block_device = S_ISBLK(now.st_mode);
  const off_t size = t.block_device ? ::lseek(fd, 0, SEEK_END) : now.st_size;
  if (size < 0) throw failure(t.shown + ": " + reason(errno));
  t.size = static_cast<std::uint64_t>(size);
}

bool same_file(const struct stat& a, const struct stat& b) noexcept {
  return (a.st_dev == b.st_dev && a.st_ino == b.st_ino) ||
         (S_ISBLK(a.st_mode) && S_ISBLK(b.st_mode) && a.st_rdev == b.st_rdev);
}

void refuse_input_is_target(const std::vector<std::string>& names, const target& t) {
  for (const std::string& name : names) {
    struct stat st {};
    const int r = name == "-" ? ::fstat(STDIN_FILENO, &st) : ::stat(name.c_str(), &st);
    if (r == 0 && same_file(st, t.st)) throw failure(t.shown + ": input file is output file");
  }
}

std::string undo_hint(const std::string& target_path) {
  return "'mivo undump --undo " + quote_name(target_path) + "' puts its original bytes back";
}

[[noreturn]] void refuse_unfinished(const target& t, const std::string& target_path) {
  throw failure(t.shown + ": an interrupted patch left " + quote_name(undo_file_of(target_path)) +
                ": " + undo_hint(target_path));
}

// Fails, before anything is written, where the rows would pass what the target can hold.
void check_room(const target& t, std::uint64_t end) {
  if (end <= t.size) return;
  const std::string at = t.shown + ": a row ends at byte " + std::to_string(end);
  if (t.block_device) {
    throw failure(at + ", past the end of the device (" + std::to_string(t.size) + " bytes)");
  }
  if (end > max_offset) throw failure(at + ": " + reason(EFBIG));
  rlimit limit{};
  if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
      end > limit.rlim_cur) {
    throw failure(at + ": " + reason(EFBIG) + " (the file size limit is " +
                  std::to_string(limit.rlim_cur) + " bytes)");
  }
}

// The signals that stop a patch, held back while it runs and looked at between writes.
constexpr std::array<std::pair<int, const char*>, 4> stopping_signals = {
    {{SIGINT, "SIGINT"}, {SIGTERM, "SIGTERM"}, {SIGHUP, "SIGHUP"}, {SIGPIPE, "SIGPIPE"}}};

class held_signals {
 public:
  held_signals() noexcept {
    sigemptyset(&set_);
    for (const auto& [signal, name] : stopping_signals) sigaddset(&set_, signal);
    ::pthread_sigmask(SIG_BLOCK, &set_, &before_);
  }
  held_signals(const held_signals&) = delete;
  held_signals& operator=(const held_signals&) = delete;
  ~held_signals() { ::pthread_sigmask(SIG_SETMASK, &before_, nullptr); }

  // A signal that has come, taken so that it is not delivered when the hold ends; 0 if none.
  [[nodiscard]] int take_pending() const noexcept {
    sigset_t pending;
    if (::sigpending(&pending) != 0) return 0;
    for (const auto& [signal, name] : stopping_signals) {
      if (sigismember(&pending, signal) != 1) continue;
      sigset_t one;
      sigemptyset(&one);
      sigaddset(&one, signal);
      const timespec now{};
      ::sigtimedwait(&one, nullptr, &now);
      return signal;
    }
    return 0;
  }

 private:
  sigset_t set_{};
  sigset_t before_{};
};

const char* signal_name(int signal) noexcept {
  for (const auto& [number, name] : stopping_signals) {
    if (number == signal) return name;
  }
  return "a signal";
}

// Writes the undo file, its records checksummed. It gets its name only once it is whole and on
// disk, so a patch stopped while saving leaves none, and the name is never taken from another.
class undo_writer {
 public:
  undo_writer(std::string path, const target& t, std::string target_path)
      : path_(std::move(path)),
        target_(t),
        target_path_(std::move(target_path)),
        block_(make_page_block(block_size)) {
    int fd = open_retrying(directory_of(path_).c_str(), O_TMPFILE | O_WRONLY, 0600);
    if (fd < 0) {  // a file system without unnamed files: a named one, removed at the end
      temp_ = path_ + ".XXXXXX";
      fd = ::mkostemp(temp_.data(), O_CLOEXEC);
      if (fd < 0) throw failure(quote_name(path_) + ": " + reason(errno));
    }
    fd_.reset(fd);
    const undo_header h{undo_magic, t.size, t.st.st_dev, t.st.st_ino};
    put(&h, sizeof h);
  }
  undo_writer(const undo_writer&) = delete;
  undo_writer& operator=(const undo_writer&) = delete;
  ~undo_writer() {
    if (!temp_.empty()) ::unlink(temp_.c_str());
  }

  void record(std::uint64_t at, std::span<const char> bytes) {
    const undo_record r{at, bytes.size()};
    put(&r, sizeof r);
    put(bytes.data(), bytes.size());
  }

  // The end record and the checksum, all of it on disk, and its name in its directory.
  void finish() {
    put(&undo_end, sizeof undo_end);
    const std::uint64_t sum = sum_.value();
    std::memcpy(block_.get() + used_, &sum, sizeof sum);  // block_size leaves room for it
    used_ += sizeof sum;
    flush();
    if (::fsync(fd_.get()) != 0) fail(errno);
    if (!name()) {
      if (errno == EEXIST) refuse_unfinished(target_, target_path_);
      fail(errno);
    }
    sync_directory_of(path_);
  }

 private:
  void put(const void* data, std::size_t n) {
    sum_.add(data, n);
    if (used_ + n + sizeof(std::uint64_t) > block_size) flush();
    std::memcpy(block_.get() + used_, data, n);
    used_ += n;
  }

  void flush() {
    const int error = write_all_at({}, fd_.get(), block_.get(), used_, written_);
    if (error != 0) fail(error);
    written_ += used_;
    used_ = 0;
  }

  [[noreturn]] void fail(int error) const {
    throw failure(quote_name(path_) + ": write error: " + reason(error));
  }

  // Links the file to its name; false with errno set if that fails.
  [[nodiscard]] bool name() const {
    if (!temp_.empty()) return ::link(temp_.c_str(), path_.c_str()) == 0;
    if (::linkat(fd_.get(), "", AT_FDCWD, path_.c_str(), AT_EMPTY_PATH) == 0) return true;
    if (errno == EEXIST) return false;
    const std::string self = "/proc/self/fd/" + std::to_string(fd_.get());
    return ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path_.c_str(), AT_SYMLINK_FOLLOW) == 0;
  }

  std::string path_;
  const target& target_;
  std::string target_path_;
  std::string temp_;  // the named file, where unnamed ones cannot be made
  descriptor fd_;
  page_block block_;
  std::size_t used_ = 0;
  std::uint64_t written_ = 0;
  checksum sum_;
};

// Calls each(at, bytes) for every record of the undo file at `fd`, or returns false without
// a call when the file is damaged; checks the whole file before the first call.
template <class Each>
bool read_undo(int fd, const target& t, Each each) {
  const page_block data = make_page_block(record_bytes);
  const auto pass = [&](bool apply) {
    sequential_reader in(fd);
    checksum sum;
    undo_header h{};
    if (!in.read(&h, sizeof h) || h.magic != undo_magic) return false;
    sum.add(&h, sizeof h);
    for (;;) {
      undo_record r{};
      if (!in.read(&r, sizeof r)) return false;
      sum.add(&r, sizeof r);
      if (r.at == undo_end.at && r.size == undo_end.size) break;
      if (r.size > record_bytes || !in.read(data.get(), r.size)) return false;
      sum.add(data.get(), r.size);
      if (apply) each(r.at, std::span<const char>(data.get(), r.size));
    }
    std::uint64_t stored = 0;
    return in.read(&stored, sizeof stored) && stored == sum.value() && in.at_end() &&
           (apply || (h.device == static_cast<std::uint64_t>(t.st.st_dev) &&
                      h.inode == static_cast<std::uint64_t>(t.st.st_ino)));
  };
  return pass(false) && pass(true);
}

// The size the undo file says the target had.
std::uint64_t undo_size(int fd) {
  undo_header h{};
  return read_at(fd, reinterpret_cast<char*>(&h), sizeof h, 0) == sizeof h ? h.size : 0;
}

// Puts the target back from its undo file, flushes it, and removes the undo file. Returns 0,
// or the errno of a failed write; throws failure for an undo file that is damaged or missing.
int apply_undo(const target& t, const std::string& target_path) {
  const std::string path = undo_file_of(target_path);
  const descriptor fd(open_retrying(path.c_str(), O_RDONLY));
  if (fd.get() < 0 && errno == ENOENT) {
    throw failure(t.shown + ": no interrupted patch to undo (no " + quote_name(path) + ")");
  }
  if (fd.get() < 0) throw failure(quote_name(path) + ": " + reason(errno));
  int error = 0;
  const bool whole = read_undo(fd.get(), t, [&](std::uint64_t at, std::span<const char> bytes) {
    if (error == 0) error = write_all_at({}, t.fd.get(), bytes.data(), bytes.size(), at);
  });
  if (!whole) {
    throw failure(quote_name(path) +
                  ": damaged undo file, not applied (a patch stopped before its first write "
                  "leaves one so): remove it");
  }
  if (error != 0) return error;
  const std::uint64_t size = undo_size(fd.get());
  if (!t.block_device && ::ftruncate(t.fd.get(), static_cast<off_t>(size)) != 0) return errno;
  if (::fsync(t.fd.get()) != 0) return errno;
  ::unlink(path.c_str());
  sync_directory_of(path);
  return 0;
}

// Reserves the blocks of [at, to) in a regular file, so that a full disk shows before the first
// write. Returns false where the file system cannot, and nothing more is tried.
bool reserve(const target& t, std::uint64_t at, std::uint64_t to) {
  if (::fallocate(t.fd.get(), FALLOC_FL_KEEP_SIZE, static_cast<off_t>(at),
                  static_cast<off_t>(to - at)) == 0) {
    return true;
  }
  if (errno == EOPNOTSUPP || errno == ENOSYS) return false;
  throw failure(t.shown + ": " + reason(errno));
}

// Saves the original bytes of [at, to), as far as the target holds them, in the undo file.
void save_original(const target& t, undo_writer& undo, std::uint64_t at, std::uint64_t to,
                   char* scratch) {
  for (to = std::min(to, t.size); at < to;) {
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(to - at, record_bytes));
    const ssize_t got = read_at(t.fd.get(), scratch, n, at);
    if (got < 0) throw failure(t.shown + ": read error: " + reason(errno));
    if (got == 0) break;
    undo.record(at, {scratch, static_cast<std::size_t>(got)});
    at += static_cast<std::uint64_t>(got);
  }
}

// Writes one record; returns 0 or the errno of the failure. A repeat goes out a block of
// whole rows at a time.
int write_record(const target& t, const target_writes& writes, const spool_record& r,
                 std::span<const char> data, char* scratch) {
  if (r.repeat == 0) return write_all_at(writes, t.fd.get(), data.data(), data.size(), r.at);
  const std::size_t span = record_bytes / data.size() * data.size();
  for (std::size_t at = 0; at < span; at += data.size()) {
    std::memcpy(scratch + at, data.data(), data.size());
  }
  for (std::uint64_t at = r.at; at < r.to;) {
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(r.to - at, span));
    if (const int error = write_all_at(writes, t.fd.get(), scratch, n, at)) return error;
    at += n;
  }
  return 0;
}

struct stop_signal {
  int signal;
};
struct write_fault {
  int error;
};

// "what; TARGET restored, nothing changed", or what went wrong in restoring as well.
std::string restored(const target& t, const std::string& target_path, const std::string& what) {
  int error = 0;
  try {
    error = apply_undo(t, target_path);
  } catch (const failure& f) {
    return what + "; restoring failed: " + f.what();
  }
  if (error == 0) return what + "; " + t.shown + " restored, nothing changed";
  return what + "; restoring failed: " + reason(error) + "; the original bytes are kept in " +
         quote_name(undo_file_of(target_path)) + ": " + undo_hint(target_path);
}

}  // namespace

std::string undo_file_of(const std::string& target) { return target + ".mivo-undo"; }

void undump_patch(std::vector<std::string> names, const std::string& target_path,
                  const mivo::dump_layout& layout, const target_writes& writes) {
  if (names.empty()) names.emplace_back("-");
  target t;
  open_target(target_path, t);
  refuse_input_is_target(names, t);
  struct stat ignored {};
  if (::lstat(undo_file_of(target_path).c_str(), &ignored) == 0) {
    refuse_unfinished(t, target_path);
  }

  spool pending;
  {
    const output nowhere(-1);
    input_list in(names, nowhere);
    mivo::dump_reader reader(
        layout,
        [&](std::uint64_t at, std::span<const std::uint8_t> bytes) {
          pending.add(at, at + bytes.size(), bytes, false);
        },
        [&](std::uint64_t from, std::uint64_t to, std::span<const std::uint8_t> row) {
          pending.add(from, to, row, true);
        });
    read_dump(in, reader);
  }
  if (pending.empty()) return;
  check_room(t, pending.end());
  std::signal(SIGXFSZ, SIG_IGN);  // past a size limit after all: EFBIG, never a silent death

  const held_signals held;
  const page_block scratch = make_page_block(record_bytes);
  {
    undo_writer undo(undo_file_of(target_path), t, target_path);
    bool reserving = !t.block_device;
    try {
      pending.replay([&](const spool_record& r, std::span<const char>) {
        if (const int signal = held.take_pending()) {
          throw interrupted(
              t.shown + ": interrupted by " + signal_name(signal) + "; nothing changed", signal);
        }
        reserving = reserving && reserve(t, r.at, r.to);
        save_original(t, undo, r.at, r.to, scratch.get());
      });
      undo.finish();
    } catch (...) {
      // Blocks reserved past the end go with a truncation to the size the file has.
      if (!t.block_device) (void)::ftruncate(t.fd.get(), static_cast<off_t>(t.size));
      throw;
    }
  }

  try {
    pending.replay([&](const spool_record& r, std::span<const char> data) {
      if (const int signal = held.take_pending()) throw stop_signal{signal};
      if (const int error = write_record(t, writes, r, data, scratch.get())) {
        throw write_fault{error};
      }
    });
    if (const int signal = held.take_pending()) throw stop_signal{signal};
    if (::fsync(t.fd.get()) != 0) throw write_fault{errno};
  } catch (const stop_signal& s) {
    throw interrupted(
        restored(t, target_path, t.shown + ": interrupted by " + signal_name(s.signal)), s.signal);
  } catch (const write_fault& f) {
    throw failure(restored(t, target_path, t.shown + ": write error: " + reason(f.error)));
  }
  const std::string undo_path = undo_file_of(target_path);
  ::unlink(undo_path.c_str());
  sync_directory_of(undo_path);
}

void undo_patch(const std::string& target_path) {
  target t;
  open_target(target_path, t);
  const held_signals held;  // putting bytes back is not to be stopped half-way either
  if (const int error = apply_undo(t, target_path)) {
    throw failure(t.shown + ": write error: " + reason(error) + "; the undo file stays for " +
                  "another try");
  }
}

}  // namespace mivo_cli
