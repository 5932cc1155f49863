// The commands, on the library's public interface alone.
#ifndef MIVO_CLI_COMMANDS_HPP
#define MIVO_CLI_COMMANDS_HPP

#include <mivo.hpp>

#include <optional>
#include <string>
#include <vector>

#include "io.hpp"

namespace mivo_cli {

// Bytes read per call: large enough that a system call costs nothing beside the work, small
// enough that memory stays a few MiB whatever the input.
inline constexpr std::size_t block_size = 256 << 10;

// Whether a hole may follow a block just read: one that runs into a hole ends in zeros. Looking
// for holes (lseek) only then costs random data nothing.
bool may_precede_hole(std::span<const std::uint8_t> block) noexcept;

// The hex dump of the inputs as one stream, exactly as mivo::hexdump_s would lay it out.
// Squeezing, the holes of a sparse file are passed over unread.
void dump(input_list& in, const output& out, const mivo::dump_layout& layout);

struct encode_layout {
  mivo::skip_list skip;   // bytes left out
  bool upper = false;     // A-F
  bool newline = true;    // a line feed at the end
  std::size_t width = 0;  // digits per line, as xxd -p wraps them at 60; 0: one line
};

// The digits of the inputs, laid out as `layout` says.
void encode(input_list& in, const output& out, const encode_layout& layout);

// The digits of the inputs in a text form ("de:ad:be:ef", "0xde 0xad"): separators, groups and
// prefixes as mivo::encode_text lays them out over the whole stream, which is `total` bytes
// long; groups counted from the end need that length.
void encode_text(input_list& in, const output& out, const mivo::text_form& form,
                 std::optional<std::uint64_t> total, bool newline);

// The inputs as a C array, exactly as xxd -i writes it: declared as `name` with its length, or
// with no name only the lines of bytes.
void encode_c_array(input_list& in, const output& out, std::string_view name, bool upper);

// The bytes the digits of the inputs encode. Unless `strict`, ASCII whitespace anywhere is
// left out first. Throws failure naming the input and offset of a rejected character, or the
// input holding a lone last digit, after writing the bytes of every pair before it.
struct decode_reading {
  bool strict = false;  // ASCII whitespace is a fault, not passed over
  std::string ignore;   // characters passed over besides
  std::string prefix;   // passed over right before a pair: "0x", "\\x"
};
void decode(input_list& in, const output& out, const decode_reading& reading);

// The bytes of a C array as encode_c_array and xxd -i write it. Throws failure
// "NAME: line N: column C: REASON" at the first token that does not belong, after writing every
// byte before it.
void decode_c_array(input_list& in, const output& out);

// The bytes the dump text of the inputs holds, rows laid out as `layout` says: a row past the
// end so far is preceded by zeros, a row before it is a fault. Throws failure
// "NAME: line N: column C: REASON" for the first bad line, after writing every row before it.
void undump(input_list& in, const output& out, const mivo::dump_layout& layout);

// Reads the dump text of the inputs into `reader`. Throws failure
// "NAME: line N: column C: REASON" for the first bad line, named in the input that holds it.
void read_dump(input_list& in, mivo::dump_reader& reader);

}  // namespace mivo_cli

#endif  // MIVO_CLI_COMMANDS_HPP
