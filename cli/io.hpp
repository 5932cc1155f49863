// Whole-block input from a list of files and output to a file descriptor, with the failures a
// command reports: an unreadable input, a failed write, and a reader that has gone away.
#ifndef MIVO_CLI_IO_HPP
#define MIVO_CLI_IO_HPP

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <streambuf>
#include <string>
#include <vector>

namespace mivo_cli {

// A failure to report as "mivo: <what()>", exit status 1.
class failure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The reader of our output has gone away (EPIPE with SIGPIPE ignored): stop quietly.
struct closed_pipe {};

// The inputs in order, "-" for standard input, read a block at a time.
class input_list {
 public:
  explicit input_list(std::vector<std::string> names);
  input_list(const input_list&) = delete;
  input_list& operator=(const input_list&) = delete;
  ~input_list();

  // Reads the next block into `block`, moving on to the next input at the end of one; returns
  // the bytes read, 0 only after the last input. Throws failure "NAME: reason".
  std::size_t read(std::span<char> block);
  // The input the last block came from, and that block's offset within it.
  [[nodiscard]] const std::string& name() const noexcept { return names_[current_]; }
  [[nodiscard]] std::uint64_t offset() const noexcept { return offset_; }

 private:
  void open_current();
  void close_current() noexcept;

  std::vector<std::string> names_;
  std::size_t current_ = 0;
  bool exhausted_ = false;
  int fd_ = -1;
  std::uint64_t offset_ = 0;  // of the last block returned
  std::uint64_t next_offset_ = 0;
};

// Writes whole blocks to a file descriptor. Throws failure "write error: reason", or
// closed_pipe.
class output {
 public:
  explicit output(int fd) noexcept : fd_(fd) {}
  void write(const char* data, std::size_t n) const;

 private:
  int fd_;
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
