// mivo diff: two files compared byte by byte, the differences shown as hunks of dump rows.
#ifndef MIVO_CLI_DIFF_HPP
#define MIVO_CLI_DIFF_HPP

#include <cstddef>
#include <string>

#include "io.hpp"

namespace mivo_cli {

struct diff_options {
  std::size_t context_rows = 2;  // equal rows shown around each change
  bool color = false;            // marks as colors, not as marker lines
  bool quiet = false;            // nothing written: only whether they differ
};

// Compares the files (either may be "-", standard input) and writes their differences; returns
// whether they differ. Throws failure "NAME: reason" for a file that cannot be read.
bool diff(const std::string& first, const std::string& second, const output& out,
          const diff_options& o);

}  // namespace mivo_cli

#endif  // MIVO_CLI_DIFF_HPP
