// Hex dumps: the layout as a value, the dump as a string or on standard output, and the error of
// reading one back.
#ifndef MIVO_MIVO_DUMP_HPP
#define MIVO_MIVO_DUMP_HPP

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "codec.hpp"

namespace mivo {

// What stands before each row of a hex dump.
enum class row_label : std::uint8_t {
  row_number,   // "%.8d: ", the row's index: 0, 1, 2, ... (rows, not bytes)
  byte_offset,  // "%08x: ", the offset of the row's first byte, from first_offset (as xxd)
  none,
  decimal_offset,  // "%08d: ", that offset in decimal (as xxd -d)
};

// Layout of a hex dump; `hexdump_s({.char_column = false}, h)` turns one part off. The defaults
// give the classic layout, and each option below changes only what it names.
struct dump_options {
  bool row_numbers = true;  // false: no labels at all, whatever `label` says
  bool char_column = true;  // two spaces and the bytes as characters, "." if not 32-126
  row_label label = row_label::row_number;
  std::uint64_t first_offset = 0;  // the offset of the first byte, for byte_offset labels
  // A-F in the digits the dump makes from bytes (dump_writer::write_bytes); digits handed in
  // as text are copied as they are.
  bool uppercase = false;
  // A full row whose 32 digits equal those of the full row before it is left out; each run of
  // such rows becomes one line "*". The last row is always shown, so the end can be seen, and
  // a partial row never repeats. Needs labels: without them, std::invalid_argument.
  bool squeeze = false;
  // Each byte's digits and character in an SGR color by class: NUL, printable ASCII, ASCII
  // whitespace (9-13), other ASCII, non-ASCII; one sequence per run of a class, "\x1b[39m" before
  // the plain parts. Removing every "ESC [ ... m" gives exactly the dump without color.
  bool color = false;
};

// How each byte of a dump is written: hex (2 digits), binary (8), octal (3) or decimal (3
// digits, zero-padded: 007).
enum class dump_base : std::uint8_t { hex, binary, octal, decimal };

// The order of the bytes of a group: as they come, or last first, as a little-endian word is
// read (xxd -e).
enum class byte_order : std::uint8_t { big, little };

// How the character column shows bytes: ASCII 32-126 as themselves, or EBCDIC letters, digits
// and punctuation as xxd -E shows them; every other byte as ".".
enum class char_table : std::uint8_t { ascii, ebcdic };

// How a row is framed: "LABEL: " before the digits and two spaces before the characters, or as
// hexdump -C ("%08x  " before, an extra space after every 8 bytes, the characters between '|',
// and a last line with the offset where the bytes end).
enum class dump_style : std::uint8_t { classic, canonical };

// A dump layout: one value, checked when it is built, then passed to hexdump_s, dump_writer and
// dump_reader. Copying it is cheap; its fields are read through accessors, so that later fields
// leave its size and the library's binary interface as they are.
//
//   auto layout =
//   mivo::dump_layout::builder(mivo::dump_layout::xxd()).columns(32).group(4).build();
//   mivo::hexdump_s(layout, h);
//
// classic() is the dump of dump_options{}; xxd() is `xxd`'s (what dump_options{.label =
// row_label::byte_offset} gives) and canonical() is `hexdump -C`'s. There is no default
// constructor, so that `{}` in a call still means dump_options{}.
class MIVO_API dump_layout {
 public:
  class builder;

  // The layout that `options` describe, exactly as they described it before layouts existed.
  dump_layout(const dump_options& options);

  static dump_layout classic();
  static dump_layout xxd();
  static dump_layout canonical();

  // Bytes in a row, 1-256 (16).
  [[nodiscard]] std::size_t columns() const noexcept;
  // Bytes in a group, split from the next by a space; groups run to the row's end, the last
  // one shorter when `columns` is not a multiple. 1 up to `columns`; 0 and `columns` both mean
  // one group, no spaces (2).
  [[nodiscard]] std::size_t group() const noexcept;
  [[nodiscard]] byte_order order() const noexcept;
  [[nodiscard]] dump_base base() const noexcept;
  // Labels: row numbers ("%.8d: ", 0, 1, 2, ...), byte offsets in hex ("%08x: ") or in
  // decimal ("%08d: ", as xxd -d), or none.
  [[nodiscard]] row_label label() const noexcept;
  // The offset of the first byte, as dump_options::first_offset; with offset labels it is
  // where the bytes are, and read back as such.
  [[nodiscard]] std::uint64_t first_offset() const noexcept;
  // Added to every offset label but not to where the bytes are (xxd -o): a reader takes it
  // off again.
  [[nodiscard]] std::uint64_t displacement() const noexcept;
  [[nodiscard]] bool char_column() const noexcept;
  [[nodiscard]] char_table table() const noexcept;
  [[nodiscard]] dump_style style() const noexcept;
  [[nodiscard]] bool uppercase() const noexcept;
  [[nodiscard]] bool squeeze() const noexcept;
  [[nodiscard]] bool color() const noexcept;

  // Whether labels stand before the rows, and whether they are byte offsets.
  [[nodiscard]] bool labelled() const noexcept;
  [[nodiscard]] bool offset_labels() const noexcept;

  // Where byte i (below columns()) of a row stands, counted from the end of the row's label,
  // color aside: its first digit, and its character (meaningful with the character column).
  // A byte takes digit_width() digits: 2 in hex, 8 in binary, 3 in octal and decimal.
  [[nodiscard]] std::size_t digit_place(std::size_t i) const noexcept;
  [[nodiscard]] std::size_t char_place(std::size_t i) const noexcept;
  [[nodiscard]] std::size_t digit_width() const noexcept;

  friend MIVO_API bool operator==(const dump_layout& a, const dump_layout& b) noexcept;

 private:
  struct fields;
  explicit dump_layout(std::shared_ptr<const fields> f) noexcept;
  std::shared_ptr<const fields> fields_;
};

// Builds a layout from another (the classic one by default), field by field. build() checks
// the whole and throws std::invalid_argument naming the field at fault: "Mivo.dump_layout:
// columns must be 1-256", a group longer than the row, squeeze without labels, a first offset
// and displacement whose sum passes 2^64 - 1.
class MIVO_API dump_layout::builder {
 public:
  builder();
  explicit builder(const dump_layout& from);
  builder(const builder& other);
  builder& operator=(const builder& other);
  ~builder();

  builder& columns(std::size_t n);
  builder& group(std::size_t n);
  builder& order(byte_order o);
  builder& base(dump_base b);
  builder& label(row_label l);
  builder& first_offset(std::uint64_t offset);
  builder& displacement(std::uint64_t d);
  builder& char_column(bool on);
  builder& table(char_table t);
  builder& style(dump_style s);
  builder& uppercase(bool on);
  builder& squeeze(bool on);
  builder& color(bool on);

  [[nodiscard]] dump_layout build() const;

 private:
  std::unique_ptr<fields> fields_;
};

// The hex dump of `h`: rows of 32 digits (16 bytes) in space-separated groups of 4, the last
// row padded to the full 39 columns, each row ending in "\n"; an empty text gives "". Digits
// are copied unchanged. With the character column on, each complete pair is decoded and a bad
// one throws as to_char does; with it off any text dumps. Options that cannot be honoured
// (squeeze without labels) throw std::invalid_argument.
//
// Any other layout takes the same steps, its rows as the layout says. Where a layout shows
// bytes other than as the hex digits themselves (binary, octal, decimal), every pair must be
// valid and the text whole: a bad pair or a lone last digit throws as to_string does.
[[nodiscard]] MIVO_API std::string hexdump_s(const hex_text& h);
[[nodiscard]] MIVO_API std::string hexdump_s(const dump_layout& layout, const hex_text& h);
[[nodiscard]] inline std::string hexdump_s(dump_options options, const hex_text& h) {
  return hexdump_s(dump_layout(options), h);
}

// Writes hexdump_s(...) to std::cout in one write, without flushing; on failure writes nothing.
MIVO_API void hexdump(const hex_text& h);
MIVO_API void hexdump(const dump_layout& layout, const hex_text& h);
inline void hexdump(dump_options options, const hex_text& h) { hexdump(dump_layout(options), h); }

// A failure to read a dump back: what() is "line N: column C: REASON", the line and column
// (both from 1, columns counted in bytes) of the character at fault; position() counts bytes
// from the start of the text. A bad digit's REASON is to_char's message.
class MIVO_API dump_error : public decode_error {
 public:
  dump_error(const std::string& reason, std::uint64_t line, std::uint64_t column,
             std::size_t position);
  dump_error(const dump_error&) noexcept = default;
  dump_error& operator=(const dump_error&) noexcept = default;
  ~dump_error() override;

  [[nodiscard]] std::uint64_t line() const noexcept { return line_; }
  [[nodiscard]] std::uint64_t column() const noexcept { return column_; }
  [[nodiscard]] const char* reason() const noexcept;

 private:
  std::uint64_t line_;
  std::uint64_t column_;
  std::size_t reason_start_;
};

}  // namespace mivo

#endif  // MIVO_MIVO_DUMP_HPP
