// Every kernel this CPU runs against the scalar one on the same input: encoding it, decoding
// it as digits (the same bytes up to the same first bad pair), mapping it for the dump, laying
// it out as dump rows, and encoding it and keeping its bytes with a skip list made of its first
// bytes, and as units of two digits and a separator both ways.
#include <algorithm>
#include <span>
#include <vector>

#include "fuzz_common.hpp"
#include "kernels/kernels.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using mivo::detail::kernel;
  using mivo_fuzz::check;
  const kernel& scalar = mivo::detail::scalar_kernel;
  const auto* chars = reinterpret_cast<const char*>(data);
  const std::size_t pairs = size / 2;

  std::string want_digits(2 * size, '\0');
  std::vector<std::uint8_t> want_bytes(pairs);
  std::string want_chars(size, '\0');
  scalar.encode(data, size, want_digits.data());
  std::string want_upper_digits(2 * size, '\0');
  scalar.encode_upper(data, size, want_upper_digits.data());
  const std::size_t want_bad = scalar.decode(chars, pairs, want_bytes.data());
  scalar.dump_chars(data, size, want_chars.data());

  const std::size_t listed = size == 0 ? 0 : data[0] % 8;
  const auto skip = mivo::detail::make_skip_tables(
      mivo::skip_list(std::span<const std::uint8_t>(data, std::min(listed, size))));
  const std::size_t kept = scalar.count_kept(data, size, skip);
  std::string want_kept(2 * kept, '\0');
  scalar.encode_kept(data, size, skip, want_kept.data(), want_kept.data() + want_kept.size());
  std::string want_moved(size + mivo::detail::keep_slack, '\0');
  want_moved.resize(static_cast<std::size_t>(
      scalar.keep_bytes(chars, size, skip, want_moved.data()) - want_moved.data()));
  const std::size_t rows = size / 32;
  std::string want_rows(rows * 80 + mivo::detail::row_slack, '\0');
  mivo::detail::label_digits want_number;
  want_rows.resize(static_cast<std::size_t>(
      scalar.dump_rows(chars, chars, rows / 2, &want_number, want_rows.data()) - want_rows.data()));

  std::string want_color(rows * 300 + mivo::detail::row_slack, '\0');
  want_color.resize(static_cast<std::size_t>(
      scalar.dump_color_rows(chars, data, chars, rows / 2, nullptr, want_color.data()) -
      want_color.data()));

  const std::size_t line_bytes = size == 0 ? 1 : 1 + data[size - 1] % 40U;
  const std::size_t lines = size / line_bytes;
  std::string want_lines(lines * (2 * line_bytes + 1), '\0');
  scalar.encode_lines(data, lines, line_bytes, want_lines.data());

  // The input read back as dump rows, labelled by row number.
  std::vector<char> want_row_digits(32 * 64 + mivo::detail::read_slack);
  std::vector<const char*> want_row_ends(64);
  mivo::detail::label_digits want_label;
  const std::size_t want_rows_read = scalar.read_rows(chars, chars + size, &want_label, 64,
                                                      want_row_digits.data(), want_row_ends.data());

  // The input as units of two digits and a separator (its third byte), and encoded as such.
  const char separator = size > 2 ? chars[2] : ':';
  const std::size_t units = size / 3;
  std::vector<std::uint8_t> want_unit_bytes(units);
  const std::size_t want_units =
      scalar.decode_separated(chars, units, separator, want_unit_bytes.data());
  std::string want_separated(3 * size, '\0');
  scalar.encode_separated(data, size, separator, size % 2 == 1, want_separated.data());

  for (const kernel* k : mivo::detail::supported_kernels()) {
    std::vector<std::uint8_t> unit_bytes(units);
    const std::size_t got_units = k->decode_separated(chars, units, separator, unit_bytes.data());
    check(got_units == want_units &&
              std::equal(unit_bytes.begin(),
                         unit_bytes.begin() + static_cast<std::ptrdiff_t>(got_units),
                         want_unit_bytes.begin()),
          "decode_separated agrees with scalar");
    std::string separated(3 * size, '\0');
    k->encode_separated(data, size, separator, size % 2 == 1, separated.data());
    check(separated == want_separated, "encode_separated agrees with scalar");
    std::vector<std::uint8_t> round_trip(size);
    check(k->decode_separated(separated.data(), size, separator, round_trip.data()) == size &&
              std::equal(round_trip.begin(), round_trip.end(), data),
          "decode_separated reads encode_separated back");
    std::vector<char> row_digits(want_row_digits.size());
    std::vector<const char*> row_ends(64);
    mivo::detail::label_digits label;
    const std::size_t got_rows_read =
        k->read_rows(chars, chars + size, &label, 64, row_digits.data(), row_ends.data());
    check(got_rows_read == want_rows_read &&
              std::equal(row_ends.begin(),
                         row_ends.begin() + static_cast<std::ptrdiff_t>(got_rows_read),
                         want_row_ends.begin()) &&
              std::equal(row_digits.begin(),
                         row_digits.begin() + static_cast<std::ptrdiff_t>(32 * got_rows_read),
                         want_row_digits.begin()),
          "read_rows agrees with scalar");
    check(k->count_kept(data, size, skip) == kept, "count_kept agrees with scalar");
    std::string got_kept(2 * kept + 1, '#');
    const char* end = k->encode_kept(data, size, skip, got_kept.data(), got_kept.data() + 2 * kept);
    check(end == got_kept.data() + 2 * kept && got_kept.back() == '#', "encode_kept stays inside");
    got_kept.pop_back();
    check(got_kept == want_kept, "encode_kept agrees with scalar");
    std::string moved(size + mivo::detail::keep_slack, '\0');
    moved.resize(
        static_cast<std::size_t>(k->keep_bytes(chars, size, skip, moved.data()) - moved.data()));
    check(moved == want_moved, "keep_bytes agrees with scalar");
    std::string got_rows(rows * 80 + mivo::detail::row_slack, '\0');
    mivo::detail::label_digits number;
    got_rows.resize(static_cast<std::size_t>(
        k->dump_rows(chars, chars, rows / 2, &number, got_rows.data()) - got_rows.data()));
    check(got_rows == want_rows, "dump_rows agrees with scalar");
    std::string color(rows * 300 + mivo::detail::row_slack, '\0');
    color.resize(static_cast<std::size_t>(
        k->dump_color_rows(chars, data, chars, rows / 2, nullptr, color.data()) - color.data()));
    check(color == want_color, "dump_color_rows agrees with scalar");
    std::string got_lines(want_lines.size(), '\0');
    k->encode_lines(data, lines, line_bytes, got_lines.data());
    check(got_lines == want_lines, "encode_lines agrees with scalar");

    std::string digits(2 * size, '\0');
    std::vector<std::uint8_t> bytes(pairs);
    std::string shown(size, '\0');
    k->encode(data, size, digits.data());
    const std::size_t bad = k->decode(chars, pairs, bytes.data());
    k->dump_chars(data, size, shown.data());
    check(digits == want_digits, "encode agrees with scalar");
    k->encode_upper(data, size, digits.data());
    check(digits == want_upper_digits, "encode_upper agrees with scalar");
    check(bad == want_bad, "decode stops at the same pair");
    check(std::equal(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(bad),
                     want_bytes.begin()),
          "decode agrees with scalar");
    check(shown == want_chars, "dump_chars agrees with scalar");
  }
  return 0;
}
