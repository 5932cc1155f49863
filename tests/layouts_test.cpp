// The dump's optional layouts: byte-offset labels, squeezed runs, color and uppercase, and the
// writer's zero runs and failing streams.
#include <cstdio>
#include <sstream>
#include <streambuf>
#include <string>

#include "helpers.hpp"
#include "kernels/label_digits.hpp"

namespace {

using mivo::dump_options;
using mivo::hex_text;
using mivo::row_label;

constexpr dump_options offsets{.label = row_label::byte_offset};

hex_text rows_of(std::initializer_list<char> fills) {
  std::string bytes;
  for (const char c : fills) bytes += std::string(16, c);
  return mivo::of_string(bytes);
}

std::string row(const std::string& label, char fill) {
  const std::string digits = mivo::of_string(std::string(1, fill)).text;
  std::string out = label + ": ";
  for (int g = 0; g < 8; ++g) out += digits + digits + (g < 7 ? " " : "");
  return out + "  " + std::string(16, fill >= 32 && fill <= 126 ? fill : '.') + "\n";
}

TEST(RowLabel, CountsLikePrintfAcrossEveryCarry) {
  for (const unsigned long long start : {0ULL, 99999990ULL, 0xfffffff0ULL, 0xfffffffffff5ULL}) {
    for (const bool hex : {false, true}) {
      mivo::detail::label_digits label(start, hex);
      for (unsigned long long row = 0; row < 40000; ++row) {
        char want[40];
        std::snprintf(want, sizeof want,
                      hex ? "%08llx: " : "%.8llu: ", start + (hex ? 16 : 1) * row);
        char got[40];
        char* end = mivo::detail::put_label_digits(label, got);
        ASSERT_EQ(std::string(got, end), want) << start << (hex ? " hex" : " decimal");
        mivo::detail::advance_label_digits(label);
      }
    }
  }
}

TEST(DumpLayouts, ByteOffsetsAreXxdsLabels) {
  const hex_text h = rows_of({'a', 'b', 'c'});
  EXPECT_EQ(mivo::hexdump_s(offsets, h),
            row("00000000", 'a') + row("00000010", 'b') + row("00000020", 'c'));
  dump_options far = offsets;
  far.first_offset = 0xfffffff8U;
  EXPECT_EQ(mivo::hexdump_s(far, h),
            row("fffffff8", 'a') + row("100000008", 'b') + row("100000018", 'c'));
  dump_options unlabelled = offsets;
  unlabelled.row_numbers = false;  // still means no labels at all
  EXPECT_EQ(mivo::hexdump_s(unlabelled, h), mivo::hexdump_s({.row_numbers = false}, h));
}

TEST(DumpLayouts, SqueezeLeavesOneStarPerRunAndShowsTheEnd) {
  dump_options squeeze = offsets;
  squeeze.squeeze = true;
  EXPECT_EQ(mivo::hexdump_s(squeeze, rows_of({'a', 'a', 'a', 'a', 'b'})),
            row("00000000", 'a') + "*\n" + row("00000040", 'b'));
  EXPECT_EQ(mivo::hexdump_s(squeeze, rows_of({'a', 'a'})),
            row("00000000", 'a') + row("00000010", 'a'));  // the last row is always shown
  EXPECT_EQ(mivo::hexdump_s(squeeze, rows_of({'a', 'a', 'a'})),
            row("00000000", 'a') + "*\n" + row("00000020", 'a'));
  EXPECT_EQ(mivo::hexdump_s(squeeze, rows_of({'a', 'b', 'a', 'a', 'a', 'b', 'b'})),
            row("00000000", 'a') + row("00000010", 'b') + row("00000020", 'a') + "*\n" +
                row("00000050", 'b') + row("00000060", 'b'));
  // A partial last row never repeats, and the row before it is squeezed.
  const std::string text = rows_of({'a', 'a'}).text + "61";
  EXPECT_EQ(mivo::hexdump_s(squeeze, hex_text{text}),
            row("00000000", 'a') + "*\n" + "00000020: 61" + std::string(37, ' ') + "  a\n");
}

TEST(DumpLayouts, SqueezeNeedsLabels) {
  std::ostringstream out;
  for (const dump_options o : {dump_options{.row_numbers = false, .squeeze = true},
                               dump_options{.label = row_label::none, .squeeze = true}}) {
    EXPECT_THROW((void)mivo::hexdump_s(o, hex_text{"00"}), std::invalid_argument);
    EXPECT_THROW(mivo::dump_writer(o, out), std::invalid_argument);
  }
}

TEST(DumpLayouts, ColorMarksEachRunOfAByteClassOnce) {
  const std::string bytes = {'\0', '\0', 'A', 'B', '\n', '\x01', '\x80'};
  const std::string esc = "\x1b[";
  EXPECT_EQ(mivo::hexdump_s({.color = true}, mivo::of_string(bytes)),
            "00000000: " + esc + "90m0000 " + esc + "36m4142 " + esc + "32m0a" + esc + "35m01 " +
                esc + "33m80" + esc + "39m" + std::string(22, ' ') + "  " + esc + "90m.." + esc +
                "36mAB" + esc + "32m." + esc + "35m." + esc + "33m." + esc + "39m\n");
  // A pair that is not hex, and a lone digit, stay plain.
  EXPECT_EQ(mivo::hexdump_s({.char_column = false, .color = true}, hex_text{"zz4"}),
            "00000000: zz4" + std::string(36, ' ') + "\n");
}

// Whole rows of every class in runs of every length: without its escape sequences the dump is
// the plain one, and it holds one sequence per run in each part of a row and two resets a row.
TEST(DumpLayouts, ColorOfWholeRowsStripsToThePlainDumpWithOneSequencePerRun) {
  const std::string kinds{'\0', 'A', '\t', '\x01', '\xc8', ' ', '\x7f', '\xff'};
  std::string bytes;
  for (std::size_t i = 0; bytes.size() < 16 * 50 + 5; ++i) {
    bytes.append(i % 5 + 1, kinds[(i * 3 + i / 7) % kinds.size()]);
  }
  const auto kind = [](char c) {
    const auto b = static_cast<unsigned char>(c);
    if (b == 0) return 0;
    if (b >= 32 && b < 127) return 1;
    if (b >= 9 && b <= 13) return 2;
    return b < 128 ? 3 : 4;
  };
  std::size_t runs = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    runs += i % 16 == 0 || kind(bytes[i]) != kind(bytes[i - 1]) ? 1 : 0;
  }
  const std::size_t rows = (bytes.size() + 15) / 16;
  for (const bool chars : {true, false}) {
    for (const row_label label : {row_label::row_number, row_label::byte_offset, row_label::none}) {
      const dump_options o{.char_column = chars, .label = label};
      dump_options colored = o;
      colored.color = true;
      const std::string dump = mivo::hexdump_s(colored, mivo::of_string(bytes));
      std::string stripped;
      std::size_t sequences = 0;
      for (std::size_t i = 0; i < dump.size(); ++i) {
        if (dump[i] != '\x1b') {
          stripped += dump[i];
          continue;
        }
        ++sequences;
        i = dump.find('m', i);
      }
      EXPECT_EQ(stripped, mivo::hexdump_s(o, mivo::of_string(bytes))) << chars;
      EXPECT_EQ(sequences, (chars ? 2 : 1) * (runs + rows)) << chars;
    }
  }
}

TEST(DumpLayouts, UppercaseAppliesToDigitsMadeFromBytes) {
  std::ostringstream out;
  mivo::dump_writer writer({.uppercase = true}, out);
  const std::string bytes = "\xab\xcd";
  writer.write_bytes(mivo::as_bytes(bytes));
  writer.write_text("ef");  // text is copied as it is
  writer.finish();
  EXPECT_EQ(out.str(), mivo::hexdump_s(hex_text{"ABCDef"}));
}

TEST(DumpWriter, ZerosInASqueezedRunCostNothing) {
  for (const row_label label : {row_label::row_number, row_label::byte_offset}) {
    std::ostringstream out;
    mivo::dump_writer writer({.label = label, .squeeze = true}, out);
    writer.write_zeros(std::uint64_t{1} << 40);  // 1 TiB
    writer.finish();
    const std::string last = label == row_label::byte_offset ? "fffffffff0" : "68719476735";
    EXPECT_EQ(out.str(), row("00000000", '\0') + "*\n" + row(last, '\0'));
  }
  for (const std::size_t n : {0U, 1U, 16U, 33U, 100U, 5000U}) {  // as many zero bytes
    for (const bool squeeze : {false, true}) {
      std::ostringstream got;
      std::ostringstream want;
      const dump_options o{.squeeze = squeeze};
      {
        mivo::dump_writer writer(o, got);
        writer.write_bytes(mivo::as_bytes(std::string("\x07")));
        writer.write_zeros(n);
      }
      {
        mivo::dump_writer writer(o, want);
        writer.write_bytes(mivo::as_bytes("\x07" + std::string(n, '\0')));
      }
      EXPECT_EQ(got.str(), want.str()) << n << " zeros";
    }
  }
}

// A stream buffer that takes nothing, as a full disk does.
class full_disk : public std::streambuf {
 protected:
  std::streamsize xsputn(const char*, std::streamsize) override { return 0; }
  int_type overflow(int_type) override { return traits_type::eof(); }
};

TEST(DumpWriter, AStreamThatFailsQuietlyIsReported) {
  full_disk disk;
  std::ostream out(&disk);
  mivo::dump_writer writer(out);
  EXPECT_THROW(writer.write_text(std::string(64, '0')), std::ios_base::failure);
  EXPECT_THROW(writer.finish(), std::logic_error);  // spent
}

}  // namespace
