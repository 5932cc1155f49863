// Input of any size in pieces: dumps written and read back, digits decoded, C arrays read back.
#ifndef MIVO_MIVO_STREAMING_HPP
#define MIVO_MIVO_STREAMING_HPP

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <span>
#include <string_view>
#include <utility>

#include "dump.hpp"

namespace mivo {

// An incremental hex dump onto a stream. For any split of a text T into write_text calls
// followed by finish(), the stream receives exactly hexdump_s(options, hex_text{T});
// write_bytes(b) counts as writing the digits of b, and the two may be mixed. Each call hands
// the stream every row it completes, in large writes; finish() writes the last, partial row.
// Memory stays bounded by one row and a fixed block whatever the input.
//
// With the character column on, the first complete pair holding a non-digit throws
// decode_error (position() counted over all digits written) from the call that completes it,
// after every earlier row has been written and nothing of its own row. The writer is then
// spent: later calls throw std::logic_error and the destructor writes nothing. So do calls
// after an exception from the stream. write_* after finish() throws std::logic_error; finish()
// again does nothing. The destructor finishes an unfinished writer, swallowing any error.
//
// The writer checks the stream after each write: a stream that fails without throwing (a full
// disk, with exceptions off) makes the call throw std::ios_base::failure, and spends the
// writer, so no output is lost unnoticed.
//
// write_zeros(n) counts as write_bytes of n zero bytes. With squeeze on, a long run of them is
// passed over in constant time once it is squeezed, so a sparse file's holes cost nothing.
//
// Every byte must have an offset (first_offset + its index, with byte_offset labels; else its
// index) whose end fits in 64 bits, so that each label reads back: a call that would pass
// 2^64 - 1 throws std::out_of_range before writing anything of its own, and so does hexdump_s.
class MIVO_API dump_writer {
 public:
  explicit dump_writer(std::ostream& out);
  dump_writer(const dump_layout& layout, std::ostream& out);
  dump_writer(dump_options options, std::ostream& out) : dump_writer(dump_layout(options), out) {}
  dump_writer(const dump_writer&) = delete;
  dump_writer& operator=(const dump_writer&) = delete;
  ~dump_writer();

  void write_text(std::string_view digits);
  void write_bytes(std::span<const std::uint8_t> bytes);
  void write_zeros(std::uint64_t count);
  void finish();

 private:
  struct renderer;
  std::unique_ptr<renderer> renderer_;
};

// An incremental decoder onto a stream, the counterpart of dump_writer. For any split of a text
// T into write_text calls followed by finish(), the stream receives exactly the bytes that
// to_string gives for T without the bytes listed in `skip` (none by default). Pairs are judged
// as to_string judges them, also across calls; each call hands the stream the bytes it
// decoded, and memory stays bounded by a fixed block whatever the input.
//
// A bad character throws decode_error from the call that brings it, position() counted over
// all of T (skipped bytes included), after the bytes of every pair before it have been
// written and nothing after. A lone last digit throws the odd-length decode_error from
// finish(), naming its position. After a failure, or an exception from the stream, the writer
// is spent: later calls throw std::logic_error. write_text after finish() throws
// std::logic_error; finish() again does nothing. A stream that fails without throwing makes the
// call throw std::ios_base::failure. The destructor finishes an unfinished writer, swallowing
// any error. An empty piece, whatever its data pointer, changes nothing.
class MIVO_API decode_writer {
 public:
  explicit decode_writer(std::ostream& out);
  decode_writer(skip_list skip, std::ostream& out);
  // As decode_text reads: `skip` passed over anywhere, `prefix` right before a pair, also when
  // a call ends inside it.
  decode_writer(skip_list skip, std::string_view prefix, std::ostream& out);
  decode_writer(const decode_writer&) = delete;
  decode_writer& operator=(const decode_writer&) = delete;
  ~decode_writer();

  void write_text(std::string_view text);
  void finish();

 private:
  struct decoder;
  std::unique_ptr<decoder> decoder_;
};

// Reads a hex dump back into bytes, the inverse of dump_writer: for every input x and every
// `layout`, the text of hexdump_s(layout, x) read with the same layout yields exactly x. The
// character column, squeezing, color and case are read whatever they are.
//
// The classic shape (16 bytes in groups of 2, hex, in order) is read forgivingly: a line is a
// row, its label ("N: ", with labels), then digits in groups split by single spaces, up to two
// spaces running or the end of the line; the rest of the line is the character column and is
// ignored, so edits there change nothing. A row may hold any number of whole bytes (pairs may
// straddle a space).
//
// Every other layout is read by its columns: after the label (and its ": ", or "  " in the
// canonical style), each group's bytes stand where the layout puts them, in its base and byte
// order, left-aligned (right-aligned for little-endian words); a group short of bytes ends the
// row. A canonical dump's closing line (an offset alone) ends a '*' run there.
//
// A row number n places the row at byte n * columns, a byte offset (hex, either case, or
// decimal) at itself less the displacement; unlabelled rows follow one another from
// first_offset. A line "*" repeats the row before it, byte after byte, up to the next row's
// place; it needs labels, and repeats a row of at most 65536 bytes. Empty lines and SGR
// sequences (ESC [ ... m) are passed over anywhere; a line may end in "\r\n", and the last
// line needs no line feed.
//
// Bytes go to `to` as (offset, bytes) in the order the rows give them; consecutive rows come
// together, up to a fixed block at a time, so memory stays bounded whatever the input. The
// span lives for the call only. With `forward_only`, a row placed before the end of the rows
// before it is an error (as for output that cannot seek). Given a `repeats` sink, a '*' line
// goes to it as one call (from, to, row) instead of as bytes: the row again and again from
// `from` up to `to`, starting at `from`. Reading then costs time in proportion to the text,
// whatever span a '*' claims.
//
// A malformed line throws dump_error from the call that brings its fault, after every row
// before that line has gone to `to`, and nothing of its own row: a non-digit in the digits, an
// odd number of digits in a row, a label that does not parse or whose place does not fit 64
// bits; in the other layouts also a digit of another base, a byte above 255, digits outside
// their group's columns, and bytes after a short group. The reader's life is dump_writer's: after a
// failure, or an exception from `to`, it is spent and later calls throw std::logic_error;
// write_text after finish() throws std::logic_error, finish() again does nothing, and the
// destructor finishes quietly.
class MIVO_API dump_reader {
 public:
  using sink = std::function<void(std::uint64_t offset, std::span<const std::uint8_t> bytes)>;
  using repeat_sink =
      std::function<void(std::uint64_t from, std::uint64_t to, std::span<const std::uint8_t> row)>;

  dump_reader(const dump_layout& layout, sink to, bool forward_only = false);
  dump_reader(const dump_layout& layout, sink to, repeat_sink repeats, bool forward_only = false);
  dump_reader(dump_options layout, sink to, bool forward_only = false)
      : dump_reader(dump_layout(layout), std::move(to), forward_only) {}
  dump_reader(dump_options layout, sink to, repeat_sink repeats, bool forward_only = false)
      : dump_reader(dump_layout(layout), std::move(to), std::move(repeats), forward_only) {}
  dump_reader(const dump_reader&) = delete;
  dump_reader& operator=(const dump_reader&) = delete;
  ~dump_reader();

  void write_text(std::string_view text);
  void finish();

  // The line and column (from 1) of the next character to come: where an input that starts
  // now begins, to name a fault's place in it.
  [[nodiscard]] std::uint64_t line() const noexcept;
  [[nodiscard]] std::uint64_t column() const noexcept;

 private:
  struct parser;
  std::unique_ptr<parser> parser_;
};

// Reads back a C array as `mivo encode -i` and `xxd -i` write it:
//   unsigned char NAME[] = {
//     0x01, 0x02, 0x03
//   };
//   unsigned int NAME_len = 3;
// or its lines of bytes alone ("  0x01, 0x02, 0x03"). Bytes are 0x (or 0X) and one or two hex
// digits; whitespace and line ends (CRLF too) may stand between any two tokens, a comma may
// follow the last byte, and the length line may be left out but, when given, must name NAME_len
// and the array's length. The bytes go to `to` in order, a block at a time.
//
// Anything else throws dump_error naming the line and column (from 1) of the token at fault,
// after every byte before it has gone to `to`. The reader's life is dump_reader's.
class MIVO_API c_array_reader {
 public:
  using sink = std::function<void(std::span<const std::uint8_t> bytes)>;

  explicit c_array_reader(sink to);
  c_array_reader(const c_array_reader&) = delete;
  c_array_reader& operator=(const c_array_reader&) = delete;
  ~c_array_reader();

  void write_text(std::string_view text);
  void finish();
  // The line and column (from 1) of the next character to come.
  [[nodiscard]] std::uint64_t line() const noexcept;
  [[nodiscard]] std::uint64_t column() const noexcept;

 private:
  struct tokenizer;
  std::unique_ptr<tokenizer> tokenizer_;
};

}  // namespace mivo

#endif  // MIVO_MIVO_STREAMING_HPP
