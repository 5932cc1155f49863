// Where the bytes read back from a dump go: rows placed at their offsets, consecutive ones
// gathered in a fixed block and handed on together, and the '*' lines that repeat a row. Both
// dump readers place their rows here.
#ifndef MIVO_ROW_PLACES_HPP
#define MIVO_ROW_PLACES_HPP

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>

#include <mivo.hpp>
#include "page_buffer.hpp"

namespace mivo::detail {

struct row_places {
  static constexpr std::size_t block_bytes = std::size_t{64} * 1024;
  static constexpr std::size_t max_row_bytes = 65536;

  row_places(dump_reader::sink to, dump_reader::repeat_sink repeats, bool forward)
      : out(std::move(to)), repeat_out(std::move(repeats)), forward_only(forward) {}

  dump_reader::sink out;
  dump_reader::repeat_sink repeat_out;  // empty: a '*' is handed on as the bytes it stands for
  const bool forward_only;

  // Bytes of consecutive rows not yet handed on, from block_offset.
  page_buffer<std::uint8_t> block = make_page_buffer<std::uint8_t>(block_bytes);
  std::size_t used = 0;
  std::uint64_t block_offset = 0;

  // The row being read, then the last row read, which a '*' repeats.
  std::unique_ptr<std::uint8_t[]> row =
      std::make_unique_for_overwrite<std::uint8_t[]>(max_row_bytes);
  std::size_t row_size = 0;
  std::uint64_t row_place = 0;
  bool have_row = false;
  std::uint64_t last_end = 0;    // just past the last row
  std::uint64_t end_so_far = 0;  // just past the furthest row
  bool star_pending = false;
  std::unique_ptr<std::uint8_t[]> repeats;  // made at the first '*'

  void flush() {
    if (used == 0) return;
    out(block_offset, {block.get(), std::exchange(used, 0)});
  }

  // Hands on `n` bytes for `place`, after what the block holds when they follow it.
  void put(std::uint64_t place, const std::uint8_t* bytes, std::size_t n) {
    if (used > 0 && block_offset + used != place) flush();
    while (n > 0) {
      if (used == 0) block_offset = place;
      const std::size_t take = std::min(n, block_bytes - used);
      std::memcpy(block.get() + used, bytes, take);
      used += take;
      place += take;
      bytes += take;
      n -= take;
      if (used == block_bytes) flush();
    }
  }

  // The row just read is whole: hand it on.
  void end_row() {
    put(row_place, row.get(), row_size);
    have_row = true;
    last_end = row_place + row_size;
    end_so_far = std::max(end_so_far, last_end);
  }

  // After a '*': the last row again and again up to `place`.
  void repeat_last_row(std::uint64_t place) {
    star_pending = false;
    if (row_size == 0 || place <= last_end) return;
    if (repeat_out) {
      flush();
      repeat_out(last_end, place, {row.get(), row_size});
    } else {
      put_repeats(place);
    }
    last_end = std::max(last_end, place);
    end_so_far = std::max(end_so_far, last_end);
  }

  void put_repeats(std::uint64_t place) {
    // The row over and over in a block of its own, handed on a block at a time.
    if (!repeats) repeats = std::make_unique_for_overwrite<std::uint8_t[]>(block_bytes);
    const std::size_t span = block_bytes / row_size * row_size;
    for (std::size_t at = 0; at < span; at += row_size) {
      std::memcpy(repeats.get() + at, row.get(), row_size);
    }
    for (std::uint64_t at = last_end; at < place;) {
      const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(span, place - at));
      put(at, repeats.get(), n);
      at += n;
    }
  }
};

}  // namespace mivo::detail

#endif  // MIVO_ROW_PLACES_HPP
