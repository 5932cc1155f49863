// Every kernel this CPU runs must agree with the scalar one, byte for byte and on the index of
// the first bad pair, at and around every block boundary.
#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "helpers.hpp"
#include "kernels/kernels.hpp"

namespace {

using mivo::detail::kernel;

class KernelTest : public ::testing::TestWithParam<const kernel*> {};

std::string encode_with(const kernel& k, const std::string& bytes, bool upper = false) {
  std::string out(2 * bytes.size(), '\0');
  (upper ? k.encode_upper : k.encode)(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                      bytes.size(), out.data());
  return out;
}

constexpr std::uint8_t untouched = 0xa5;

std::size_t decode_with(const kernel& k, const std::string& digits,
                        std::vector<std::uint8_t>& out) {
  out.assign(digits.size() / 2, untouched);
  return k.decode(digits.data(), digits.size() / 2, out.data());
}

TEST_P(KernelTest, EncodesLikeScalar) {
  for (std::size_t n = 0; n <= 200; ++n) {
    const std::string bytes = mivo_test::pattern(n);
    ASSERT_EQ(encode_with(*GetParam(), bytes), encode_with(mivo::detail::scalar_kernel, bytes))
        << n;
  }
  const std::string all = mivo_test::all_bytes();
  EXPECT_EQ(encode_with(*GetParam(), all), encode_with(mivo::detail::scalar_kernel, all));
}

TEST_P(KernelTest, EncodesUppercaseAsLowercaseUppercased) {
  for (std::size_t n = 0; n <= 300; n += n < 70 ? 1 : 37) {
    const std::string bytes = n == 300 ? mivo_test::all_bytes() : mivo_test::pattern(n);
    std::string want = encode_with(*GetParam(), bytes);
    for (char& c : want) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    ASSERT_EQ(encode_with(*GetParam(), bytes, true), want) << n;
  }
}

TEST_P(KernelTest, DecodesValidTextLikeScalar) {
  for (std::size_t pairs = 0; pairs <= 200; ++pairs) {
    std::string digits = encode_with(mivo::detail::scalar_kernel, mivo_test::pattern(pairs));
    for (std::size_t i = 0; i < digits.size(); i += 3) {
      digits[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(digits[i])));
    }
    std::vector<std::uint8_t> got;
    std::vector<std::uint8_t> want;
    ASSERT_EQ(decode_with(*GetParam(), digits, got), pairs);
    ASSERT_EQ(decode_with(mivo::detail::scalar_kernel, digits, want), pairs);
    ASSERT_EQ(got, want) << pairs;
  }
}

TEST_P(KernelTest, FindsTheFirstBadPairAtEveryPosition) {
  // Bytes just outside each digit range, and a high byte.
  const char bad[] = {'/', ':', '@', 'G', '`', 'g', ' ', '\0', '\xb0', '\xc1'};
  for (std::size_t pairs : {15U, 16U, 17U, 31U, 32U, 33U, 63U, 64U, 65U, 100U}) {
    const std::string good = encode_with(mivo::detail::scalar_kernel, mivo_test::pattern(pairs));
    for (std::size_t pos = 0; pos < good.size(); ++pos) {
      std::string digits = good;
      digits[pos] = bad[pos % sizeof bad];
      std::vector<std::uint8_t> got;
      std::vector<std::uint8_t> want;
      ASSERT_EQ(decode_with(*GetParam(), digits, got), pos / 2) << pairs << " " << pos;
      decode_with(mivo::detail::scalar_kernel, digits, want);
      ASSERT_EQ(got, want) << "stored up to the bad pair, nothing from it on";
      for (std::size_t k = pos / 2; k < got.size(); ++k) ASSERT_EQ(got[k], untouched) << k;
    }
  }
}

// Every byte value, in either place of a pair, inside a full SIMD block.
TEST_P(KernelTest, JudgesEveryByteValueLikeScalar) {
  const std::string good = encode_with(mivo::detail::scalar_kernel, mivo_test::pattern(64));
  for (int c = 0; c < 256; ++c) {
    for (const std::size_t pos : {0U, 1U, 62U, 63U, 101U}) {
      std::string digits = good;
      digits[pos] = static_cast<char>(c);
      std::vector<std::uint8_t> got;
      std::vector<std::uint8_t> want;
      ASSERT_EQ(decode_with(*GetParam(), digits, got),
                decode_with(mivo::detail::scalar_kernel, digits, want))
          << c << " at " << pos;
      ASSERT_EQ(got, want) << c << " at " << pos;
    }
  }
}

TEST_P(KernelTest, BinaryDigitsBothWaysAndEveryStrayCharacter) {
  const kernel& k = *GetParam();
  std::string bytes(300, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 37 + 11);
  for (const std::size_t n : {0, 1, 3, 4, 7, 8, 63, 64, 65, 130, 300}) {
    std::string bits(8 * n + 8, '#');
    k.encode_bits(reinterpret_cast<const std::uint8_t*>(bytes.data()), n, bits.data());
    for (std::size_t i = 0; i < n; ++i) {
      std::string want;
      for (int b = 7; b >= 0; --b)
        want += (static_cast<unsigned char>(bytes[i]) >> b & 1U) ? '1' : '0';
      ASSERT_EQ(bits.substr(8 * i, 8), want) << "byte " << i << " of " << n;
    }
    EXPECT_EQ(bits.substr(8 * n), "########") << "nothing past 8n";
    std::vector<std::uint8_t> back(n);
    ASSERT_TRUE(k.decode_bits(bits.data(), n, back.data()));
    EXPECT_EQ(std::string(back.begin(), back.end()), bytes.substr(0, n));
    // Any character but '0' and '1', anywhere, is refused.
    for (std::size_t at = 0; at < 8 * n; at += 13) {
      for (const char stray : {'2', '/', ' ', '\xb1', 'p'}) {
        std::string bad = bits;
        bad[at] = stray;
        EXPECT_FALSE(k.decode_bits(bad.data(), n, back.data())) << at << " of " << n;
      }
    }
  }
}

// A plan's layout, character by character, as the plan's own terms say.
std::string placed_by_hand(const std::vector<int>& source, const std::vector<char>& fill,
                           const std::string& in) {
  std::string out;
  for (std::size_t p = 0; p < source.size(); ++p) out += source[p] < 0 ? fill[p] : in[source[p]];
  return out;
}

TEST_P(KernelTest, PlacesByAnyPlanWithinItsWindow) {
  const kernel& k = *GetParam();
  std::string in(600, '\0');
  for (std::size_t i = 0; i < in.size(); ++i) in[i] = static_cast<char>('A' + i % 50);
  std::mt19937 rng(27);
  for (int round = 0; round < 200; ++round) {
    // Runs of sources in order or reversed (little-endian groups), with fill between.
    std::vector<int> source;
    std::vector<char> fill;
    int next = 0;
    while (source.size() < 10 + static_cast<std::size_t>(round)) {
      const int run = 1 + static_cast<int>(rng() % 20);
      const bool reversed = rng() % 2 == 0;
      for (int j = 0; j < run; ++j) source.push_back(reversed ? next + run - 1 - j : next + j);
      next += run;
      fill.resize(source.size(), '?');
      for (unsigned gap = rng() % 3; gap > 0; --gap) {
        source.push_back(-1);
        fill.push_back(gap == 1 ? ' ' : '|');
      }
    }
    const mivo::detail::place_plan plan =
        mivo::detail::make_place_plan(source, fill, k.place_width);
    std::string out(source.size() + k.place_width, '\0');
    k.place(plan, in.data(), out.data());
    ASSERT_EQ(out.substr(0, source.size()), placed_by_hand(source, fill, in)) << "round " << round;
    // The same over rows, in and out at their strides.
    std::string many(3 * source.size() + k.place_width, '\0');
    k.place_many(plan, in.data(), 100, many.data(), source.size(), 3);
    for (std::size_t r = 0; r < 3; ++r) {
      ASSERT_EQ(many.substr(r * source.size(), source.size()),
                placed_by_hand(source, fill, in.substr(100 * r)))
          << "round " << round << " row " << r;
    }
  }
}

// A random shape: a label, then runs of fixed characters, printable ones and digits of any
// value, and the line feed. `digits` gets the digit places, counted from the label's end.
mivo::detail::line_shape random_shape(std::mt19937& rng, std::vector<int>& digits,
                                      std::string& kinds) {
  const std::size_t label = rng() % 23;
  const std::size_t size = label + 1 + rng() % 200;
  mivo::detail::line_shape shape(size, label);
  kinds.assign(size, 'l');
  digits.clear();
  for (std::size_t at = label; at + 1 < size;) {
    const std::size_t end = std::min<std::size_t>(at + 1 + rng() % 12, size - 1);
    const char kind = "fpd"[rng() % 3];
    for (std::size_t i = at; i < end; ++i) {
      kinds[i] = kind;
      if (kind == 'f') shape.fix(i, i % 2 == 0 ? ' ' : '|');
      if (kind == 'd') digits.push_back(static_cast<int>(i - label));
    }
    if (kind == 'p') shape.let_printable(at, end);
    at = end;
  }
  shape.fix(size - 1, '\n');
  kinds[size - 1] = 'f';
  return shape;
}

// Whether a line fits, checked place by place.
bool fits_by_hand(const mivo::detail::line_shape& shape, const std::string& kinds, const char* line,
                  const char* label) {
  for (std::size_t i = 0; i < shape.size(); ++i) {
    const auto c = static_cast<unsigned char>(line[i]);
    if ((kinds[i] == 'l' && line[i] != label[i]) ||
        (kinds[i] == 'f' && line[i] != (i + 1 == shape.size() ? '\n'
                                        : i % 2 == 0          ? ' '
                                                              : '|')) ||
        (kinds[i] == 'p' && (c < 0x20 || c > 0x7e))) {
      return false;
    }
  }
  return true;
}

TEST_P(KernelTest, ChecksLinesByTheirShapeAndPlacesTheirDigits) {
  const kernel& k = *GetParam();
  constexpr std::size_t rows = 5;
  constexpr std::size_t stride = mivo::detail::placed_rows::label_stride;
  std::mt19937 rng(31);
  for (int round = 0; round < 150; ++round) {
    std::vector<int> digits;
    std::string kinds;
    const mivo::detail::line_shape shape = random_shape(rng, digits, kinds);
    const std::size_t size = shape.size();
    // Lines that fit, each with its own label.
    std::string text(rows * size + size + 2 * mivo::detail::max_place_width, '\0');
    std::string labels(rows * stride + mivo::detail::max_place_width, '\0');
    for (std::size_t r = 0; r < rows; ++r) {
      for (std::size_t i = 0; i < size; ++i) {
        char& c = text[r * size + i];
        switch (kinds[i]) {
          case 'l':
            c = labels[r * stride + i] = "0123456789abcdef"[rng() % 16];
            break;
          case 'f':
            c = i + 1 == size ? '\n' : i % 2 == 0 ? ' ' : '|';
            break;
          case 'p':
            c = static_cast<char>(0x20 + rng() % 95);
            break;
          default:
            c = static_cast<char>(rng());
        }
      }
    }
    const mivo::detail::place_plan plan =
        mivo::detail::make_place_plan(digits, std::vector<char>(digits.size(), ' '), k.place_width);
    std::string out(rows * digits.size() + mivo::detail::max_place_width, '\0');
    ASSERT_EQ(
        k.read_lines(shape, plan, text.data(), labels.data(), rows, out.data(), digits.size()),
        rows)
        << "round " << round;
    for (std::size_t r = 0; r < rows; ++r) {
      ASSERT_EQ(out.substr(r * digits.size(), digits.size()),
                placed_by_hand(digits, {}, text.substr(r * size + shape.label_size())));
    }
    // Any one change stops the run at the first line that no longer fits.
    for (int edit = 0; edit < 20; ++edit) {
      std::string changed = text;
      changed[rng() % (rows * size)] = "\n\x1b |0a~\x7f\x80\x1f"[rng() % 10];
      std::size_t fit = 0;
      while (fit < rows && fits_by_hand(shape, kinds, changed.data() + fit * size,
                                        labels.data() + fit * stride)) {
        ++fit;
      }
      ASSERT_EQ(
          k.read_lines(shape, plan, changed.data(), labels.data(), rows, out.data(), digits.size()),
          fit)
          << "round " << round;
    }
  }
}

TEST_P(KernelTest, DumpCharsLikeScalar) {
  const std::string all = mivo_test::all_bytes() + mivo_test::pattern(100);
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(all.data());
  for (std::size_t n = 0; n <= all.size(); n += (n < 70 ? 1 : 37)) {
    std::string got(n, '\0');
    std::string want(n, '\0');
    GetParam()->dump_chars(bytes, n, got.data());
    mivo::detail::scalar_kernel.dump_chars(bytes, n, want.data());
    ASSERT_EQ(got, want) << n;
  }
}

std::string dump_rows_with(const kernel& k, const std::string& digits, const std::string* chars,
                           mivo::detail::label_digits* number) {
  const std::size_t rows = digits.size() / 32;
  std::string out(rows * 80 + mivo::detail::row_slack, '\0');
  const char* end = k.dump_rows(digits.data(), chars != nullptr ? chars->data() : nullptr, rows,
                                number, out.data());
  out.resize(static_cast<std::size_t>(end - out.data()));
  return out;
}

TEST_P(KernelTest, EncodesLinesLikeScalarWithinTheirLength) {
  for (std::size_t line_bytes = 1; line_bytes <= 70; ++line_bytes) {
    const std::size_t lines = 5000 / line_bytes;  // past the portable path's 4 KiB chunks
    const std::string bytes = mivo_test::pattern(lines * line_bytes);
    const auto* in = reinterpret_cast<const std::uint8_t*>(bytes.data());
    const std::size_t size = lines * (2 * line_bytes + 1);
    std::string want(size, '\0');
    mivo::detail::scalar_kernel.encode_lines(in, lines, line_bytes, want.data());
    std::string got(size + 64, '#');
    GetParam()->encode_lines(in, lines, line_bytes, got.data());
    ASSERT_EQ(got.substr(size), std::string(64, '#')) << line_bytes << ": written past the end";
    ASSERT_EQ(got.substr(0, size), want) << line_bytes;
  }
}

TEST_P(KernelTest, DumpRowsLikeScalar) {
  for (std::size_t rows = 0; rows <= 9; ++rows) {
    const std::string bytes = mivo_test::pattern(16 * rows);
    const std::string digits = encode_with(mivo::detail::scalar_kernel, bytes);
    const std::string chars = mivo_test::pattern(16 * rows);
    for (const bool with_chars : {false, true}) {
      // Numbers from 0, and across the step from 8 to 9 digits.
      for (const char* start : {"00000000", "99999996"}) {
        mivo::detail::label_digits got_number;
        std::memcpy(&got_number.low, start, 8);
        mivo::detail::label_digits want_number = got_number;
        const std::string* c = with_chars ? &chars : nullptr;
        ASSERT_EQ(dump_rows_with(*GetParam(), digits, c, &got_number),
                  dump_rows_with(mivo::detail::scalar_kernel, digits, c, &want_number))
            << rows << " " << with_chars << " " << start;
        ASSERT_EQ(got_number.high_width, want_number.high_width);
        ASSERT_EQ(dump_rows_with(*GetParam(), digits, c, nullptr),
                  dump_rows_with(mivo::detail::scalar_kernel, digits, c, nullptr));
      }
    }
  }
}

std::string dump_color_rows_with(const kernel& k, const std::string& bytes, bool with_chars,
                                 mivo::detail::label_digits* number) {
  const std::size_t rows = bytes.size() / 16;
  const std::string digits = encode_with(mivo::detail::scalar_kernel, bytes);
  std::string chars(bytes.size(), '\0');
  const auto* in = reinterpret_cast<const std::uint8_t*>(bytes.data());
  k.dump_chars(in, bytes.size(), chars.data());
  std::string out(rows * 300 + mivo::detail::row_slack, '\0');
  const char* end = k.dump_color_rows(digits.data(), in, with_chars ? chars.data() : nullptr, rows,
                                      number, out.data());
  out.resize(static_cast<std::size_t>(end - out.data()));
  return out;
}

TEST_P(KernelTest, DumpColorRowsLikeScalar) {
  // Bytes of every class, in runs of every length from 1 to 4, so each lane of a row both
  // starts a class and continues one.
  const std::string classes{'\0', 'A', '\n', '\x01', '\xc8', ' ', '\x7f', '\xff'};
  std::string bytes;
  for (std::size_t i = 0; bytes.size() < 16 * 40; ++i) {
    bytes.append(i % 4 + 1, classes[(i * 5 + i / 8) % classes.size()]);
  }
  bytes += mivo_test::all_bytes();
  bytes.resize(bytes.size() / 16 * 16);
  for (const bool with_chars : {false, true}) {
    mivo::detail::label_digits got_number;
    mivo::detail::label_digits want_number;
    ASSERT_EQ(dump_color_rows_with(*GetParam(), bytes, with_chars, &got_number),
              dump_color_rows_with(mivo::detail::scalar_kernel, bytes, with_chars, &want_number))
        << with_chars;
    ASSERT_EQ(dump_color_rows_with(*GetParam(), bytes, with_chars, nullptr),
              dump_color_rows_with(mivo::detail::scalar_kernel, bytes, with_chars, nullptr));
  }
}

// Encodes with the skip list into a buffer exactly as long as the result, between guard bytes.
std::string encode_kept_with(const kernel& k, const std::string& bytes,
                             const mivo::detail::skip_tables& skip) {
  const auto* in = reinterpret_cast<const std::uint8_t*>(bytes.data());
  const std::size_t kept = k.count_kept(in, bytes.size(), skip);
  std::string out(2 * kept + 2, '#');
  char* end = k.encode_kept(in, bytes.size(), skip, out.data() + 1, out.data() + 1 + 2 * kept);
  EXPECT_EQ(end, out.data() + 1 + 2 * kept);
  EXPECT_EQ(out.front(), '#');
  EXPECT_EQ(out.back(), '#') << "written past the end";
  // keep_bytes keeps the same bytes.
  std::string moved(bytes.size() + mivo::detail::keep_slack, '#');
  const char* moved_end = k.keep_bytes(bytes.data(), bytes.size(), skip, moved.data());
  EXPECT_EQ(mivo::of_string(std::string_view(moved.data(), moved_end)).text,
            out.substr(1, 2 * kept))
      << "keep_bytes";
  return out.substr(1, 2 * kept);
}

std::vector<mivo::skip_list> skip_lists() {
  std::vector<std::uint8_t> every(256);
  for (int b = 0; b < 256; ++b) every[static_cast<std::size_t>(b)] = static_cast<std::uint8_t>(b);
  std::vector<std::uint8_t> many;  // one value from every 16-value row, both halves
  for (int b = 3; b < 256; b += 17) many.push_back(static_cast<std::uint8_t>(b));
  return {mivo::skip_list{},     mivo::skip_list{' '},        mivo::skip_list{'\n', ' ', '\n'},
          mivo::skip_list{0x80}, mivo::skip_list{0x00, 0xff}, mivo::skip_list(many),
          mivo::skip_list(every)};
}

TEST_P(KernelTest, SkipsLikeScalarAtEveryLengthAndPosition) {
  for (const mivo::skip_list& list : skip_lists()) {
    const mivo::detail::skip_tables skip = mivo::detail::make_skip_tables(list);
    for (std::size_t n = 0; n <= 100; ++n) {
      const std::string bytes = mivo_test::pattern(n);
      ASSERT_EQ(encode_kept_with(*GetParam(), bytes, skip),
                encode_kept_with(mivo::detail::scalar_kernel, bytes, skip))
          << n << " values " << list.size();
    }
    const std::string all = mivo_test::all_bytes() + mivo_test::all_bytes();
    ASSERT_EQ(encode_kept_with(*GetParam(), all, skip),
              encode_kept_with(mivo::detail::scalar_kernel, all, skip))
        << "every byte value, values " << list.size();
    // A listed byte at every position of a run that spans several blocks.
    const std::string plain(96, 'x');
    for (std::size_t pos = 0; pos < plain.size(); ++pos) {
      std::string bytes = plain;
      bytes[pos] = ' ';
      bytes[(pos * 7) % plain.size()] = '\n';
      ASSERT_EQ(encode_kept_with(*GetParam(), bytes, skip),
                encode_kept_with(mivo::detail::scalar_kernel, bytes, skip))
          << pos << " values " << list.size();
    }
  }
  const std::string all = mivo_test::all_bytes();
  for (int b = 0; b < 256; ++b) {  // each single value finds exactly itself
    const auto tables = mivo::detail::make_skip_tables({static_cast<std::uint8_t>(b)});
    ASSERT_EQ(encode_kept_with(*GetParam(), all, tables).size(), 510U) << b;
  }
}

// What read_rows made of a text: the rows, their digits and where each ended.
struct rows_read {
  std::size_t count;
  std::string digits;
  std::vector<std::size_t> ends;
  friend bool operator==(const rows_read&, const rows_read&) = default;
};

rows_read read_rows_with(const kernel& k, const std::string& text, bool labelled, bool hex) {
  std::vector<char> digits(64 * 32 + mivo::detail::read_slack);
  std::vector<const char*> ends(64);
  mivo::detail::label_digits number(0, hex);
  const std::size_t count =
      k.read_rows(text.data(), text.data() + text.size(), labelled ? &number : nullptr, 64,
                  digits.data(), ends.data());
  rows_read r{count, std::string(digits.data(), 32 * count), {}};
  for (std::size_t i = 0; i < count; ++i) r.ends.push_back(ends[i] - text.data());
  return r;
}

// Units of two digits and a separator ("de:ad:be:"), both ways, and a fault at every place:
// a bad digit in either place of a pair, or another character where a separator stands.
TEST_P(KernelTest, SeparatedUnitsLikeScalar) {
  const kernel& k = *GetParam();
  const kernel& scalar = mivo::detail::scalar_kernel;
  for (const bool upper : {false, true}) {
    for (std::size_t n = 0; n <= 70; ++n) {
      const std::string bytes = mivo_test::pattern(n) + mivo_test::all_bytes();
      const auto* in = reinterpret_cast<const std::uint8_t*>(bytes.data());
      std::string mine(3 * bytes.size(), '\0');
      std::string theirs(3 * bytes.size(), '\0');
      k.encode_separated(in, bytes.size(), ':', upper, mine.data());
      scalar.encode_separated(in, bytes.size(), ':', upper, theirs.data());
      ASSERT_EQ(mine, theirs) << n;
      std::vector<std::uint8_t> back(bytes.size());
      ASSERT_EQ(k.decode_separated(mine.data(), bytes.size(), ':', back.data()), bytes.size());
      ASSERT_TRUE(std::equal(back.begin(), back.end(), in)) << n;
    }
  }
  const std::string bytes = mivo_test::pattern(100);
  std::string text(300, '\0');
  scalar.encode_separated(reinterpret_cast<const std::uint8_t*>(bytes.data()), 100, '-', false,
                          text.data());
  std::vector<std::uint8_t> out(100);
  for (std::size_t at = 0; at < text.size(); ++at) {
    for (const char bad : {'g', ':', '\0'}) {
      std::string broken = text;
      if (broken[at] == bad) continue;
      broken[at] = bad;
      const std::size_t want = scalar.decode_separated(broken.data(), 100, '-', out.data());
      ASSERT_EQ(want, at / 3 + (at % 3 == 2 && bad == '-' ? 1 : 0));
      ASSERT_EQ(k.decode_separated(broken.data(), 100, '-', out.data()), want) << at << bad;
    }
  }
}

TEST_P(KernelTest, ReadsRowsBackLikeScalar) {
  const std::string bytes = mivo_test::pattern(16 * 20 + 5);
  for (const auto label :
       {mivo::row_label::row_number, mivo::row_label::byte_offset, mivo::row_label::none}) {
    for (const bool chars : {true, false}) {
      const mivo::dump_options layout{.char_column = chars, .label = label};
      const std::string text = mivo::hexdump_s(layout, mivo::of_string(bytes));
      const bool labelled = label != mivo::row_label::none;
      const bool hex = label == mivo::row_label::byte_offset;
      const rows_read whole = read_rows_with(*GetParam(), text, labelled, hex);
      ASSERT_EQ(whole, read_rows_with(mivo::detail::scalar_kernel, text, labelled, hex));
      ASSERT_EQ(whole.count, 20U);  // the partial last row is not a full one
      // Any one character changed stops both at the same row.
      for (std::size_t at = 0; at < text.size(); at += 7) {
        for (const char c : {' ', '\n', 'x', '0'}) {
          std::string edited = text;
          edited[at] = c;
          ASSERT_EQ(read_rows_with(*GetParam(), edited, labelled, hex),
                    read_rows_with(mivo::detail::scalar_kernel, edited, labelled, hex))
              << at << " " << c;
        }
      }
    }
  }
}

std::string kernel_name(const ::testing::TestParamInfo<const kernel*>& info) {
  return info.param->name;
}

INSTANTIATE_TEST_SUITE_P(Supported, KernelTest,
                         ::testing::ValuesIn(mivo::detail::supported_kernels().begin(),
                                             mivo::detail::supported_kernels().end()),
                         kernel_name);

}  // namespace
