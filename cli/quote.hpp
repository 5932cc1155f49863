// Names and values in messages, quoted as coreutils quotes them, so that every message stays on
// one line and nothing in it reaches the terminal as a control sequence.
#ifndef MIVO_CLI_QUOTE_HPP
#define MIVO_CLI_QUOTE_HPP

#include <string>
#include <string_view>

namespace mivo_cli {

// A file name: bare when it holds only characters a shell takes literally (data.bin), else in
// shell quotes ('my file', "it's"), with control and non-UTF-8 bytes as $'\n' or $'\377'
// between quoted runs: 'a'$'\n''b'.
std::string quote_name(std::string_view name);

// A value: always quoted, as quote_name would quote it: 'bogus', ''$'\033''[7mX'.
std::string quote_value(std::string_view value);

}  // namespace mivo_cli

#endif  // MIVO_CLI_QUOTE_HPP
