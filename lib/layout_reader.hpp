// Reads back a dump of any layout, a line at a time: the label gives the row's place, and each
// group's bytes are read from the columns the geometry gives it, so little-endian words, short
// groups and bases other than hex come back as they were written.
#ifndef MIVO_LAYOUT_READER_HPP
#define MIVO_LAYOUT_READER_HPP

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <mivo.hpp>
#include "dump_geometry.hpp"
#include "kernels/kernels.hpp"
#include "kernels/placement.hpp"
#include "row_places.hpp"

namespace mivo::detail {

class layout_reader : row_places {
 public:
  layout_reader(const dump_layout& layout, dump_reader::sink to, dump_reader::repeat_sink repeats,
                bool forward_only);

  void text(std::string_view piece);
  void finish();
  void flush() { row_places::flush(); }
  [[nodiscard]] std::uint64_t line() const noexcept { return line_; }
  [[nodiscard]] std::uint64_t column() const noexcept { return column_; }

 private:
  static constexpr std::size_t max_line = std::size_t{1} << 20;

  void read_line(std::string_view text);
  [[noreturn]] void fail(const char* reason, std::size_t at) const;
  [[noreturn]] void fail(const std::string& reason, std::size_t at) const;
  std::size_t read_label(std::string_view s, bool& closing);
  void place_row(std::uint64_t place, std::size_t label_at);
  void read_groups(std::string_view digits, std::size_t from);
  const char* read_rows(const char* p, const char* end);
  const line_shape& shape_for(std::size_t label);
  std::size_t rows_that_fit(std::size_t left, const line_shape& shape,
                            std::uint64_t first) const noexcept;
  std::size_t labels_for(std::size_t n);
  std::size_t decoded_rows(std::size_t n) noexcept;
  void hand_on(std::uint64_t place, std::size_t n);
  void expect_after_row() noexcept;
  std::size_t read_field(std::string_view field, std::size_t group, std::size_t at);
  std::uint8_t read_unit(const char* unit, std::size_t at) const;
  std::string_view strip_escapes(std::string_view s);

  dump_layout layout_;
  dump_geometry g_;
  const kernel& k_ = active_kernel();
  bool offset_labels_;
  std::uint64_t next_unlabelled_;
  std::vector<std::uint16_t> gaps_;  // places in a full row's digit part that hold spaces
  // Runs of full rows are read in place: the kernel checks each line's shape and label and
  // gathers its digits side by side by a plan; then the run is decoded at once.
  std::size_t run_rows_ = 0;  // the most rows in one run
  place_plan digit_plan_;
  std::size_t reach_ = 0;         // how far past a row's digit part the plan may read
  std::size_t row_tail_ = 0;      // a full line's characters after the digit part, '\n' too
  line_shape shape_;              // of a full line with the label size last asked for
  std::vector<char> run_labels_;  // the labels a run's lines must hold
  std::vector<char> run_digits_;
  std::vector<std::uint8_t> run_bytes_;
  label_text expected_;     // the label of the row after the last one read
  bool expecting_ = false;  // whether expected_ holds it

  std::string pending_;                       // a line split across pieces
  std::string plain_;                         // a line without its color sequences
  std::vector<std::uint32_t> plain_columns_;  // the column of each character of plain_
  bool mapped_ = false;  // plain_columns_ holds the columns of the line being read

  std::uint64_t line_ = 1;
  std::uint64_t column_ = 1;
  std::uint64_t position_ = 0;  // of the start of the line being read
};

}  // namespace mivo::detail

#endif  // MIVO_LAYOUT_READER_HPP
