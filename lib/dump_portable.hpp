// The portable formatter: renders a dump in any layout, from digits or from bytes, with
// squeezing, color and the closing line. The kernels' whole-row path is a faster way to the
// same text for the classic shape only.
#ifndef MIVO_DUMP_PORTABLE_HPP
#define MIVO_DUMP_PORTABLE_HPP

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <mivo.hpp>
#include "dump_geometry.hpp"
#include "kernels/kernels.hpp"
#include "kernels/placement.hpp"
#include "stream_block.hpp"

namespace mivo::detail {

// hexdump_s through the portable formatter whatever the layout, to test the kernels' path by.
std::string portable_dump_s(const dump_layout& layout, const hex_text& h);

class portable_dump {
 public:
  portable_dump(const dump_layout& layout, stream_block& out);

  // Digits, judged as they complete pairs where the layout needs their bytes; a bad pair
  // throws decode_error after the rows before its own are out.
  void text(std::string_view digits);
  void bytes(std::span<const std::uint8_t> b);
  void zeros(std::uint64_t count);
  // The last, partial row, a held repeat and the closing line.
  void finish();

  // Digits taken so far.
  [[nodiscard]] std::uint64_t digits_done() const noexcept { return row_start_ + fill_; }

 private:
  static constexpr std::size_t chunk_rows = 64;

  void emit_full(const char* digits, const std::uint8_t* bytes);
  void emit_rows(const char* digits, const std::uint8_t* bytes, std::size_t rows);
  const char* chunk_chars(const std::uint8_t* bytes, std::size_t first, std::size_t n) noexcept;
  char* put_row(const char* digits, const std::uint8_t* bytes, std::size_t n,
                const label_text& label, char* out, const char* chars = nullptr) const noexcept;
  char* put_color_units(const char* digits, const std::uint8_t* bytes, std::size_t n,
                        char* out) const noexcept;
  char* star(char* out) const noexcept;
  void release_held();
  [[noreturn]] void fail_at(const char* pair, std::uint64_t position);
  std::size_t add_text(const char* d, std::size_t n);
  std::size_t add_bytes(std::span<const std::uint8_t> b);
  void text_rows(const char* d, std::size_t rows);
  void byte_rows(const std::uint8_t* b, std::size_t rows);
  void emit_pending();
  [[nodiscard]] bool in_zero_run() const noexcept;
  void skip_repeats(std::uint64_t rows);
  void encode(const std::uint8_t* b, std::size_t n, char* out) const noexcept;
  void place_rows(const char* digits, const std::uint8_t* bytes, std::size_t rows);
  const char* row_source(const char* base, std::size_t r) noexcept;
  std::size_t make_labels(std::size_t n, std::size_t& size) noexcept;

  dump_layout layout_;
  dump_geometry g_;
  stream_block& out_;
  const kernel& k_ = active_kernel();
  const std::array<char, 256>& chars_;
  bool labelled_;
  bool char_column_;
  bool color_;
  dump_base base_;
  bool strict_;       // every pair must be valid: characters or digits other than hex shown
  bool need_bytes_;   // the bytes are looked at: strict, or color
  bool need_digits_;  // rows are kept as digits: hex shown, or squeezing compares them
  std::size_t row_digits_;
  std::size_t max_row_chars_;
  std::size_t plain_row_spaces_;
  std::size_t rows_per_room_;              // full rows that fit one request for room
  std::vector<std::uint16_t> slot_order_;  // byte indexes in the order their places come
  place_plan plan_;                        // a full plain row's digit part, gap and frame
  std::size_t unit_stride_;                // the digits of a row, as the plan takes them

  label_text label_;             // of the next row
  std::uint64_t row_start_ = 0;  // digits before the row in progress
  std::vector<char> digits_;     // the row in progress
  std::vector<std::uint8_t> row_bytes_;
  std::size_t fill_ = 0;
  bool row_valid_ = true;  // every complete pair of the row in progress is a byte

  bool has_previous_ = false;  // the last full row shown, for squeezing
  std::vector<char> previous_;
  std::vector<std::uint8_t> previous_bytes_;
  bool previous_valid_ = false;
  bool held_ = false;
  bool starred_ = false;
  label_text held_label_;

  std::vector<char> scratch_digits_;
  std::vector<char> scratch_chars_;  // a chunk's characters, made at once
  std::vector<std::uint8_t> scratch_bytes_;
  std::vector<char> scratch_units_;   // a chunk's digits in a base other than hex
  std::vector<char> scratch_labels_;  // a run of rows' labels, placed_rows::label_stride apart
  std::vector<char> padded_row_;      // a row whose digits end too near their buffer's end
};

}  // namespace mivo::detail

#endif  // MIVO_DUMP_PORTABLE_HPP
