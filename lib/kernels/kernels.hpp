// The per-CPU bulk loops behind the codec. Every kernel gives byte-for-byte the results of the
// portable scalar one; dispatch picks the best the CPU and OS support, once per process.
#ifndef MIVO_KERNELS_KERNELS_HPP
#define MIVO_KERNELS_KERNELS_HPP

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

#include <mivo.hpp>
#include "cpu.hpp"
#include "dump_layout.hpp"
#include "label_digits.hpp"
#include "line_check.hpp"
#include "placement.hpp"

namespace mivo::detail {

// A skip list in the forms the kernels test bytes with: a flag per byte value; for the SIMD
// kernels the values themselves while there are few (padded with repeats of the first), and two
// 16-entry nibble tables for any number: bit h of low_rows[l] is set when the value h*16 + l is
// listed (h < 8), bit h - 8 of high_rows[l] when it is (h >= 8).
struct skip_tables {
  static constexpr std::size_t few = 4;
  std::array<bool, 256> listed{};
  std::size_t distinct = 0;
  std::array<std::uint8_t, few> values{};
  std::array<std::uint8_t, 16> low_rows{};
  std::array<std::uint8_t, 16> high_rows{};
};

constexpr skip_tables make_skip_tables(const skip_list& skip) noexcept {
  skip_tables t;
  skip.for_each([&](std::uint8_t v) {
    t.listed[v] = true;
    if (t.distinct < t.few) t.values[t.distinct] = v;
    ++t.distinct;
    const unsigned high = v >> 4U;
    if (high < 8) {
      t.low_rows[v & 15U] = static_cast<std::uint8_t>(t.low_rows[v & 15U] | (1U << high));
    } else {
      t.high_rows[v & 15U] = static_cast<std::uint8_t>(t.high_rows[v & 15U] | (1U << (high - 8)));
    }
  });
  for (std::size_t k = t.distinct; k < t.few && t.distinct > 0; ++k) t.values[k] = t.values[0];
  return t;
}

// Byte-shuffle indices for compacting 8 bytes: entry m moves the bytes at the set bits of m to
// the front, in order; the rest get 0x80, which both PSHUFB and TBL turn into 0.
inline constexpr std::array<std::uint64_t, 256> compaction_indices = [] {
  std::array<std::uint64_t, 256> table{};
  for (unsigned m = 0; m < 256; ++m) {
    std::uint64_t entry = 0x8080808080808080U;
    unsigned to = 0;
    for (unsigned from = 0; from < 8; ++from) {
      if ((m >> from & 1U) == 0) continue;
      entry &= ~(std::uint64_t{0xff} << (8 * to));
      entry |= std::uint64_t{from} << (8 * to);
      ++to;
    }
    table[m] = entry;
  }
  return table;
}();

// encode_lines for kernels without one of their own: whole lines are encoded a few KiB at a
// time onto the stack, one call of `Encode` per chunk rather than per line, and copied out.
template <void (*Encode)(const std::uint8_t*, std::size_t, char*) noexcept>
void encode_lines_in_chunks(const std::uint8_t* in, std::size_t lines, std::size_t line_bytes,
                            char* out) noexcept {
  constexpr std::size_t chunk_bytes = 4096;
  constexpr std::size_t piece = 32;
  const std::size_t width = 2 * line_bytes;
  if (line_bytes > chunk_bytes) {
    for (; lines > 0; --lines, in += line_bytes, out += width + 1) {
      Encode(in, line_bytes, out);
      out[width] = '\n';
    }
    return;
  }
  std::array<char, 2 * chunk_bytes> digits;
  const std::size_t lines_per_chunk = chunk_bytes / line_bytes;
  while (lines > 0) {
    const std::size_t n = lines < lines_per_chunk ? lines : lines_per_chunk;
    Encode(in, n * line_bytes, digits.data());
    for (const char* from = digits.data(); from != digits.data() + n * width; from += width) {
      if (width < piece) {
        std::memcpy(out, from, width);
      } else {
        // Whole pieces, the last ending where the line does.
        for (std::size_t at = 0; at + piece < width; at += piece) {
          std::memcpy(out + at, from + at, piece);
        }
        std::memcpy(out + width - piece, from + width - piece, piece);
      }
      out[width] = '\n';
      out += width + 1;
    }
    in += n * line_bytes;
    lines -= n;
  }
}

struct kernel {
  const char* name;
  cpu_features needs;  // what the CPU must offer to run it
  // Writes the 2n lowercase digits of in[0..n) to out; encode_upper writes A-F instead.
  void (*encode)(const std::uint8_t* in, std::size_t n, char* out) noexcept;
  void (*encode_upper)(const std::uint8_t* in, std::size_t n, char* out) noexcept;
  // Decodes the digit pairs in[2k], in[2k+1] for k < pairs into out[k]. Returns the index of
  // the first pair holding a non-digit, or `pairs` when all are valid; out[k] from the returned
  // index on is left untouched.
  std::size_t (*decode)(const char* in, std::size_t pairs, std::uint8_t* out) noexcept;
  // Writes the dump's character for each of in[0..n) to out: the byte itself from space to
  // tilde, else '.'.
  void (*dump_chars)(const std::uint8_t* in, std::size_t n, char* out) noexcept;
  // Writes `rows` full dump rows to out: each is the row number and ": " when `number` is not
  // null (advancing it), the 32 digits of digits[32r..] in groups of 4 with single spaces,
  // two spaces and chars[16r..16r+16) when `chars` is not null, and "\n". Returns the end of
  // the rows; may write up to row_slack bytes past it.
  char* (*dump_rows)(const char* digits, const char* chars, std::size_t rows, label_digits* number,
                     char* out) noexcept;
  // As dump_rows, in color: each pair and its character wrapped by the class of its byte in
  // bytes[16r..16r+16), as color::put_row writes a full row.
  char* (*dump_color_rows)(const char* digits, const std::uint8_t* bytes, const char* chars,
                           std::size_t rows, label_digits* number, char* out) noexcept;
  // How many bytes of in[0..n) the skip list keeps.
  std::size_t (*count_kept)(const std::uint8_t* in, std::size_t n,
                            const skip_tables& skip) noexcept;
  // Writes the digits of the kept bytes of in[0..n) to out, never past out_end, which leaves
  // room for all of them; returns the end of the digits.
  char* (*encode_kept)(const std::uint8_t* in, std::size_t n, const skip_tables& skip, char* out,
                       char* out_end) noexcept;
  // Writes `lines` lines, each the digits of the next line_bytes bytes of `in` and "\n":
  // lines * (2 * line_bytes + 1) characters, nothing past them.
  void (*encode_lines)(const std::uint8_t* in, std::size_t lines, std::size_t line_bytes,
                       char* out) noexcept;
  // encode and decode for secrets, in time that depends on the length alone: no branch and no
  // memory index depends on a byte's value, tails included. decode_secret stores all of
  // out[0..pairs), whatever the text, and returns whether every character was a digit.
  void (*encode_secret)(const std::uint8_t* in, std::size_t n, char* out) noexcept;
  bool (*decode_secret)(const char* in, std::size_t pairs, std::uint8_t* out) noexcept;
  // Reads back full rows laid out exactly as dump_rows writes them (bare or with characters,
  // row by row), labelled as `number` says (advancing it) or unlabelled when it is null, from
  // text on: copies each row's 32 digits, unjudged, to digits[32r..] and where the row ends to
  // row_ends[r]. Stops at max_rows, at the first other line, or where a row could not be read
  // whole before `end`; returns the rows read. May write read_slack bytes past the digits.
  std::size_t (*read_rows)(const char* text, const char* end, label_digits* number,
                           std::size_t max_rows, char* digits, const char** row_ends) noexcept;
  // Copies the bytes of in[0..n) the skip list does not hold to out, in order; returns the end
  // of them. May write up to keep_slack bytes past it.
  char* (*keep_bytes)(const char* in, std::size_t n, const skip_tables& skip, char* out) noexcept;
  // Text in units of three characters, two digits and `separator` ("de:ad:be:"): decodes the
  // pairs of the first `units` units into out[0..units) and returns how many units lead that
  // hold two digits and the separator; out from there on is unspecified.
  std::size_t (*decode_separated)(const char* in, std::size_t units, char separator,
                                  std::uint8_t* out) noexcept;
  // Writes n units: the two digits of in[k] (A-F with `upper`) and `separator`, 3n characters.
  void (*encode_separated)(const std::uint8_t* in, std::size_t n, char separator, bool upper,
                           char* out) noexcept;
  // Writes the 8n binary digits of in[0..n) to out, most significant bit first.
  void (*encode_bits)(const std::uint8_t* in, std::size_t n, char* out) noexcept;
  // Reads n bytes from their 8n binary digits, most significant first, into out[0..n);
  // returns whether every character was '0' or '1' (out is then unspecified).
  bool (*decode_bits)(const char* in, std::size_t n, std::uint8_t* out) noexcept;
  // The lanes of one placement step: plans for this kernel are made with this width.
  std::size_t place_width;
  // Runs the plan's steps in order, reading in[step.from..] and writing out[step.to..]: lays
  // out plan.size characters, may write place_width past them and read place_width past the
  // last byte the plan takes.
  void (*place)(const place_plan& plan, const char* in, char* out) noexcept;
  // Writes p.rows full rows from their parts, placing each row's digits by `plan`; returns
  // their end. May write max_place_width + 32 bytes past it.
  char* (*place_rows)(const place_plan& plan, const placed_rows& p, char* out) noexcept;
  // Runs the plan over `rows` rows, row r reading in + r * in_stride and writing
  // out + r * out_stride, in order; as `place` for each.
  void (*place_many)(const place_plan& plan, const char* in, std::size_t in_stride, char* out,
                     std::size_t out_stride, std::size_t rows) noexcept;
  // Of `rows` lines, shape.size apart from `in`, how many lead that hold the shape's
  // characters and their labels, row r's the first shape.label_size characters of
  // labels[label_stride * r..]; the digit part of each such line, which starts after its
  // label, is placed by `plan` at out + r * out_stride. Reads up to shape.reach() past each
  // line's start (and as far as the plan reads past its digits), and max_place_width past
  // the last label's start.
  std::size_t (*read_lines)(const line_shape& shape, const place_plan& plan, const char* in,
                            const char* labels, std::size_t rows, char* out,
                            std::size_t out_stride) noexcept;
};

// The portable forms of decode_separated and encode_separated, for kernels without their own
// and for their tails.
std::size_t decode_separated_scalar(const char* in, std::size_t units, char separator,
                                    std::uint8_t* out) noexcept;
void encode_separated_scalar(const std::uint8_t* in, std::size_t n, char separator, bool upper,
                             char* out) noexcept;
// The portable encode_bits and decode_bits, for kernels without their own and for their tails.
void encode_bits_scalar(const std::uint8_t* in, std::size_t n, char* out) noexcept;
bool decode_bits_scalar(const char* in, std::size_t n, std::uint8_t* out) noexcept;
#if defined(MIVO_X86_KERNELS)
// The AVX2 form, which the AVX-512 kernel shares.
std::size_t decode_separated_avx2(const char* in, std::size_t units, char separator,
                                  std::uint8_t* out) noexcept;
#endif

inline constexpr std::size_t keep_slack = 32;
inline constexpr std::size_t read_slack = 16;

inline constexpr std::size_t row_slack = 32;

extern const kernel scalar_kernel;
#if defined(MIVO_X86_KERNELS)
extern const kernel ssse3_kernel;
extern const kernel avx2_kernel;
extern const kernel avx512_kernel;
#endif
#if defined(MIVO_NEON_KERNEL)
extern const kernel neon_kernel;
#endif

// The kernels this machine can run, scalar first and best last.
std::span<const kernel* const> supported_kernels() noexcept;

struct kernel_choice {
  const kernel* chosen;
  kernel_request request;  // how MIVO_KERNEL was taken
};

// The kernel every operation uses: the best supported one, unless the environment variable
// MIVO_KERNEL names another supported one (e.g. MIVO_KERNEL=scalar). Chosen on first use.
const kernel_choice& kernel_chosen() noexcept;
inline const kernel& active_kernel() noexcept { return *kernel_chosen().chosen; }

}  // namespace mivo::detail

#endif  // MIVO_KERNELS_KERNELS_HPP
