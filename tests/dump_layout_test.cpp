// Layouts as values: their checks, the portable formatter against the kernels' rows, each
// base, order and style written as the peers write it, and every layout read back.
#include <bitset>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "dump_portable.hpp"
#include "helpers.hpp"

namespace {

using mivo::dump_layout;
using mivo::hex_text;

std::string bytes_of(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(rng() % 4 == 0 ? 0 : rng());  // runs of zeros too
  return s;
}

dump_layout::builder with() { return dump_layout::builder(); }

// Reads a dump back with its layout, split into pieces of `piece` characters.
std::string read_back(const dump_layout& layout, const std::string& dump, std::size_t piece) {
  std::string bytes;
  mivo::dump_reader reader(layout, [&](std::uint64_t at, std::span<const std::uint8_t> b) {
    if (bytes.size() < at) bytes.resize(at, '\0');
    bytes.replace(at, b.size(), reinterpret_cast<const char*>(b.data()), b.size());
  });
  for (std::size_t i = 0; i < dump.size(); i += piece) reader.write_text(dump.substr(i, piece));
  reader.finish();
  return bytes;
}

TEST(DumpLayout, BuildChecksEachFieldAndNamesIt) {
  const auto fails = [](const dump_layout::builder& b, const std::string& what) {
    try {
      (void)b.build();
      ADD_FAILURE() << "built: " << what;
    } catch (const std::invalid_argument& e) {
      EXPECT_EQ(std::string(e.what()), "Mivo.dump_layout: " + what);
    }
  };
  fails(with().columns(0), "columns must be 1-256");
  fails(with().columns(257), "columns must be 1-256");
  fails(with().columns(8).group(9), "group must be 0 (one group) up to columns");
  fails(with().label(mivo::row_label::none).squeeze(true),
        "squeeze needs row labels to place the rows");
  fails(with().first_offset(10).displacement(UINT64_MAX - 9),
        "first_offset plus displacement passes 2^64 - 1");
  EXPECT_EQ(with().columns(256).group(256).build().group(), 256U);
  EXPECT_EQ(dump_layout::classic(), dump_layout(mivo::dump_options{}));
  EXPECT_EQ(dump_layout::xxd(),
            dump_layout(mivo::dump_options{.label = mivo::row_label::byte_offset}));
  EXPECT_FALSE(dump_layout::xxd() == dump_layout::canonical());
}

// Every option that existed before layouts renders through the portable formatter exactly as
// through the kernels, for valid text, bad pairs and lone digits.
TEST(DumpLayout, PortableFormatterMatchesTheKernelsOnTheClassicShape) {
  std::vector<std::string> texts = {
      "", "4", "41", "zz", "4142434", "41g2", std::string(64, '0'), std::string(96, '0') + "41"};
  for (const std::size_t n : {15, 16, 17, 100, 1000})
    texts.push_back(mivo::of_string(bytes_of(n, n)).text);
  texts.push_back(texts.back() + "x1");
  for (int bits = 0; bits < 64; ++bits) {
    const mivo::dump_options o{
        .row_numbers = (bits & 1) != 0,
        .char_column = (bits & 2) != 0,
        .label = (bits & 4) != 0 ? mivo::row_label::byte_offset : mivo::row_label::row_number,
        .first_offset = 0xfff0,
        .squeeze = (bits & 8) != 0 && (bits & 1) != 0,
        .color = (bits & 16) != 0};
    for (const std::string& t : texts) {
      std::string kernels;
      std::string portable;
      try {
        kernels = mivo::hexdump_s(o, hex_text{t});
      } catch (const mivo::decode_error& e) {
        kernels = std::string("error ") + e.what() + std::to_string(e.position());
      }
      try {
        portable = mivo::detail::portable_dump_s(dump_layout(o), hex_text{t});
      } catch (const mivo::decode_error& e) {
        portable = std::string("error ") + e.what() + std::to_string(e.position());
      }
      EXPECT_EQ(portable, kernels) << "options " << bits << ", text " << t;
    }
  }
}

TEST(DumpLayout, EachBaseOrderAndStyleAsThePeersWriteIt) {
  const hex_text hello = mivo::of_string("Hello");
  const auto xxd = [] { return dump_layout::builder(dump_layout::xxd()); };
  EXPECT_EQ(mivo::hexdump_s(xxd().group(4).order(mivo::byte_order::little).build(), hello),
            "00000000: 6c6c6548       6f                    Hello\n");
  EXPECT_EQ(mivo::hexdump_s(xxd().columns(3).group(1).base(mivo::dump_base::binary).build(), hello),
            "00000000: 01001000 01100101 01101100  Hel\n"
            "00000003: 01101100 01101111           lo\n");
  EXPECT_EQ(mivo::hexdump_s(with()
                                .columns(4)
                                .group(2)
                                .base(mivo::dump_base::octal)
                                .label(mivo::row_label::none)
                                .char_column(false)
                                .build(),
                            hello),
            "110145 154154\n157          \n");
  EXPECT_EQ(mivo::hexdump_s(xxd()
                                .columns(4)
                                .group(1)
                                .base(mivo::dump_base::decimal)
                                .label(mivo::row_label::decimal_offset)
                                .displacement(96)
                                .build(),
                            hello),
            "00000096: 072 101 108 108  Hell\n00000100: 111              o\n");
  EXPECT_EQ(mivo::hexdump_s(xxd().table(mivo::char_table::ebcdic).build(),
                            mivo::of_string("\xc8\x85\x93\x40")),
            "00000000: c885 9340                                Hel \n");
  EXPECT_EQ(mivo::hexdump_s(dump_layout::canonical(), hello),
            "00000000  48 65 6c 6c 6f" + std::string(36, ' ') + "|Hello|\n00000005\n");
  // Squeezed, the canonical layout stars even the last rows: its closing line shows the end.
  EXPECT_EQ(mivo::hexdump_s(dump_layout::builder(dump_layout::canonical()).squeeze(true).build(),
                            mivo::of_string(std::string(48, '\0'))),
            "00000000  00 00 00 00 00 00 00 00  00 00 00 00 00 00 00 00  |................|\n"
            "*\n00000030\n");
  // A short last group of a row is a word of its own, placed as a whole word would be.
  EXPECT_EQ(mivo::hexdump_s(xxd().columns(6).group(4).order(mivo::byte_order::little).build(),
                            mivo::of_string("abcdefg")),
            "00000000: 64636261 6665  abcdef\n00000006:       67       g\n");
}

TEST(DumpLayout, EveryLayoutReadsBackWhateverTheSplit) {
  const std::string bytes = bytes_of(1000, 7) + std::string(100, '\0') + "tail";
  std::vector<dump_layout> layouts = {dump_layout::canonical()};
  std::mt19937 rng(25);
  for (int i = 0; i < 60; ++i) {
    const std::size_t columns = 1 + rng() % 40;
    layouts.push_back(
        with()
            .columns(columns)
            .group(rng() % (columns + 1))
            .order(rng() % 2 == 0 ? mivo::byte_order::big : mivo::byte_order::little)
            .base(static_cast<mivo::dump_base>(rng() % 4))
            .label(static_cast<mivo::row_label>(rng() % 4))
            .displacement(rng() % 3 == 0 ? 1000 : 0)
            .first_offset(rng() % 2 == 0 ? 0 : 77)
            .char_column(rng() % 2 == 0)
            .style(rng() % 4 == 0 ? mivo::dump_style::canonical : mivo::dump_style::classic)
            .uppercase(rng() % 2 == 0)
            .color(rng() % 5 == 0)
            .build());
  }
  for (const dump_layout& layout : layouts) {
    // The writer makes the digits of bytes in the layout's case; hexdump_s copies text's.
    std::string digits = mivo::of_string(bytes).text;
    if (layout.uppercase()) {
      for (char& c : digits) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    const std::string dump = mivo::hexdump_s(layout, hex_text{digits});
    std::ostringstream written;
    {
      mivo::dump_writer writer(layout, written);
      for (std::size_t i = 0; i < bytes.size(); i += 37) {
        const std::string piece = bytes.substr(i, 37);
        writer.write_bytes(
            std::span(reinterpret_cast<const std::uint8_t*>(piece.data()), piece.size()));
      }
    }
    ASSERT_EQ(written.str(), dump) << "columns " << layout.columns();
    const std::string back = read_back(layout, dump, 1 + dump.size() % 97);
    // Row numbers count from 0; offsets, and unlabelled rows, start at the first offset.
    const bool row_numbers = layout.label() == mivo::row_label::row_number;
    EXPECT_EQ(back.substr(row_numbers ? 0 : layout.first_offset()), bytes)
        << "columns " << layout.columns() << " group " << layout.group() << "\n"
        << dump.substr(0, 300);
  }
}

TEST(DumpLayout, ReadingBackNamesLineAndColumnOfAFault) {
  const auto fault = [](const dump_layout& layout, const std::string& text) -> std::string {
    try {
      (void)read_back(layout, text, text.size());
    } catch (const mivo::dump_error& e) {
      return e.what();
    }
    return "read";
  };
  const dump_layout bits = with().columns(2).group(1).base(mivo::dump_base::binary).build();
  EXPECT_EQ(fault(bits, "00000000: 01000001 01000201  A.\n"),
            "line 1: column 25: invalid binary digit");
  EXPECT_EQ(fault(bits, "00000000: 0100000101000010  AB\n"), "line 1: column 19: misplaced digits");
  const dump_layout octal = with().columns(2).group(1).base(mivo::dump_base::octal).build();
  EXPECT_EQ(fault(octal, "00000000: 101 401  A.\n"), "line 1: column 15: byte value out of range");
  const dump_layout little = with().columns(4).group(4).order(mivo::byte_order::little).build();
  EXPECT_EQ(fault(little, "00000000: 4142 43  \n"), "line 1: column 15: misplaced digits");
  const dump_layout shifted = dump_layout::builder(dump_layout::xxd()).displacement(100).build();
  EXPECT_EQ(fault(shifted, "00000010: 41\n"), "line 1: column 1: row label out of range");
  EXPECT_EQ(fault(dump_layout::canonical(), "00000000  41 4g\n"),
            "line 1: column 15: Mivo.to_char: 103 is an invalid char");
  EXPECT_EQ(fault(dump_layout::canonical(), "00000000  41\r\n\x1b[33m00000001\x1b[39m  42\n"),
            "read");
}

// What reading gives, read in pieces of `piece` characters: each byte with its place, then the
// fault that stopped it. A '*' far ahead stands for many bytes: only the first 64 KiB count.
std::string outcome(const dump_layout& layout, const std::string& text, std::size_t piece) {
  std::map<std::uint64_t, std::uint8_t> placed;
  struct enough {};
  std::string fault;
  try {
    mivo::dump_reader reader(layout, [&](std::uint64_t at, std::span<const std::uint8_t> b) {
      for (std::size_t i = 0; i < b.size(); ++i) {
        if (placed.size() == std::size_t{64} << 10) throw enough{};
        placed[at + i] = b[i];
      }
    });
    for (std::size_t i = 0; i < text.size(); i += piece) reader.write_text(text.substr(i, piece));
    reader.finish();
  } catch (const mivo::dump_error& e) {
    fault = e.what();
  } catch (const enough&) {
    fault = "64 KiB";
  }
  std::ostringstream out;
  for (std::uint64_t next = 0; const auto& [at, b] : placed) {
    if (at != next) out << '@' << at << ':';
    out << static_cast<char>(b);
    next = at + 1;
  }
  return out.str() + "|" + fault;
}

// The outcome of reading the dump of `bytes` placed from `first` on.
std::string placed_from(std::uint64_t first, const std::string& bytes) {
  return (first != 0 ? "@" + std::to_string(first) + ":" : std::string()) + bytes + "|";
}

TEST(DumpLayout, RunsOfRowsReadAsLineByLine) {
  // Read whole, full rows go in runs; a character at a time, line by line. A change anywhere
  // must give the same bytes or the same fault both ways.
  const std::string bytes = bytes_of(700, 3);
  const std::vector<dump_layout> layouts = {
      dump_layout::canonical(),
      with().columns(6).group(1).base(mivo::dump_base::binary).build(),
      with().columns(32).group(4).label(mivo::row_label::byte_offset).build(),
      with().columns(16).group(4).order(mivo::byte_order::little).build(),
      with().columns(12).group(5).base(mivo::dump_base::octal).label(mivo::row_label::none).build(),
      with().columns(10).group(3).base(mivo::dump_base::decimal).char_column(false).build(),
      with()
          .columns(16)
          .group(12)
          .order(mivo::byte_order::little)
          .base(mivo::dump_base::binary)
          .label(mivo::row_label::decimal_offset)
          .build()};
  std::mt19937 rng(5);
  for (const dump_layout& layout : layouts) {
    const std::string dump = mivo::hexdump_s(layout, mivo::of_string(bytes));
    ASSERT_EQ(outcome(layout, dump, dump.size()), outcome(layout, dump, 1));
    for (int edit = 0; edit < 40; ++edit) {
      std::string changed = dump;
      changed[rng() % changed.size()] = "0179afg |:*\n\x1b"[rng() % 14];
      ASSERT_EQ(outcome(layout, changed, changed.size()), outcome(layout, changed, 1))
          << "columns " << layout.columns() << "\n"
          << changed.substr(0, 400);
    }
  }
}

TEST(DumpLayout, LabelsGrowAWidthAndStopAtTheLastOffset) {
  // Rows of 8, which the layout reader reads (the classic shape has a reader of its own).
  const std::string bytes = bytes_of(900, 9);
  const auto rows_of = [](std::size_t columns, mivo::row_label label, std::uint64_t first) {
    return with().columns(columns).label(label).first_offset(first).build();
  };
  struct labelled {
    dump_layout layout;
    std::uint64_t first;
    const char* format;
  };
  const std::uint64_t last_rows = UINT64_MAX - 8 * 40;  // the last 40 rows there are
  // Labels grow a digit, and (rows of 6 and 7) carry past their last four digits mid-row.
  const std::vector<labelled> cases = {
      {rows_of(8, mivo::row_label::byte_offset, 0xfffffd00), 0xfffffd00, "%08llx: "},
      {rows_of(8, mivo::row_label::decimal_offset, 99999500), 99999500, "%08llu: "},
      {rows_of(6, mivo::row_label::byte_offset, 0x2fe01), 0x2fe01, "%08llx: "},
      {rows_of(7, mivo::row_label::decimal_offset, 1239703), 1239703, "%08llu: "},
      {rows_of(8, mivo::row_label::byte_offset, last_rows), last_rows, "%08llx: "}};
  for (const labelled& c : cases) {
    const std::string some = c.first == last_rows ? bytes.substr(0, 8 * 40) : bytes;
    const std::string dump = mivo::hexdump_s(c.layout, mivo::of_string(some));
    const std::size_t columns = c.layout.columns();
    std::size_t line = 0;
    for (std::size_t row = 0; row * columns < some.size(); ++row) {
      char label[32];
      std::snprintf(label, sizeof label, c.format,
                    static_cast<unsigned long long>(c.first + columns * row));
      ASSERT_EQ(dump.substr(line, std::strlen(label)), label) << "row " << row;
      line = dump.find('\n', line) + 1;
    }
    EXPECT_EQ(outcome(c.layout, dump, dump.size()), placed_from(c.first, some));
  }
  // A row reaching past the last offset there is fails, read in a run or alone.
  const dump_layout top = cases.back().layout;
  const std::string past =
      mivo::hexdump_s(top, mivo::of_string(bytes.substr(0, 8 * 40))) + "ffffffffffffffff: 00\n";
  EXPECT_EQ(outcome(top, past, past.size()), outcome(top, past, 1));
  EXPECT_NE(outcome(top, past, past.size()).find("line 41: column 19: row label out of range"),
            std::string::npos);
}

TEST(DumpLayout, CanonicalSqueezesRunsOfZerosWrittenAsZeros) {
  const dump_layout canonical =
      dump_layout::builder(dump_layout::canonical()).squeeze(true).build();
  std::ostringstream written;
  {
    mivo::dump_writer writer(canonical, written);
    writer.write_bytes(mivo::as_bytes(std::string_view("abc")));
    writer.write_zeros(std::uint64_t{1} << 40);  // a TiB, as a sparse file's hole
    writer.write_bytes(mivo::as_bytes(std::string_view("z")));
  }
  const std::string zeros(13, '\0');
  EXPECT_EQ(written.str(),
            "00000000  61 62 63 00 00 00 00 00  00 00 00 00 00 00 00 00  |abc.............|\n"
            "00000010  00 00 00 00 00 00 00 00  00 00 00 00 00 00 00 00  |................|\n"
            "*\n"
            "10000000000  00 00 00 7a                                       |...z|\n"
            "10000000004\n");
}

TEST(DumpLayout, SaysWhereEachByteOfARowStands) {
  const std::string bytes = "Hello, layouts!!";
  for (const dump_layout& layout :
       {dump_layout::xxd(), dump_layout::canonical(),
        with().columns(5).group(2).order(mivo::byte_order::little).build(),
        with().columns(3).base(mivo::dump_base::binary).label(mivo::row_label::none).build()}) {
    const std::string row =
        mivo::hexdump_s(layout, mivo::of_string(bytes.substr(0, layout.columns())));
    const std::size_t label = layout.labelled() ? row.find_first_of(": ") + 2 : 0;
    for (std::size_t i = 0; i < layout.columns(); ++i) {
      const auto b = static_cast<std::uint8_t>(bytes[i]);
      const std::string digits = row.substr(label + layout.digit_place(i), layout.digit_width());
      EXPECT_EQ(digits, layout.base() == mivo::dump_base::binary
                            ? std::bitset<8>(b).to_string()
                            : mivo::of_string(bytes.substr(i, 1)).text)
          << "byte " << i << " of\n"
          << row;
      EXPECT_EQ(row[label + layout.char_place(i)], bytes[i]) << "byte " << i << " of\n" << row;
    }
  }
}

}  // namespace
