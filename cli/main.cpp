// mivo: hex dumps, hex encoding and decoding of files and pipes of any size.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <array>
#include <cctype>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <mivo.hpp>

#include <unistd.h>

#include "commands.hpp"
#include "diff.hpp"
#include "find.hpp"
#include "io.hpp"
#include "numbers.hpp"
#include "patch.hpp"
#include "quote.hpp"

namespace {

constexpr int exit_failure = 1;
constexpr int exit_usage = 2;
constexpr int exit_trouble = 2;  // find and diff, as grep and cmp: an input could not be read

constexpr std::string_view usage_line =
    "usage: mivo {dump|undump|encode|decode|find|diff} [OPTIONS] [FILE...]  (mivo --help)";

// The parts of the help text; each command's help shows those that concern it.
constexpr std::string_view files_note =
    R"(With no FILE, or when FILE is -, read standard input. Several FILEs are read as
one stream.
)";

constexpr std::string_view labels_note =
    R"(Dump rows are numbered 0, 1, 2, ... (rows, not bytes); --offsets labels them
with byte offsets instead, exactly as xxd does.
)";

constexpr std::string_view region_note =
    R"(OFFSET and LENGTH are decimal or 0x hex, with an optional multiplier as head -c
takes it: b (512), K, M, G, T, P, E (powers of 1024, also KiB, MiB, ...), kB,
MB, GB, TB, PB, EB (powers of 1000). A negative OFFSET counts back from the end
of a single FILE that can seek. -s and -n count bytes of the input as read, the
whole stream of FILEs together.
)";

constexpr std::string_view patch_note =
    R"(--patch reads the whole dump first, so a bad line changes nothing. Before its
first write it saves the bytes it will overwrite in TARGET.mivo-undo beside
TARGET; a failed write or an interruption puts them back. If mivo is killed
outright, the undo file stays: --undo TARGET puts the original bytes back.
)";

constexpr std::string_view exit_note = R"(Exit status:
  0  success (also when the reader of the output goes away)
  1  a data or I/O error: a bad digit, an odd digit count, a malformed dump line,
     an unreadable FILE, an input that is the output file, a failed write, no
     memory
  2  a usage error: an unknown command or option, a bad value
)";

constexpr std::string_view dump_examples = R"(Examples:
  mivo dump /bin/true | head -3      the first three rows of a hex dump
  mivo dump --offsets -s 4096 -n 64 disk.img
                                     bytes 4096-4159, labelled with their offsets
  mivo dump -s -64 file              the last 64 bytes
  mivo dump -a sparse.img            runs of equal rows as one '*' line
  mivo dump --color=always f | less -R
                                     color by byte class through a pager
  mivo dump --offsets -c 32 -g 4 f   as xxd -c 32 -g 4: 32 bytes a row in groups of 4
  mivo dump --offsets -e f           as xxd -e: little-endian words of 4 bytes
  mivo dump --offsets -b f           as xxd -b: bits, 6 bytes a row
  mivo dump --base=dec -g 1 f        bytes in decimal (oct: in octal)
  mivo dump -d -o 0x8000 f           decimal offsets, each 0x8000 more (xxd -d -o)
  mivo dump -E f                     characters as EBCDIC (xxd -E)
  mivo dump -C -a f                  as hexdump -C
)";

constexpr std::string_view encode_examples = R"(Examples:
  mivo encode -u --skip 0a notes.txt the digits in uppercase, leaving out line feeds
  mivo encode -w 60 f                as xxd -p: 60 digits a line
  mivo encode -i logo.png            a C array, as xxd -i writes it
  mivo encode --sep=: mac.bin        de:ad:be:ef, as Python's bytes.hex(':')
  mivo encode --sep=', ' --prefix=0x f
                                     0xde, 0xad, 0xbe, 0xef
  mivo encode --sep=' ' --group=4 f  deadbeef 01020304: groups counted from the end
)";

constexpr std::string_view decode_examples = R"(Examples:
  echo 6869 | mivo decode            prints "hi"
  echo de:ad:be:ef | mivo decode --ignore=:
  echo '0xde, 0xad' | mivo decode --ignore=, --prefix=0x
  mivo decode -i logo.h > logo.png   the bytes of a C array from encode -i or xxd -i
)";

constexpr std::string_view find_note =
    R"(PATTERN is pairs of hex digits, spaces allowed between pairs, ?? for any byte;
with -t, literal text. Every match is reported, overlapping ones too, by the
offset of its first byte (0x hex, decimal with -d), led by the FILE's name when
there are several. With --context ROWS, the dump rows around each match instead
(as mivo dump --offsets shows them), each row once, the matched bytes marked (^)
on a line below or colored. Each FILE is searched on its own; the holes of a
sparse file are passed over unread unless the pattern could match zeros.

Exit status: 0 a match, 1 none, 2 trouble (an unreadable FILE is reported and
the others are still searched).
)";

constexpr std::string_view find_examples = R"(Examples:
  mivo find '4d 5a ?? 00' image.bin  each offset where MZ, any byte and 00 stand
  mivo find -t -i -c needle *.log    how many times each log holds "needle", any case
  mivo find --context 1 -t PNG f     the rows around each "PNG", the match marked
)";

constexpr std::string_view diff_note =
    R"(FILE1 and FILE2 are aligned byte by byte, as diff aligns lines: a run of bytes
inserted or deleted shifts nothing after it. Each hunk starts "@@ -OFFSET1
+OFFSET2 @@" at the first byte that differs and shows FILE1's rows (-) and
FILE2's (+) as mivo dump --offsets lays them out; a line under a row marks its
bytes changed (!), deleted (-) or inserted (+), or, with color, the bytes are
colored. "= N equal bytes" stands for rows left out; a last line counts the
bytes equal, inserted, deleted and changed.

Exit status: 0 the same, 1 different, 2 trouble.
)";

constexpr std::string_view diff_examples = R"(Examples:
  mivo diff old.bin new.bin          the hunks where they differ
  mivo diff -q a.img b.img           only whether they differ, as cmp -s
)";

constexpr std::string_view undump_examples = R"(Edit a file through its dump:
  mivo dump --offsets disk.img > disk.dump
  vi disk.dump                       change digits; the character column is ignored
  mivo undump --offsets --patch disk.img disk.dump
                                     writes the rows back; a bad line changes nothing
  mivo undump --undo disk.img        after a killed patch: the original bytes back
Every layout reads back with the options it was written with:
  xxd -e f | mivo undump --offsets -e
  hexdump -C f | mivo undump -C -a
)";

std::string joined(std::span<const std::string_view> parts) {
  std::string text;
  for (const std::string_view part : parts) {
    if (part.empty()) continue;
    if (!text.empty()) text += '\n';
    text += part;
  }
  return text;
}

// A command line that cannot be run: "mivo: <what()>" and the usage line, exit status 2.
class usage_error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// "kernel: avx2", and why MIVO_KERNEL was not followed if it was not.
std::string kernel_line() {
  std::string line = "kernel: " + std::string(mivo::kernel_name());
  const char* requested = std::getenv("MIVO_KERNEL");
  const mivo::kernel_request status = mivo::kernel_request_status();
  if (requested == nullptr) return line;
  if (status == mivo::kernel_request::unknown) {
    line += " (MIVO_KERNEL=" + mivo_cli::quote_name(requested) + " ignored: unknown)";
  } else if (status == mivo::kernel_request::unsupported) {
    line +=
        " (MIVO_KERNEL=" + mivo_cli::quote_name(requested) + " ignored: not supported by this CPU)";
  }
  return line;
}

std::string version_text() {
  return "mivo " + std::to_string(mivo::version_major) + "." + std::to_string(mivo::version_minor) +
         "." + std::to_string(mivo::version_patch) + "\n" + kernel_line() + "\n";
}

// "0a20" names the bytes 0x0a and 0x20; anything but pairs of hex digits is refused.
mivo::skip_list parse_skip(const std::vector<std::string>& values, std::size_t given) {
  if (given == 0) return {};
  if (given > 1) throw usage_error("--skip given twice");
  if (values.empty()) throw usage_error("--skip: missing value");
  const std::string& text = values.front();
  if (text.empty()) throw usage_error("--skip: empty value");
  try {
    return mivo::skip_list(mivo::to_bytes(mivo::hex_text{text}));
  } catch (const mivo::decode_error&) {
    throw usage_error("--skip: " + mivo_cli::quote_value(text) +
                      " is not pairs of hex digits, one per byte");
  }
}

// A message from CLI11 on one line, with any control character shown as '?'.
std::string one_line(std::string text) {
  std::replace_if(
      text.begin(), text.end(),
      [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == '\x7f'; }, '?');
  return text;
}

// Arguments CLI11 left over: an unknown command, or an option no command has.
void refuse_extras(const CLI::App& app) {
  for (const std::string& extra : app.remaining()) {
    if (extra == "--") continue;
    if (extra.starts_with('-'))
      throw usage_error("unrecognized option " + mivo_cli::quote_value(extra));
    if (app.get_parent() == nullptr) {
      throw usage_error("unknown command " + mivo_cli::quote_value(extra));
    }
  }
}

// Shows a flag whose value comes only after '=' as "--color[=WHEN]", not as CLI11 spells
// its default value.
class help_formatter : public CLI::Formatter {
 public:
  std::string make_option_name(const CLI::Option* opt, bool positional) const override {
    std::string name = CLI::Formatter::make_option_name(opt, positional);
    if (name.find('{') == std::string::npos) return name;
    std::string plain;
    bool in_braces = false;
    for (const char c : name) {
      if (c == '{' || c == '}') {
        in_braces = c == '{';
      } else if (!in_braces) {
        plain += c;
      }
    }
    return plain + "[=" + opt->get_type_name() + "]";
  }
  std::string make_option_opts(const CLI::Option* opt) const override {
    if (CLI::Formatter::make_option_name(opt, false).find('{') != std::string::npos) return "";
    return CLI::Formatter::make_option_opts(opt);
  }
};

struct options {
  std::vector<std::string> files;
  std::string start;
  std::string length;
  bool no_row_numbers = false;
  bool offsets = false;
  bool no_chars = false;
  bool squeeze = false;
  bool upper = false;
  std::string color;
  std::vector<std::string> skip;
  const CLI::Option* skip_option = nullptr;
  bool no_newline = false;
  std::string width;
  std::string c_array_name;
  const CLI::Option* c_array_option = nullptr;
  bool strict = false;
  std::string pattern;
  bool text = false;
  bool ignore_case = false;
  bool decimal = false;
  bool count = false;
  bool names_only = false;
  bool quiet = false;
  std::string context;
  std::string separator;
  const CLI::Option* separator_option = nullptr;
  std::string group;
  std::string prefix;
  std::string ignore;
  bool decode_c_array = false;
  std::string most;
  std::string patch;
  std::string undo;
  std::string columns;
  std::string dump_group;
  bool little_endian = false;
  bool bits = false;
  std::string base;
  std::string display_offset;
  bool ebcdic = false;
  bool canonical = false;
  mivo::skip_list skip_bytes;  // --skip, parsed
};

// The C identifier xxd -i makes of a file name: every other character an underscore, and two
// before a leading digit.
std::string c_name_of(std::string_view file) {
  if (file.empty()) return "";
  std::string name;
  if (!file.empty() && file[0] >= '0' && file[0] <= '9') name = "__";
  for (const char c : file) name += std::isalnum(static_cast<unsigned char>(c)) != 0 ? c : '_';
  return name;
}

// -s and -n: the part of the input to read, on every command.
void add_region(CLI::App& command, options& o) {
  command.add_option("-s,--start", o.start, "Start at this byte (-64: 64 bytes before the end)")
      ->type_name("OFFSET");
  command.add_option("-n,--length", o.length, "Read at most this many bytes")->type_name("LENGTH");
}

void add_upper(CLI::App& command, options& o) {
  command.add_flag("-u,--upper", o.upper, "Uppercase digits A-F");
}

void add_files(CLI::App& command, options& o) {
  command.add_option("FILE", o.files, "Input files, read in order; - is standard input")
      ->type_name("FILE");
}

// How rows are labelled and laid out, for dump and undump alike: a dump reads back with the
// options it was written with.
void add_layout(CLI::App& command, options& o) {
  command.add_flag("--offsets", o.offsets, "Rows labelled with their byte offsets, as xxd does");
  command.add_flag("--no-row-numbers", o.no_row_numbers, "Rows without labels");
  command.add_option("-c,--columns", o.columns, "Bytes per row, 1-256 (16; 6 with -b)")
      ->type_name("COLS");
  command
      .add_option("-g,--group", o.dump_group,
                  "Bytes per group, split by a space (2; 4 with -e; 1 with -b, -C); 0: one group")
      ->type_name("BYTES");
  command.add_flag("-e,--little-endian", o.little_endian,
                   "Each group as a little-endian word, last byte first (xxd -e)");
  command.add_flag("-b,--bits", o.bits, "Bytes in binary, as --base=bin (xxd -b)");
  command.add_option("--base", o.base, "Bytes in hex, bin, oct or dec")->type_name("BASE");
  command.add_flag("-d,--decimal", o.decimal, "Rows labelled with decimal byte offsets (xxd -d)");
  command
      .add_option("-o,--display-offset", o.display_offset,
                  "Add OFFSET to every offset label (xxd -o); read back, it is taken off")
      ->type_name("OFFSET");
  command.add_flag("-E,--ebcdic", o.ebcdic, "Characters from EBCDIC, as xxd -E shows them");
  command.add_flag("-C,--canonical", o.canonical,
                   "The layout of hexdump -C: offsets, bytes one by one, |characters|");
}

// As ls does: WHEN only after "=", so `--color FILE` reads FILE.
void add_color(CLI::App& command, options& o, const std::string& what) {
  command.add_flag("--color{always}", o.color, what)->type_name("WHEN");
}

void add_dump_options(CLI::App& dump, options& o) {
  add_region(dump, o);
  add_layout(dump, o);
  dump.add_flag("--no-chars", o.no_chars, "Leave out the character column");
  dump.add_flag("-a,--squeeze", o.squeeze, "Show each run of repeated rows as one line '*'");
  add_upper(dump, o);
  add_color(dump, o, "Color bytes by class: auto (a terminal), always or never");
}

void add_encode_options(CLI::App& encode, options& o) {
  o.skip_option = encode
                      .add_option("--skip", o.skip,
                                  "Leave out these bytes, named as hex pairs (0a20: LF and space)")
                      ->type_name("HEXBYTES")
                      ->expected(0, 1)
                      ->allow_extra_args(false)
                      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  encode.add_flag("--no-newline", o.no_newline, "No line feed after the digits");
  encode.add_option("-w,--width", o.width, "Digits per line (60: as xxd -p); 0, the default: one")
      ->type_name("COLS");
  o.c_array_option = encode
                         .add_flag("-i{},--c-array{}", o.c_array_name,
                                   "A C array, as xxd -i writes it: --c-array=NAME names it")
                         ->type_name("NAME");
  o.separator_option = encode
                           .add_option("--sep", o.separator,
                                       "Put STR between groups of bytes: --sep=: gives de:ad:be:ef")
                           ->type_name("STR");
  encode
      .add_option("--group", o.group,
                  "Bytes per group with --sep (default 1); counted from the end as Python's "
                  "bytes.hex counts them, from the start when negative")
      ->type_name("N");
  encode.add_option("--prefix", o.prefix, "Put STR before each byte: --prefix=0x, --prefix='\\x'")
      ->type_name("STR");
  add_region(encode, o);
  add_upper(encode, o);
}

void add_decode_options(CLI::App& decode, options& o) {
  decode.add_flag("--strict", o.strict, "Skip no whitespace: every byte must be a digit");
  decode
      .add_option("--ignore", o.ignore,
                  "Pass over these characters too: --ignore=: reads de:ad:be:ef")
      ->type_name("CHARS");
  decode.add_flag("-i,--c-array", o.decode_c_array,
                  "Read a C array, as encode -i and xxd -i write it");
  decode
      .add_option("--prefix", o.prefix,
                  "Pass over STR right before a pair: --prefix=0x reads 0xde 0xad")
      ->type_name("STR");
  add_region(decode, o);
}

void add_find_options(CLI::App& find, options& o) {
  find.add_flag("-t,--text", o.text, "PATTERN is literal text, not hex digits");
  find.add_flag("-i,--ignore-case", o.ignore_case, "With -t: ASCII letters match either case");
  find.add_flag("-d,--decimal", o.decimal, "Offsets in decimal, not 0x hex");
  find.add_flag("-c,--count", o.count, "Only the number of matches of each FILE");
  find.add_flag("-l,--files-with-matches", o.names_only, "Only the names of FILEs with a match");
  find.add_option("-m,--max-count", o.most, "Stop after NUM matches in each FILE")
      ->type_name("NUM");
  find.add_option("--context", o.context,
                  "Instead of offsets, the dump rows around each match, ROWS on each side")
      ->type_name("ROWS");
  add_color(find, o, "With --context: color the matched bytes: auto (a terminal), always or never");
  find.add_option("PATTERN", o.pattern, "Hex pairs, ?? for any byte: '4d 5a ?? 00'")
      ->type_name("PATTERN")
      ->required();
}

void add_diff_options(CLI::App& diff, options& o) {
  diff.add_flag("-q,--quiet", o.quiet,
                "Say nothing: only the exit status tells whether they differ");
  diff.add_option("--context", o.context, "Equal rows shown around each change (default 2)")
      ->type_name("ROWS");
  add_color(diff, o, "Mark changes in color: auto (a terminal), always or never");
  diff.add_option("FILE1 FILE2", o.files, "The files to compare; - is standard input")
      ->type_name("FILE")
      ->expected(0, 2);
}

void add_undump_options(CLI::App& undump, options& o) {
  add_layout(undump, o);
  // Taken so that a dump reads back with the very options it was written with; the reader
  // reads squeezed, colored, uppercase and bare rows whatever these say.
  undump.add_flag("--no-chars", o.no_chars, "Accepted: the character column is ignored anyway");
  undump.add_flag("-a,--squeeze", o.squeeze, "Accepted: '*' lines are always read");
  undump.add_flag("-u,--upper", o.upper, "Accepted: digits are read in either case");
  add_color(undump, o, "Accepted: color is always passed over");
  undump
      .add_option("--patch", o.patch,
                  "Write each row at its place in the existing file TARGET, once the whole dump "
                  "is read and valid")
      ->type_name("TARGET");
  undump
      .add_option("--undo", o.undo,
                  "Put back the bytes that a killed --patch of TARGET saved in TARGET.mivo-undo")
      ->type_name("TARGET");
}

int dump(const options& o, const mivo_cli::output& out);
int undump(const options& o, const mivo_cli::output& out);
int encode(const options& o, const mivo_cli::output& out);
int decode(const options& o, const mivo_cli::output& out);
int find(const options& o, const mivo_cli::output& out);
int diff(const options& o, const mivo_cli::output& out);

struct command {
  std::string_view name;
  const char* description;
  void (*add_options)(CLI::App&, options&);
  int (*run)(const options&, const mivo_cli::output&);
  std::array<std::string_view, 5> help;  // the parts of the help text it shows
  bool takes_file_list = true;           // FILE...; else its options name its files
};

constexpr std::array commands = {
    command{"dump",
            "Hex dump: rows of 16 bytes in groups of two, with row numbers and a character "
            "column; or any layout of xxd and hexdump -C",
            add_dump_options,
            dump,
            {files_note, labels_note, region_note, exit_note, dump_examples}},
    command{"undump",
            "The bytes a dump holds, rows at their labels' places; or, with --patch, a file "
            "changed by an edited dump",
            add_undump_options,
            undump,
            {files_note, labels_note, patch_note, exit_note, undump_examples}},
    command{"encode",
            "Lowercase hex digits of the input, two per byte",
            add_encode_options,
            encode,
            {files_note, region_note, exit_note, encode_examples}},
    command{"decode",
            "The bytes that hex digits encode; ASCII whitespace anywhere is skipped",
            add_decode_options,
            decode,
            {files_note, region_note, exit_note, decode_examples}},
    command{"find",
            "The offsets where a byte pattern occurs",
            add_find_options,
            find,
            {find_note, find_examples}},
    command{"diff",
            "Where two files differ, byte by byte, as dump rows",
            add_diff_options,
            diff,
            {diff_note, diff_examples},
            false},
};

// Sets up the commands. When the first argument names one, that one alone: the tool starts
// faster, and nothing it prints differs.
void add_commands(CLI::App& app, options& o, int argc, char** argv) {
  const bool named = argc > 1 && std::ranges::any_of(
                                     commands, [&](const command& c) { return c.name == argv[1]; });
  for (const command& c : commands) {
    if (named && c.name != argv[1]) continue;
    CLI::App* added = app.add_subcommand(std::string(c.name), c.description);
    added->footer(joined(c.help));
    c.add_options(*added, o);
    if (c.takes_file_list) add_files(*added, o);
    added->allow_extras();
  }
}

// A C array has its own layout: nothing else that shapes encode's output goes with it, rather
// than being quietly ignored.
void refuse_c_array_conflicts(const options& o) {
  if (o.c_array_option == nullptr || o.c_array_option->count() == 0) return;
  if (!o.width.empty()) throw usage_error("--c-array and --width conflict");
  if (!o.skip.empty()) throw usage_error("--c-array and --skip conflict");
  if (o.no_newline) throw usage_error("--c-array and --no-newline conflict");
}

bool wants_text_form(const options& o) {
  return (o.separator_option != nullptr && o.separator_option->count() > 0) || !o.group.empty() ||
         !o.prefix.empty();
}

// --sep, --group and --prefix lay the digits out themselves.
mivo::text_form text_form_of(const options& o) {
  if (o.c_array_option != nullptr && o.c_array_option->count() > 0) {
    throw usage_error("--c-array and --sep, --group, --prefix conflict");
  }
  if (!o.width.empty()) throw usage_error("--width and --sep, --group, --prefix conflict");
  if (!o.skip.empty()) throw usage_error("--skip and --sep, --group, --prefix conflict");
  long group = 1;
  if (!o.group.empty()) {
    const auto n = mivo_cli::parse_byte_count(o.group);
    if (!n || n->value > 1 << 20)
      throw usage_error("invalid group: " + mivo_cli::quote_value(o.group));
    group = n->negative ? -static_cast<long>(n->value) : static_cast<long>(n->value);
  }
  return {.separator = o.separator,
          .bytes_per_separator = static_cast<int>(group),
          .byte_prefix = o.prefix,
          .uppercase = o.upper};
}

// CLI11 reads `--skip=` as `--skip` and takes the next argument as its value, and
// `--no-chars=3` as a flag set to 3: an option given with '=' must take a value, and have one.
void refuse_odd_values(const CLI::App& app, int argc, char** argv) {
  for (int i = 2; i < argc && std::string_view(argv[i]) != "--"; ++i) {
    const std::string_view arg = argv[i];
    const std::size_t equals = arg.find('=');
    if (!arg.starts_with("--") || equals == std::string_view::npos) continue;
    const std::string name(arg.substr(0, equals));
    for (const CLI::App* command : app.get_subcommands({})) {
      const CLI::Option* option = command->get_option_no_throw(name);
      if (option == nullptr) continue;
      if (option->get_type_name().empty()) throw usage_error(name + " takes no value");
      if (equals + 1 == arg.size()) throw usage_error(name + ": empty value");
    }
  }
}

// -w COLS: a count of digits, nothing else.
std::size_t parse_width(const std::string& text) {
  if (text.empty()) return 0;
  const auto width = mivo_cli::parse_count(text);
  if (!width || *width > SIZE_MAX / 4) {
    throw usage_error("invalid width: " + mivo_cli::quote_value(text));
  }
  return static_cast<std::size_t>(*width);
}

// The part of the input to read, from -s and -n; a negative start counts back from the end of
// the one FILE, which must be able to seek.
void set_region(mivo_cli::input_list& in, const options& o, std::uint64_t& start) {
  std::uint64_t length = UINT64_MAX;
  if (!o.length.empty()) {
    const auto n = mivo_cli::parse_byte_count(o.length);
    if (!n || n->negative) throw usage_error("invalid length: " + mivo_cli::quote_value(o.length));
    length = n->value;
  }
  if (!o.start.empty()) {
    const auto s = mivo_cli::parse_byte_count(o.start);
    if (!s) throw usage_error("invalid offset: " + mivo_cli::quote_value(o.start));
    start = s->value;
    if (s->negative) {
      const std::optional<std::uint64_t> size = in.single_input_size();
      if (!size) {
        throw usage_error("invalid offset: " + mivo_cli::quote_value(o.start) +
                          ": counting from the end needs one FILE that can seek");
      }
      start = *size > s->value ? *size - s->value : 0;
    }
  }
  in.set_region(start, length);
}

// --color=WHEN: "auto" colors a terminal, unless NO_COLOR is set or TERM is dumb.
bool use_color(const options& o) {
  const std::string when = o.color.empty() ? "auto" : o.color;
  if (when == "always") return true;
  if (when == "never") return false;
  if (when != "auto") {
    throw usage_error("--color: invalid value " + mivo_cli::quote_value(when) +
                      " (auto, always or never)");
  }
  const char* no_color = std::getenv("NO_COLOR");
  const char* term = std::getenv("TERM");
  return ::isatty(STDOUT_FILENO) == 1 && (no_color == nullptr || *no_color == '\0') &&
         (term == nullptr || std::string_view(term) != "dumb");
}

// The labels that the layout options ask for.
mivo::row_label label_of(const options& o) {
  const bool offsets = o.offsets || o.decimal || !o.display_offset.empty() || o.canonical;
  if (o.no_row_numbers && offsets) {
    throw usage_error(std::string(o.offsets     ? "--offsets"
                                  : o.decimal   ? "--decimal"
                                  : o.canonical ? "--canonical"
                                                : "--display-offset") +
                      " and --no-row-numbers conflict");
  }
  if (o.no_row_numbers) return mivo::row_label::none;
  if (o.decimal) return mivo::row_label::decimal_offset;
  return offsets ? mivo::row_label::byte_offset : mivo::row_label::row_number;
}

mivo::dump_base base_of(const options& o) {
  if (o.base.empty()) return o.bits ? mivo::dump_base::binary : mivo::dump_base::hex;
  constexpr std::array<std::pair<std::string_view, mivo::dump_base>, 4> names = {
      {{"hex", mivo::dump_base::hex},
       {"bin", mivo::dump_base::binary},
       {"oct", mivo::dump_base::octal},
       {"dec", mivo::dump_base::decimal}}};
  for (const auto& [name, base] : names) {
    if (o.base != name) continue;
    if (o.bits && base != mivo::dump_base::binary) {
      throw usage_error("--bits and --base=" + o.base + " conflict");
    }
    return base;
  }
  throw usage_error("invalid base " + mivo_cli::quote_value(o.base) + ": hex, bin, oct or dec");
}

// -c and -g: a count in range, named when it is not.
std::size_t count_option(const std::string& text, const char* what, std::uint64_t low,
                         std::uint64_t high) {
  const auto n = mivo_cli::parse_count(text);
  if (!n || *n < low || *n > high) {
    throw usage_error(std::string("invalid ") + what + " " + mivo_cli::quote_value(text) + ": " +
                      std::to_string(low) + "-" + std::to_string(high));
  }
  return static_cast<std::size_t>(*n);
}

// The layout that dump's and undump's options describe, before the region's first offset.
// xxd's defaults where xxd has them: -b 6 bytes a row in groups of 1, -e groups of 4; a group
// longer than the row is the whole row, as in xxd.
mivo::dump_layout::builder layout_of(const options& o) {
  const mivo::dump_base base = base_of(o);
  const std::size_t columns = o.columns.empty() ? (base == mivo::dump_base::binary ? 6 : 16)
                                                : count_option(o.columns, "column count", 1, 256);
  std::size_t group = o.little_endian ? 4 : 2;
  if (o.canonical || base != mivo::dump_base::hex) group = 1;
  if (!o.dump_group.empty()) group = count_option(o.dump_group, "group size", 0, UINT64_MAX);
  std::uint64_t displacement = 0;
  if (!o.display_offset.empty()) {
    const auto d = mivo_cli::parse_byte_count(o.display_offset);
    if (!d || d->negative) {
      throw usage_error("invalid display offset " + mivo_cli::quote_value(o.display_offset));
    }
    displacement = d->value;
  }
  const mivo::row_label label = label_of(o);
  if (o.squeeze && label == mivo::row_label::none) {
    throw usage_error("--squeeze needs row labels: it conflicts with --no-row-numbers");
  }
  mivo::dump_layout::builder b;
  b.columns(columns)
      .group(std::min(group, columns))
      .order(o.little_endian ? mivo::byte_order::little : mivo::byte_order::big)
      .base(base)
      .label(label)
      .displacement(displacement)
      .char_column(!o.no_chars)
      .table(o.ebcdic ? mivo::char_table::ebcdic : mivo::char_table::ascii)
      .style(o.canonical ? mivo::dump_style::canonical : mivo::dump_style::classic)
      .uppercase(o.upper)
      .squeeze(o.squeeze)
      .color(use_color(o));
  return b;
}

mivo::dump_layout built(const mivo::dump_layout::builder& b) {
  try {
    return b.build();
  } catch (const std::invalid_argument& e) {
    std::string_view what = e.what();
    what.remove_prefix(std::min(what.size(), what.find(": ") + 2));
    throw usage_error(std::string(what));
  }
}

// Only byte offsets say where a row's bytes go in a file.
mivo::dump_layout patch_layout(const options& o) {
  mivo::dump_layout layout = built(layout_of(o));
  if (layout.offset_labels()) return layout;
  throw usage_error(
      "--patch needs rows labelled with byte offsets, as `mivo dump --offsets` writes them: "
      "add --offsets");
}

void report(std::string_view message);

mivo::byte_pattern pattern_of(const options& o) {
  try {
    return o.text ? mivo::byte_pattern::from_text(o.pattern, o.ignore_case)
                  : mivo::byte_pattern::from_hex(o.pattern);
  } catch (const mivo::pattern_error& e) {
    throw usage_error("PATTERN " + mivo_cli::quote_value(o.pattern) + ": " + e.what());
  }
}

// --context ROWS, for find and diff.
std::optional<std::size_t> context_rows(const options& o) {
  if (o.context.empty()) return std::nullopt;
  const auto rows = mivo_cli::parse_count(o.context);
  if (!rows || *rows > 1 << 20)
    throw usage_error("invalid context: " + mivo_cli::quote_value(o.context));
  return static_cast<std::size_t>(*rows);
}

// mivo find: exit status 0 a match, 1 none, 2 trouble.
int find(const options& o, const mivo_cli::output& out) {
  if (o.ignore_case && !o.text) throw usage_error("-i needs -t: hex digits have no case");
  if (o.count && o.names_only) throw usage_error("--count and --files-with-matches conflict");
  if (!o.context.empty() && (o.count || o.names_only)) {
    throw usage_error(
        "--context shows matches: it conflicts with --count and --files-with-matches");
  }
  std::uint64_t most = UINT64_MAX;
  if (!o.most.empty()) {
    const auto n = mivo_cli::parse_count(o.most);
    if (!n) throw usage_error("invalid count: " + mivo_cli::quote_value(o.most));
    most = *n;
  }
  const mivo_cli::find_options options{.pattern = pattern_of(o),
                                       .report = o.count        ? mivo_cli::find_report::count
                                                 : o.names_only ? mivo_cli::find_report::names
                                                                : mivo_cli::find_report::matches,
                                       .decimal = o.decimal,
                                       .most = most,
                                       .context_rows = context_rows(o),
                                       .color = use_color(o)};
  std::vector<std::string> errors;
  const bool any = mivo_cli::find(o.files, out, options, errors);
  for (const std::string& e : errors) report(e);
  if (!errors.empty()) return exit_trouble;
  return any ? 0 : exit_failure;
}

// mivo diff: exit status 0 the same, 1 different, 2 trouble.
int diff(const options& o, const mivo_cli::output& out) {
  if (o.files.size() != 2) throw usage_error("diff needs two FILEs");
  if (o.files[0] == "-" && o.files[1] == "-") {
    throw usage_error("standard input given twice: it can be only one of the FILEs");
  }
  const std::size_t context = context_rows(o).value_or(2);
  try {
    return mivo_cli::diff(o.files[0], o.files[1], out,
                          {.context_rows = context, .color = use_color(o), .quiet = o.quiet})
               ? exit_failure
               : 0;
  } catch (const mivo_cli::failure& e) {
    report(e.what());
    return exit_trouble;
  }
}

int run(int argc, char** argv, const mivo_cli::output& out) {
  CLI::App app{"Hex dumps, hex encoding and decoding of files and pipes of any size.", "mivo"};
  app.formatter(std::make_shared<help_formatter>());
  app.set_help_flag();
  app.set_help_all_flag("-h,--help", "Print this help, every command and option, and exit");
  bool version = false;
  app.add_flag("--version", version, "Print the version and the kernel in use");
  const std::array all_help = {files_note,      labels_note,   region_note,     patch_note,
                               exit_note,       dump_examples, encode_examples, decode_examples,
                               undump_examples, find_note,     find_examples,   diff_note,
                               diff_examples};
  app.footer(joined(all_help));
  app.require_subcommand(0, 1);
  app.allow_extras();
  options o;
  add_commands(app, o, argc, argv);

  try {
    refuse_odd_values(app, argc, argv);
    app.parse(argc, argv);
    refuse_extras(app);
    for (const CLI::App* command : app.get_subcommands()) refuse_extras(*command);
    if (version) {
      out.write(version_text());
      return 0;
    }
    if (app.get_subcommands().empty()) throw usage_error("missing command");
    o.skip_bytes = parse_skip(o.skip, o.skip_option != nullptr ? o.skip_option->count() : 0);
    refuse_c_array_conflicts(o);
  } catch (const CLI::CallForHelp&) {
    out.write(app.help());
    return 0;
  } catch (const CLI::CallForAllHelp&) {
    out.write(app.help("", CLI::AppFormatMode::All));
    return 0;
  } catch (const CLI::ParseError& e) {
    throw usage_error(one_line(e.what()));
  }

  const std::string& name = app.get_subcommands().front()->get_name();
  return std::ranges::find(commands, name, &command::name)->run(o, out);
}

int undump(const options& o, const mivo_cli::output& out) {
  if (!o.undo.empty()) {
    if (!o.patch.empty() || !o.files.empty()) {
      throw usage_error("--undo TARGET takes no dump: it conflicts with --patch and FILE");
    }
    mivo_cli::undo_patch(o.undo);
  } else if (!o.patch.empty()) {
    mivo_cli::undump_patch(o.files, o.patch, patch_layout(o));
  } else {
    mivo_cli::input_list in(o.files, out);
    mivo_cli::undump(in, out, built(layout_of(o)));
  }
  return 0;
}

int dump(const options& o, const mivo_cli::output& out) {
  mivo::dump_layout::builder layout = layout_of(o);
  (void)built(layout);  // a usage error comes before any input is opened
  mivo_cli::input_list in(o.files, out);
  std::uint64_t start = 0;
  set_region(in, o, start);
  mivo_cli::dump(in, out, built(layout.first_offset(start)));
  return 0;
}

int encode(const options& o, const mivo_cli::output& out) {
  mivo_cli::input_list in(o.files, out);
  std::uint64_t start = 0;
  set_region(in, o, start);
  if (o.c_array_option != nullptr && o.c_array_option->count() > 0) {
    const bool one_file = o.files.size() == 1 && o.files[0] != "-";
    const std::string array = c_name_of(!o.c_array_name.empty() ? o.c_array_name
                                        : one_file              ? o.files[0]
                                                                : "");
    mivo_cli::encode_c_array(in, out, array, o.upper);
  } else if (wants_text_form(o)) {
    const mivo::text_form form = text_form_of(o);
    std::optional<std::uint64_t> total;
    if (form.bytes_per_separator > 1) {
      total = in.single_input_size();
      if (!total) {
        throw usage_error(
            "--group N counts groups from the end, which needs one FILE that can "
            "seek; --group=-N counts them from the start");
      }
    }
    mivo_cli::encode_text(in, out, form, total, !o.no_newline);
  } else {
    mivo_cli::encode(in, out,
                     {.skip = o.skip_bytes,
                      .upper = o.upper,
                      .newline = !o.no_newline,
                      .width = parse_width(o.width)});
  }
  return 0;
}

int decode(const options& o, const mivo_cli::output& out) {
  if (o.decode_c_array && (o.strict || !o.ignore.empty() || !o.prefix.empty())) {
    throw usage_error(
        "--c-array reads a C array: it conflicts with --strict, --ignore and --prefix");
  }
  mivo_cli::input_list in(o.files, out);
  std::uint64_t start = 0;
  set_region(in, o, start);
  if (o.decode_c_array) {
    mivo_cli::decode_c_array(in, out);
  } else {
    mivo_cli::decode(in, out, {.strict = o.strict, .ignore = o.ignore, .prefix = o.prefix});
  }
  return 0;
}

void report(std::string_view message) {
  std::fprintf(stderr, "mivo: %.*s\n", static_cast<int>(message.size()), message.data());
}

}  // namespace

int main(int argc, char** argv) {
  mivo_cli::prepare_process();
  try {
    const mivo_cli::output out(STDOUT_FILENO);
    return run(argc, argv, out);
  } catch (const mivo_cli::closed_pipe&) {
    return 0;
  } catch (const mivo_cli::interrupted& e) {
    report(e.what());
    // Die of the signal, as the caller asked: a shell sees it, and a loop around us stops.
    std::signal(e.signal(), SIG_DFL);
    std::raise(e.signal());
    return exit_failure;
  } catch (const usage_error& e) {
    report(e.what());
    std::fprintf(stderr, "%.*s\n", static_cast<int>(usage_line.size()), usage_line.data());
    return exit_usage;
  } catch (const std::bad_alloc&) {
    report("out of memory");
    return exit_failure;
  } catch (const std::exception& e) {
    report(e.what());
    return exit_failure;
  }
}
