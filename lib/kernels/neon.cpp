// aarch64 NEON kernel: 16 bytes per encode step, 32 digits per decode step. NEON is part of the
// aarch64 baseline, so this file needs no flags of its own and is always supported there.
#include <arm_neon.h>

#include <array>
#include <bit>
#include <cstring>

#include "kernels.hpp"

namespace mivo::detail {
namespace {

// The sixteen digits, a-f or with `upper` A-F.
template <bool upper = false>
uint8x16_t digit_lut() {
  constexpr std::uint8_t a = upper ? 'A' : 'a';
  constexpr std::array<std::uint8_t, 16> digits = {
      '0', '1', '2', '3', '4', '5', '6', '7', '8', '9', a, a + 1, a + 2, a + 3, a + 4, a + 5};
  return vld1q_u8(digits.data());
}

// The 32 digits of 16 bytes, interleaved high, low.
template <bool upper = false>
uint8x16x2_t digits16(uint8x16_t bytes) {
  const uint8x16_t lut = digit_lut<upper>();
  return {
      {vqtbl1q_u8(lut, vshrq_n_u8(bytes, 4)), vqtbl1q_u8(lut, vandq_u8(bytes, vdupq_n_u8(15)))}};
}

template <bool upper = false>
void encode16(const std::uint8_t* in, char* out) {
  vst2q_u8(reinterpret_cast<std::uint8_t*>(out), digits16<upper>(vld1q_u8(in)));
}

template <bool upper, bool secret = false>
void encode_neon(const std::uint8_t* in, std::size_t n, char* out) noexcept {
  std::size_t i = 0;
  for (; i + 16 <= n; i += 16) encode16<upper>(in + i, out + 2 * i);
  const auto tail = secret  ? scalar_kernel.encode_secret
                    : upper ? scalar_kernel.encode_upper
                            : scalar_kernel.encode;
  tail(in + i, n - i, out + 2 * i);
}

// Digit values by nibble lookups, as in the x86 kernels; `valid` is zero where a character is
// not a digit.
uint8x16_t digit_values16(uint8x16_t chars, uint8x16_t& valid) {
  constexpr std::array<std::uint8_t, 16> class_of_high = {0, 0, 0, 1, 2, 0, 2, 0,
                                                          0, 0, 0, 0, 0, 0, 0, 0};
  constexpr std::array<std::uint8_t, 16> class_of_low = {1, 3, 3, 3, 3, 3, 3, 1,
                                                         1, 1, 0, 0, 0, 0, 0, 0};
  constexpr std::array<std::uint8_t, 16> add_of_high = {0, 0, 0, 0, 9, 0, 9, 0,
                                                        0, 0, 0, 0, 0, 0, 0, 0};
  const uint8x16_t high = vshrq_n_u8(chars, 4);
  const uint8x16_t low = vandq_u8(chars, vdupq_n_u8(15));
  valid = vandq_u8(vqtbl1q_u8(vld1q_u8(class_of_high.data()), high),
                   vqtbl1q_u8(vld1q_u8(class_of_low.data()), low));
  return vaddq_u8(low, vqtbl1q_u8(vld1q_u8(add_of_high.data()), high));
}

// The bytes of the 16 pairs of in[0..32), whatever they hold; `valid` is zero in each lane
// whose pair holds a non-digit.
uint8x16_t pack32(const char* in, uint8x16_t& valid) {
  const uint8x16x2_t chars = vld2q_u8(reinterpret_cast<const std::uint8_t*>(in));
  uint8x16_t valid_high;
  uint8x16_t valid_low;
  const uint8x16_t high = digit_values16(chars.val[0], valid_high);
  const uint8x16_t low = digit_values16(chars.val[1], valid_low);
  valid = vminq_u8(valid_high, valid_low);
  return vsliq_n_u8(low, high, 4);
}

bool decode_secret_neon(const char* in, std::size_t pairs, std::uint8_t* out) noexcept {
  uint8x16_t valid = vdupq_n_u8(0xff);
  std::size_t k = 0;
  for (; k + 16 <= pairs; k += 16) {
    uint8x16_t block_valid;
    vst1q_u8(out + k, pack32(in + 2 * k, block_valid));
    valid = vminq_u8(valid, block_valid);
  }
  const bool tail = scalar_kernel.decode_secret(in + 2 * k, pairs - k, out + k);
  return (vminvq_u8(valid) != 0) & tail;
}

std::size_t decode_neon(const char* in, std::size_t pairs, std::uint8_t* out) noexcept {
  std::size_t k = 0;
  for (; k + 16 <= pairs; k += 16) {
    uint8x16_t valid;
    const uint8x16_t bytes = pack32(in + 2 * k, valid);
    if (vminvq_u8(valid) == 0) break;
    vst1q_u8(out + k, bytes);
  }
  if (k == pairs) return pairs;
  // A bad block, or the tail: the scalar loop finds the exact pair.
  return k + scalar_kernel.decode(in + 2 * k, pairs - k, out + k);
}

uint8x16_t dump_chars16(uint8x16_t bytes) {
  const uint8x16_t printable = vcleq_u8(vsubq_u8(bytes, vdupq_n_u8(32)), vdupq_n_u8(126 - 32));
  return vbslq_u8(printable, bytes, vdupq_n_u8('.'));
}

void dump_chars_neon(const std::uint8_t* in, std::size_t n, char* out) noexcept {
  std::size_t i = 0;
  for (; i + 16 <= n; i += 16) {
    vst1q_u8(reinterpret_cast<std::uint8_t*>(out + i), dump_chars16(vld1q_u8(in + i)));
  }
  scalar_kernel.dump_chars(in + i, n - i, out + i);
}

// Full dump rows: three table lookups place the 32 digits in their 39 columns (an index out of
// range gives 0), and the separators fill those lanes.
char* dump_rows_neon(const char* digits, const char* chars, std::size_t rows, label_digits* number,
                     char* out) noexcept {
  constexpr std::uint8_t gap = 0xff;
  constexpr std::array<std::uint8_t, 16> first = {0, 1,   2, 3, gap, 4,  5,   6,
                                                  7, gap, 8, 9, 10,  11, gap, 12};
  constexpr std::array<std::uint8_t, 16> middle = {13,  14, 15, gap, 16, 17,  18, 19,
                                                   gap, 20, 21, 22,  23, gap, 24, 25};
  constexpr std::array<std::uint8_t, 16> last = {26,  27,  gap, 28,  29,  30,  31,  gap,
                                                 gap, gap, gap, gap, gap, gap, gap, gap};
  constexpr std::array<std::uint8_t, 16> first_gaps = {0, 0,   0, 0, ' ', 0, 0,   0,
                                                       0, ' ', 0, 0, 0,   0, ' ', 0};
  constexpr std::array<std::uint8_t, 16> middle_gaps = {0,   0, 0, ' ', 0, 0,   0, 0,
                                                        ' ', 0, 0, 0,   0, ' ', 0, 0};
  constexpr std::array<std::uint8_t, 16> last_gaps_chars = {0,   0, ' ', 0, 0, 0, 0, ' ',
                                                            ' ', 0, 0,   0, 0, 0, 0, 0};
  constexpr std::array<std::uint8_t, 16> last_gaps_bare = {0, 0, ' ', 0, 0, 0, 0, '\n',
                                                           0, 0, 0,   0, 0, 0, 0, 0};
  const uint8x16_t first_index = vld1q_u8(first.data());
  const uint8x16_t middle_index = vld1q_u8(middle.data());
  const uint8x16_t last_index = vld1q_u8(last.data());
  const uint8x16_t first_fill = vld1q_u8(first_gaps.data());
  const uint8x16_t middle_fill = vld1q_u8(middle_gaps.data());
  const uint8x16_t last_fill =
      vld1q_u8(chars != nullptr ? last_gaps_chars.data() : last_gaps_bare.data());
  auto* o = reinterpret_cast<std::uint8_t*>(out);
  using namespace layout;
  static_assert(row_digits == 32 && chars_start == 41, "the tables above place 32 digits in 39");
  for (std::size_t r = 0; r < rows; ++r, digits += row_digits) {
    if (number != nullptr) {
      o = reinterpret_cast<std::uint8_t*>(put_label_digits(*number, reinterpret_cast<char*>(o)));
      advance_label_digits(*number);
    }
    const auto* d = reinterpret_cast<const std::uint8_t*>(digits);
    const uint8x16x2_t row = {{vld1q_u8(d), vld1q_u8(d + 16)}};
    vst1q_u8(o, vorrq_u8(vqtbl2q_u8(row, first_index), first_fill));
    vst1q_u8(o + 16, vorrq_u8(vqtbl2q_u8(row, middle_index), middle_fill));
    vst1q_u8(o + 32, vorrq_u8(vqtbl2q_u8(row, last_index), last_fill));
    if (chars != nullptr) {
      vst1q_u8(o + chars_start,
               vld1q_u8(reinterpret_cast<const std::uint8_t*>(chars + row_bytes * r)));
      o[row_chars - 1] = '\n';
      o += row_chars;
    } else {
      o += bare_row_chars;
    }
  }
  return reinterpret_cast<char*>(o);
}

// 0xff in each lane whose byte the skip list holds: a few values are compared directly, any set
// is looked up by nibbles (the low nibble and the top bit pick a row, the high nibble its bit).
struct skip_tester {
  bool few;
  uint8x16_t v0, v1, v2, v3;
  uint8x16x2_t rows;
  explicit skip_tester(const skip_tables& t)
      : few(t.distinct > 0 && t.distinct <= skip_tables::few),
        v0(vdupq_n_u8(t.values[0])),
        v1(vdupq_n_u8(t.values[1])),
        v2(vdupq_n_u8(t.values[2])),
        v3(vdupq_n_u8(t.values[3])),
        rows{{vld1q_u8(t.low_rows.data()), vld1q_u8(t.high_rows.data())}} {}

  [[nodiscard]] uint8x16_t listed(uint8x16_t b) const {
    if (few) {
      return vorrq_u8(vorrq_u8(vceqq_u8(b, v0), vceqq_u8(b, v1)),
                      vorrq_u8(vceqq_u8(b, v2), vceqq_u8(b, v3)));
    }
    const uint8x16_t index = vorrq_u8(vandq_u8(b, vdupq_n_u8(15)), vshlq_n_u8(vshrq_n_u8(b, 7), 4));
    const uint8x16_t row = vqtbl2q_u8(rows, index);
    const uint8x16_t bit =
        vshlq_u8(vdupq_n_u8(1), vreinterpretq_s8_u8(vandq_u8(vshrq_n_u8(b, 4), vdupq_n_u8(7))));
    return vtstq_u8(row, bit);
  }
};

// One bit a lane, lane j in bit j.
unsigned lane_bits8(uint8x8_t mask) {
  constexpr std::array<std::uint8_t, 8> bits = {1, 2, 4, 8, 16, 32, 64, 128};
  return vaddv_u8(vand_u8(mask, vld1_u8(bits.data())));
}

std::size_t count_kept_neon(const std::uint8_t* in, std::size_t n,
                            const skip_tables& skip) noexcept {
  const skip_tester tester(skip);
  std::size_t kept = 0;
  std::size_t i = 0;
  for (; i + 16 <= n; i += 16) {
    const uint8x16_t listed = tester.listed(vld1q_u8(in + i));
    kept += 16 - vaddvq_u8(vshrq_n_u8(listed, 7));
  }
  return kept + scalar_kernel.count_kept(in + i, n - i, skip);
}

// The digits of the bytes of in[0..8) whose bits are set in keep, stored as 16 bytes at out.
char* encode_kept8(const std::uint8_t* in, unsigned keep, char* out) {
  const uint8x8_t kept = vtbl1_u8(vld1_u8(in), vcreate_u8(compaction_indices[keep]));
  const uint8x16x2_t d = digits16(vcombine_u8(kept, vdup_n_u8(0)));
  vst1q_u8(reinterpret_cast<std::uint8_t*>(out), vzip1q_u8(d.val[0], d.val[1]));
  return out + 2 * std::popcount(keep);
}

char* encode_kept_neon(const std::uint8_t* in, std::size_t n, const skip_tables& skip, char* out,
                       char* out_end) noexcept {
  const skip_tester tester(skip);
  std::size_t i = 0;
  for (; i + 16 <= n && out_end - out >= 32; i += 16) {
    const uint8x16_t listed = tester.listed(vld1q_u8(in + i));
    if (vmaxvq_u8(listed) == 0) {
      encode16(in + i, out);
      out += 32;
      continue;
    }
    out = encode_kept8(in + i, ~lane_bits8(vget_low_u8(listed)) & 0xffU, out);
    out = encode_kept8(in + i + 8, ~lane_bits8(vget_high_u8(listed)) & 0xffU, out);
  }
  return scalar_kernel.encode_kept(in + i, n - i, skip, out, out_end);
}

// Stores the bytes whose bits are set in `keep` at out, as 8 bytes; returns the end of them.
char* keep8(uint8x8_t bytes, unsigned keep, char* out) {
  vst1_u8(reinterpret_cast<std::uint8_t*>(out),
          vtbl1_u8(bytes, vcreate_u8(compaction_indices[keep])));
  return out + std::popcount(keep);
}

char* keep_bytes_neon(const char* in, std::size_t n, const skip_tables& skip, char* out) noexcept {
  const skip_tester tester(skip);
  std::size_t i = 0;
  for (; i + 16 <= n; i += 16) {
    const uint8x16_t bytes = vld1q_u8(reinterpret_cast<const std::uint8_t*>(in + i));
    const uint8x16_t listed = tester.listed(bytes);
    if (vmaxvq_u8(listed) == 0) {
      vst1q_u8(reinterpret_cast<std::uint8_t*>(out), bytes);
      out += 16;
      continue;
    }
    out = keep8(vget_low_u8(bytes), ~lane_bits8(vget_low_u8(listed)) & 0xffU, out);
    out = keep8(vget_high_u8(bytes), ~lane_bits8(vget_high_u8(listed)) & 0xffU, out);
  }
  return scalar_kernel.keep_bytes(in + i, n - i, skip, out);
}

// Color is rendered by the portable loop.
char* dump_color_rows_neon(const char* digits, const std::uint8_t* bytes, const char* chars,
                           std::size_t rows, label_digits* number, char* out) noexcept {
  return scalar_kernel.dump_color_rows(digits, bytes, chars, rows, number, out);
}

// Rows are read back by the portable loop.
std::size_t read_rows_neon(const char* text, const char* end, label_digits* number,
                           std::size_t max_rows, char* digits, const char** row_ends) noexcept {
  return scalar_kernel.read_rows(text, end, number, max_rows, digits, row_ends);
}

// TBL turns the fill lanes' 0x80 into 0, so the fill bytes are simply or-ed in.
struct place_step_neon {
  struct lanes {
    uint8x16_t index;
    uint8x16_t fill;
  };
  static lanes prepare(const std::uint8_t* l) noexcept { return {vld1q_u8(l), vld1q_u8(l + 16)}; }
  static void apply(const lanes& l, const char* in, char* out) noexcept {
    const uint8x16_t from = vld1q_u8(reinterpret_cast<const std::uint8_t*>(in));
    vst1q_u8(reinterpret_cast<std::uint8_t*>(out), vorrq_u8(vqtbl1q_u8(from, l.index), l.fill));
  }
};

// A line's check, 16 characters at a time.
struct line_block_neon {
  static constexpr std::size_t width = 16;
  using vec = uint8x16_t;
  using mask = uint8x16_t;
  static vec load(const void* p) noexcept { return vld1q_u8(static_cast<const std::uint8_t*>(p)); }
  static mask to_mask(const std::uint8_t* bytes) noexcept { return load(bytes); }
  static vec none() noexcept { return vdupq_n_u8(0); }
  static vec with_label(vec low, const char* label, mask m) noexcept {
    return vbslq_u8(m, load(label), low);
  }
  static vec excess(vec v, vec low, vec span) noexcept { return vqsubq_u8(vsubq_u8(v, low), span); }
  static vec merge(vec a, vec b) noexcept { return vorrq_u8(a, b); }
  static bool any(vec a) noexcept { return vmaxvq_u8(a) != 0; }
};

}  // namespace

const kernel neon_kernel = {
    .name = "neon",
    .needs = cpu::neon,
    .encode = encode_neon<false>,
    .encode_upper = encode_neon<true>,
    .decode = decode_neon,
    .dump_chars = dump_chars_neon,
    .dump_rows = dump_rows_neon,
    .dump_color_rows = dump_color_rows_neon,
    .count_kept = count_kept_neon,
    .encode_kept = encode_kept_neon,
    .encode_lines = encode_lines_in_chunks<encode_neon<false>>,
    .encode_secret = encode_neon<false, true>,
    .decode_secret = decode_secret_neon,
    .read_rows = read_rows_neon,
    .keep_bytes = keep_bytes_neon,
    .decode_separated = decode_separated_scalar,
    .encode_separated = encode_separated_scalar,
    .encode_bits = encode_bits_scalar,
    .decode_bits = decode_bits_scalar,
    .place_width = 16,
    .place = placing_by<place_step_neon>::place,
    .place_rows = placing_by<place_step_neon>::rows,
    .place_many = placing_by<place_step_neon>::many,
    .read_lines = read_lines_with<place_step_neon, line_block_neon>,
};

}  // namespace mivo::detail
