// Whole-block input from a list of files and output to a file descriptor, with the failures a
// command reports: an unreadable input, an input that is the output, a failed write, and a
// reader that has gone away. Nonblocking descriptors are waited on, never given up on.
#ifndef MIVO_CLI_IO_HPP
#define MIVO_CLI_IO_HPP

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <stdexcept>
#include <streambuf>
#include <string>
#include <string_view>
#include <vector>

namespace mivo_cli {

// Blocks the kernel copies to or from start on a page: read(2) and write(2) copy such a block
// several times faster than one that malloc places 16 bytes past a page.
inline constexpr std::align_val_t page_alignment{4096};
struct page_free {
  void operator()(char* p) const noexcept { ::operator delete(p, page_alignment); }
};
using page_block = std::unique_ptr<char[], page_free>;
// n bytes, not zeroed: a small input touches only the pages it uses.
inline page_block make_page_block(std::size_t n) {
  return page_block(static_cast<char*>(::operator new(n, page_alignment)));
}

// A failure to report as "mivo: <what()>", exit status 1.
class failure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The reader of our output has gone away (EPIPE): stop quietly.
struct closed_pipe {};

// Makes the process safe to run from any parent: a closed standard descriptor is held open on
// /dev/null the wrong way round (so using it fails with EBADF, as it would have, and no file we
// open later takes its number), and SIGPIPE is ignored, so a closed pipe is an EPIPE we handle.
void prepare_process() noexcept;

// Writes whole blocks to a file descriptor. Throws failure "write error: reason", or
// closed_pipe.
class output {
 public:
  explicit output(int fd) noexcept;
  void write(const char* data, std::size_t n) const;
  void write(std::string_view text) const { write(text.data(), text.size()); }
  // n zero bytes: past the end of a regular file a seek, which leaves a hole, as xxd -r does;
  // elsewhere written out.
  void write_zeros(std::uint64_t n) const;

  // Whether the open descriptor `fd` reads the regular file this output writes to, at a point
  // before its end: reading on would read our own output back, without end.
  [[nodiscard]] bool is_read_back_by(int fd) const noexcept;

 private:
  int fd_;
  bool regular_ = false;
  dev_t device_ = 0;
  ino_t inode_ = 0;
};

// Text gathered in a block and written a block at a time, so that many short lines cost few
// writes. What is not flushed is not written.
class text_buffer {
 public:
  explicit text_buffer(const output& out) : out_(out), block_(make_page_block(size)) {}
  text_buffer(const text_buffer&) = delete;
  text_buffer& operator=(const text_buffer&) = delete;
  ~text_buffer() = default;

  void add(std::string_view text);
  void add_line(std::string_view prefix, std::string_view text) {
    add(prefix);
    add(text);
    add("\n");
  }
  void flush();

 private:
  static constexpr std::size_t size = std::size_t{64} << 10;
  const output& out_;
  page_block block_;
  std::size_t used_ = 0;
};

// The inputs in order, "-" for standard input, read a block at a time.
class input_list {
 public:
  input_list(std::vector<std::string> names, const output& out);
  input_list(const input_list&) = delete;
  input_list& operator=(const input_list&) = delete;
  ~input_list();

  // Reads only the part of the stream from `start` (skipped with lseek where the input can
  // seek, else read and dropped), `length` bytes at most. Call before the first read.
  void set_region(std::uint64_t start, std::uint64_t length) noexcept;
  // When there is one input and it can seek, how many bytes it holds from where it stands, of
  // the region when one is set.
  [[nodiscard]] std::optional<std::uint64_t> single_input_size();

  // Reads the next block into `block`, moving on to the next input at the end of one; returns
  // the bytes read, 0 only after the last input. Throws failure "NAME: reason".
  std::size_t read(std::span<char> block);
  // At a hole of a sparse file (SEEK_DATA), passes over it and returns its length: bytes that
  // read as zeros, at no cost. 0 where there is none, or the input cannot tell.
  std::uint64_t pass_hole();
  // The input the last block came from, quoted for a message, and that block's offset in it.
  [[nodiscard]] const std::string& name() const noexcept { return shown_name_; }
  // Which of the inputs that is, counting from 0.
  [[nodiscard]] std::size_t index() const noexcept { return current_; }
  [[nodiscard]] std::uint64_t offset() const noexcept { return offset_; }

 private:
  void open_current();
  void close_current() noexcept;
  void skip_in_current(std::span<char> scratch);
  // One read(2) of the current input, waiting on a nonblocking one and retrying EINTR.
  std::size_t read_current(std::span<char> block) const;
  void next_input() noexcept;
  [[noreturn]] void fail(const char* reason) const;

  std::vector<std::string> names_;
  const output& out_;
  std::size_t current_ = 0;
  std::string shown_name_;
  bool exhausted_ = false;
  int fd_ = -1;
  std::uint64_t offset_ = 0;  // of the last block returned
  std::uint64_t next_offset_ = 0;
  std::uint64_t to_skip_ = 0;           // of the region's start, still to pass
  std::uint64_t to_read_ = UINT64_MAX;  // of the region's length, still to read
};

// An existing file changed in place: bytes written at their offsets, every other byte kept.
class patch_file {
 public:
  // Opens `name` for writing, creating nothing. Throws failure "NAME: reason".
  explicit patch_file(const std::string& name);
  patch_file(const patch_file&) = delete;
  patch_file& operator=(const patch_file&) = delete;
  ~patch_file();

  // Throws failure "NAME: reason".
  void write_at(std::uint64_t offset, std::span<const std::uint8_t> bytes) const;

 private:
  int fd_ = -1;
  std::string shown_name_;
};

// An unbuffered stream buffer over an output, for the library's dump writer: its large writes
// go straight through. Use with exceptions(badbit) so that our exceptions come through.
class output_buffer : public std::streambuf {
 public:
  explicit output_buffer(const output& out) noexcept : out_(out) {}

 protected:
  std::streamsize xsputn(const char* s, std::streamsize n) override;
  int_type overflow(int_type c) override;

 private:
  const output& out_;
};

}  // namespace mivo_cli

#endif  // MIVO_CLI_IO_HPP
