// Reading dumps back: round trips over every layout and split, edits, and each fault's place.
#include <map>
#include <sstream>
#include <tuple>
#include <vector>

#include "helpers.hpp"

namespace {

using mivo::dump_options;
using mivo::row_label;

// What a reader handed on, call by call.
struct placed {
  std::vector<std::pair<std::uint64_t, std::string>> calls;

  mivo::dump_reader::sink sink() {
    return [this](std::uint64_t at, std::span<const std::uint8_t> b) {
      calls.emplace_back(at, std::string(b.begin(), b.end()));
    };
  }

  std::vector<std::uint64_t> offsets() const {
    std::vector<std::uint64_t> all;
    for (const auto& call : calls) all.push_back(call.first);
    return all;
  }

  std::map<std::uint64_t, std::uint8_t> bytes() const {
    std::map<std::uint64_t, std::uint8_t> all;
    for (const auto& [at, b] : calls) {
      for (std::size_t i = 0; i < b.size(); ++i) all[at + i] = static_cast<std::uint8_t>(b[i]);
    }
    return all;
  }

  // The bytes from `from` on, handed on in order without gaps.
  std::string contiguous(std::uint64_t from = 0) const {
    std::string s;
    for (const auto& [at, b] : calls) {
      EXPECT_EQ(at, from + s.size());
      s += b;
    }
    return s;
  }
};

placed read_back(const dump_options& layout, std::string_view text, std::size_t piece = SIZE_MAX,
                 bool forward_only = false) {
  placed p;
  mivo::dump_reader reader(layout, p.sink(), forward_only);
  for (std::size_t at = 0; at < text.size(); at += piece) {
    reader.write_text(text.substr(at, piece));
  }
  reader.finish();
  return p;
}

std::string dump(const dump_options& layout, std::string_view bytes) {
  return mivo::hexdump_s(layout, mivo::of_string(bytes));
}

std::vector<dump_options> every_layout() {
  std::vector<dump_options> all;
  for (const row_label label : {row_label::row_number, row_label::byte_offset, row_label::none}) {
    for (const int flags : {0, 1, 2, 3, 4, 5, 6, 7, 8, 15}) {
      dump_options o{.label = label,
                     .first_offset = label == row_label::byte_offset ? 0x1230U : 0U,
                     .uppercase = (flags & 1) != 0,
                     .squeeze = (flags & 2) != 0 && label != row_label::none,
                     .color = (flags & 4) != 0};
      o.char_column = (flags & 8) == 0;
      all.push_back(o);
    }
  }
  return all;
}

// Runs of repeats for the squeeze, a partial last row, and whole blocks for the fast path.
std::string sample(std::size_t n) {
  std::string s = mivo_test::pattern(n);
  for (std::size_t i = 16; i < n && i < 200; ++i) s[i] = s[i % 16];
  if (n > 5000) std::fill(s.begin() + 3000, s.begin() + 4000, '\0');
  return s;
}

TEST(DumpReader, ReadsBackEveryLayoutOverAnySplit) {
  for (const dump_options& layout : every_layout()) {
    for (const std::size_t n : {0, 1, 15, 16, 17, 100, 257, 9000, 70000}) {
      const std::string bytes = sample(n);
      const std::string text = dump(layout, bytes);
      const std::uint64_t first = layout.label == row_label::byte_offset ? layout.first_offset : 0;
      for (const std::size_t piece :
           {SIZE_MAX, std::size_t{1}, std::size_t{7}, std::size_t{4099}}) {
        if (piece < 100 && n > 300) continue;
        SCOPED_TRACE(::testing::Message()
                     << "label " << static_cast<int>(layout.label) << " n " << n << " piece "
                     << piece << " chars " << layout.char_column << " color " << layout.color);
        EXPECT_EQ(read_back(layout, text, piece).contiguous(first), bytes);
      }
    }
  }
}

TEST(DumpReader, TheCharacterColumnIsIgnoredAndDigitsRule) {
  const dump_options layout{.label = row_label::byte_offset};
  std::string text = dump(layout, "0123456789abcdefXYZ");
  text.replace(text.find("0123"), 4, "zz\x1b!");  // the character column
  EXPECT_EQ(read_back(layout, text).contiguous(), "0123456789abcdefXYZ");
  text.replace(text.find("3031"), 2, "ff");
  EXPECT_EQ(read_back(layout, text).contiguous(),
            "\xff"
            "123456789abcdefXYZ");
}

TEST(DumpReader, EditedRowsMayHoldAnyNumberOfBytes) {
  const std::string text =
      "00000000: 0102 03\n00000010: 0a0b0c0d0e 0f10 1112 1314 1516 1718 191a\n";
  const placed p = read_back({.label = row_label::byte_offset}, text);
  EXPECT_EQ(p.bytes().size(), 3U + 17U);
  EXPECT_EQ(p.bytes().at(2), 3);
  EXPECT_EQ(p.bytes().at(0x10 + 16), 0x1a);
  // Pairs may straddle a single space; the row numbers place rows at 16n.
  EXPECT_EQ(read_back({}, "00000002: a bc d\n").bytes(),
            (std::map<std::uint64_t, std::uint8_t>{{32, 0xab}, {33, 0xcd}}));
}

TEST(DumpReader, AStarRepeatsTheRowBeforeUpToTheNextLabel) {
  const placed p =
      read_back({.label = row_label::byte_offset}, "\n00000000: 0102 0304\n*\n\n0000000b: ff\n*\n");
  EXPECT_EQ(p.contiguous(), std::string("\x01\x02\x03\x04\x01\x02\x03\x04\x01\x02\x03\xff", 12));
}

TEST(DumpReader, RowsGoWhereTheirLabelsSay) {
  const std::string text = "00000020: aabb\n00000000: 0102\n";
  const placed p = read_back({.label = row_label::byte_offset}, text);
  EXPECT_EQ(p.offsets(), (std::vector<std::uint64_t>{0x20, 0}));
  EXPECT_THROW_MESSAGE(read_back({.label = row_label::byte_offset}, text, SIZE_MAX, true),
                       mivo::dump_error,
                       "line 2: column 1: row placed before the end of the rows before it");
  // Unlabelled rows follow one another from the first offset.
  const placed unlabelled = read_back({.row_numbers = false, .first_offset = 5}, "01\n0203\n");
  EXPECT_EQ(unlabelled.contiguous(5), "\x01\x02\x03");
}

struct fault {
  const char* text;
  dump_options layout;
  std::uint64_t line;
  std::uint64_t column;
  std::string reason;
};

TEST(DumpReader, EachFaultNamesItsLineAndColumn) {
  const dump_options offsets{.label = row_label::byte_offset};
  const dump_options none{.row_numbers = false};
  const std::vector<fault> faults = {
      {"00000000: 0102\n00000001: 0g\n", {}, 2, 12, mivo_test::invalid_char_message('g')},
      {"00000000: 010\n", {}, 1, 13, mivo_test::odd_length_message},
      {"00000000: 01\t02\n", {}, 1, 13, mivo_test::invalid_char_message('\t')},
      {"0000000a: 01\n", {}, 1, 8, "invalid row label"},
      {"00000000 01\n", {}, 1, 9, "invalid row label"},
      {": 01\n", {}, 1, 1, "invalid row label"},
      {"00000000:01\n", {}, 1, 10, "invalid row label"},
      {"1152921504606846976: 00\n", {}, 1, 19, "row label out of range"},
      {"10000000000000000: 00\n", offsets, 1, 17, "row label out of range"},
      {"ffffffffffffffff: 00\n", offsets, 1, 20, "row label out of range"},
      {"*\n", offsets, 1, 1, "a '*' line with no row before it"},
      {"00\n*\n", none, 2, 1, "a '*' line needs row labels"},
      {"00000000: 00\n* \n", offsets, 2, 2, "a '*' line holds nothing else"},
      {"00000000: \x1b[1x00\n", offsets, 1, 14, "invalid escape sequence"},
      {"00000000: 00\x1b[1", offsets, 1, 16, "invalid escape sequence"},
      {"00000000: 00\n0000", offsets, 2, 5, "invalid row label"},
  };
  for (const fault& f : faults) {
    SCOPED_TRACE(f.text);
    for (const std::size_t piece : {SIZE_MAX, std::size_t{1}}) {
      try {
        (void)read_back(f.layout, f.text, piece);
        ADD_FAILURE() << "no dump_error";
      } catch (const mivo::dump_error& e) {
        EXPECT_EQ(e.line(), f.line);
        EXPECT_EQ(e.column(), f.column);
        EXPECT_EQ(e.reason(), f.reason);
        EXPECT_EQ(std::string(e.what()), "line " + std::to_string(f.line) + ": column " +
                                             std::to_string(f.column) + ": " + f.reason);
      }
    }
  }
}

TEST(DumpReader, RowsBeforeAFaultAreHandedOnAndNothingOfItsOwn) {
  // Enough good rows for the fast path to gather, then a bad digit deep in a row.
  std::string text = dump({}, mivo_test::pattern(16 * 600));
  const std::size_t bad_line = 421;
  std::size_t at = 0;
  for (std::size_t l = 1; l < bad_line; ++l) at = text.find('\n', at) + 1;
  text[at + 10 + 30] = 'x';
  placed p;
  mivo::dump_reader reader({}, p.sink());
  EXPECT_THROW_MESSAGE(reader.write_text(text), mivo::dump_error,
                       "line 421: column 41: " + mivo_test::invalid_char_message('x'));
  EXPECT_EQ(p.contiguous(), mivo_test::pattern(16 * 420));
  EXPECT_THROW(reader.write_text("00"), std::logic_error);
  EXPECT_THROW(reader.finish(), std::logic_error);
}

TEST(DumpReader, TracksTheLineAndColumnToCome) {
  placed p;
  mivo::dump_reader reader({}, p.sink());
  reader.write_text("00000000: 00\n0000");
  EXPECT_EQ(reader.line(), 2U);
  EXPECT_EQ(reader.column(), 5U);
  reader.write_text("0001: 01");
  reader.finish();
  EXPECT_EQ(p.bytes().size(), 2U);
  EXPECT_NO_THROW(reader.finish());
  EXPECT_THROW(reader.write_text("0"), std::logic_error);
}

TEST(DumpReader, ASinkThatThrowsSpendsTheReader) {
  mivo::dump_reader reader(
      {}, [](std::uint64_t, std::span<const std::uint8_t>) { throw std::runtime_error("full"); });
  EXPECT_THROW(reader.write_text("00000000: 00\n"), std::runtime_error);
  EXPECT_THROW(reader.write_text("00000001: 00\n"), std::logic_error);
}

}  // namespace

namespace {

TEST(DumpReader, ARepeatSinkTakesAStarAsOneCallAtOnce) {
  std::vector<std::tuple<std::uint64_t, std::uint64_t, std::string>> repeats;
  placed p;
  mivo::dump_reader reader(
      {.label = row_label::byte_offset}, p.sink(),
      [&](std::uint64_t from, std::uint64_t to, std::span<const std::uint8_t> row) {
        repeats.emplace_back(from, to, std::string(row.begin(), row.end()));
      });
  // A span of 2^55 bytes would take years to hand on byte by byte.
  reader.write_text("00000000: 0102\n*\n7fffffffffffff00: ff\n");
  reader.finish();
  ASSERT_EQ(repeats.size(), 1U);
  EXPECT_EQ(repeats[0], std::make_tuple(std::uint64_t{2}, std::uint64_t{0x7fffffffffffff00},
                                        std::string("\x01\x02")));
  EXPECT_EQ(p.offsets(), (std::vector<std::uint64_t>{0, 0x7fffffffffffff00}));
}

TEST(DumpReader, LinesMayEndInCarriageReturnLineFeed) {
  const std::string bytes = sample(5000);
  for (const dump_options& layout : every_layout()) {
    std::string text;
    for (const char c : dump(layout, bytes))
      text += c == '\n' ? std::string("\r\n") : std::string(1, c);
    for (const std::size_t piece : {std::size_t{1}, std::size_t{7}, SIZE_MAX}) {
      EXPECT_EQ(read_back(layout, text, piece).contiguous(layout.first_offset), bytes);
    }
  }
  // Elsewhere a carriage return is the character it always was.
  EXPECT_THROW_MESSAGE(read_back({}, "00000000: 01\r02\n", 13), mivo::dump_error,
                       "line 1: column 13: " + mivo_test::invalid_char_message('\r'));
}

TEST(DumpReader, LabelsAtTheTopOfTheRangeFailAlikeForAnySplit) {
  // Rows that end exactly at 2^64 - 1 read back; one more byte is out of range.
  const dump_options offsets{.label = row_label::byte_offset, .first_offset = UINT64_MAX - 64};
  const std::string bytes = sample(64);
  const std::string text = dump(offsets, bytes);
  for (const std::size_t piece : {std::size_t{1}, std::size_t{5}, SIZE_MAX}) {
    EXPECT_EQ(read_back(offsets, text, piece).contiguous(UINT64_MAX - 64), bytes);
    EXPECT_THROW_MESSAGE(read_back(offsets, text + "ffffffffffffffff: 0102\n", piece),
                         mivo::dump_error, "line 5: column 20: row label out of range");
    // A whole row whose end would wrap past 2^64, where the fast path takes whole rows.
    const std::string row = ": 0001 0203 0405 0607 0809 0a0b 0c0d 0e0f\n";
    EXPECT_THROW_MESSAGE(read_back({.label = row_label::byte_offset},
                                   "ffffffffffffffe0" + row + "fffffffffffffff0" + row, piece),
                         mivo::dump_error, "line 2: column 57: row label out of range");
  }
}

TEST(DumpWriter, OffsetsThatWouldPassTheTopOfTheRangeThrow) {
  const dump_options near_top{.label = row_label::byte_offset, .first_offset = UINT64_MAX - 20};
  EXPECT_NO_THROW((void)mivo::hexdump_s(near_top, mivo::of_string(std::string(20, 'x'))));
  EXPECT_THROW((void)mivo::hexdump_s(near_top, mivo::of_string(std::string(21, 'x'))),
               std::out_of_range);
  std::ostringstream out;
  mivo::dump_writer writer(near_top, out);
  writer.write_bytes(mivo::as_bytes(std::string_view("0123456789abcdef")));
  EXPECT_THROW(writer.write_zeros(5), std::out_of_range);
  // What was written before reads back, and nothing of the call that threw.
  EXPECT_EQ(read_back(near_top, out.str()).contiguous(UINT64_MAX - 20), "0123456789abcdef");
  // Row numbers too: a squeezed run of 2^63 zero bytes passes what a count of digits holds.
  std::ostringstream rows;
  mivo::dump_writer squeezed({.squeeze = true}, rows);
  squeezed.write_zeros(UINT64_MAX / 2);
  EXPECT_THROW(squeezed.write_zeros(1), std::out_of_range);
}

}  // namespace
