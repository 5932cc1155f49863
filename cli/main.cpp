// mivo: hex dumps, hex encoding and decoding of files and pipes of any size.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include <mivo.hpp>

#include "commands.hpp"
#include "io.hpp"

namespace {

constexpr int exit_failure = 1;
constexpr int exit_usage = 2;

const char* const usage_line =
    "usage: mivo {dump|encode|decode} [OPTIONS] [FILE...]  (mivo --help)";

const char* const footer =
    R"(With no FILE, or when FILE is -, read standard input. Several FILEs are read as
one stream: dump row numbers go on, and a decoded pair may span two files.

Exit status:
  0  success (also when the reader of the output goes away)
  1  a data or I/O error: a bad digit, an odd digit count, an unreadable FILE,
     a failed write
  2  a usage error: an unknown command or option, a bad --skip

Examples:
  mivo dump /bin/true | head -3      the first three rows of a hex dump
  mivo encode --skip 0a notes.txt    the digits of a file, leaving out its line feeds
  echo 6869 | mivo decode            prints "hi"
)";

std::string version_text() {
  return "mivo " + std::to_string(mivo::version_major) + "." + std::to_string(mivo::version_minor) +
         "." + std::to_string(mivo::version_patch) +
         "\nkernel: " + std::string(mivo::kernel_name());
}

// "0a20" names the bytes 0x0a and 0x20; anything but pairs of hex digits is refused.
mivo::skip_list parse_skip(const std::string& text) {
  try {
    return mivo::skip_list(mivo::to_bytes(mivo::hex_text{text}));
  } catch (const mivo::decode_error&) {
    throw CLI::ValidationError("--skip", "'" + text + "' is not pairs of hex digits, one per byte");
  }
}

struct options {
  std::vector<std::string> files;
  bool no_row_numbers = false;
  bool no_chars = false;
  std::string skip;
  bool no_newline = false;
  bool strict = false;
};

void add_files(CLI::App& command, options& o) {
  command.add_option("FILE", o.files, "Input files, read in order; - is standard input")
      ->type_name("FILE");
}

int run(int argc, char** argv) {
  CLI::App app{"Hex dumps, hex encoding and decoding of files and pipes of any size.", "mivo"};
  app.set_help_flag();
  app.set_help_all_flag("-h,--help", "Print this help, every command and option, and exit");
  app.set_version_flag("--version", version_text(), "Print the version and the kernel in use");
  app.footer(footer);
  app.require_subcommand(1);
  options o;

  CLI::App* dump = app.add_subcommand("dump",
                                      "Hex dump: rows of 16 bytes in groups of two, "
                                      "with row numbers and a character column");
  dump->add_flag("--no-row-numbers", o.no_row_numbers, "Leave out the row numbers");
  dump->add_flag("--no-chars", o.no_chars, "Leave out the character column");
  add_files(*dump, o);

  CLI::App* encode =
      app.add_subcommand("encode", "Lowercase hex digits of the input, two per byte");
  encode
      ->add_option("--skip", o.skip,
                   "Leave out these bytes, named as hex pairs (0a20: LF and space)")
      ->type_name("HEXBYTES");
  encode->add_flag("--no-newline", o.no_newline, "No line feed after the digits");
  add_files(*encode, o);

  CLI::App* decode = app.add_subcommand(
      "decode", "The bytes that hex digits encode; ASCII whitespace anywhere is skipped");
  decode->add_flag("--strict", o.strict, "Skip nothing: every byte must be a digit");
  add_files(*decode, o);

  mivo::skip_list skip;
  try {
    app.parse(argc, argv);
    skip = parse_skip(o.skip);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion&) {
    std::cout << version_text() << std::endl;
    return 0;
  } catch (const CLI::ParseError& e) {
    std::cerr << "mivo: " << e.what() << "\n" << usage_line << "\n";
    return exit_usage;
  }

  mivo_cli::input_list in(o.files);
  const mivo_cli::output out(1);
  if (dump->parsed()) {
    mivo_cli::dump(in, out, {.row_numbers = !o.no_row_numbers, .char_column = !o.no_chars});
  } else if (encode->parsed()) {
    mivo_cli::encode(in, out, skip, !o.no_newline);
  } else {
    mivo_cli::decode(in, out, o.strict);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return run(argc, argv);
  } catch (const mivo_cli::closed_pipe&) {
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "mivo: %s\n", e.what());
    return exit_failure;
  }
}
