// Byte arrays, slices, and the codec over them.
#include <algorithm>
#include <cstddef>
#include <limits>
#include <stdexcept>

#include "codec.hpp"

namespace mivo {
namespace detail {

struct bigstring_access {
  // An array whose bytes the caller overwrites before anyone reads them.
  static bigstring for_overwrite(std::size_t dim) { return {dim, bigstring::uninitialized{}}; }
};

namespace {

// True when [offset, offset + length) lies within an array of `dim` bytes; no sum can overflow.
bool fits(std::size_t offset, std::size_t length, std::size_t dim) noexcept {
  return offset <= dim && length <= dim - offset;
}

std::span<const std::uint8_t> slice_bytes(const cstruct& cs) {
  if (!fits(cs.offset, cs.length, cs.buffer.dim())) {
    throw std::out_of_range("Mivo.of_cstruct: slice reaches past its buffer");
  }
  return {cs.buffer.data() + cs.offset, cs.length};
}

std::span<const std::uint8_t> array_bytes(const bigstring& bs) noexcept {
  return {bs.data(), bs.dim()};
}

// The one slice every empty text decodes to. Never destroyed, so it stays valid for callers
// running in static destructors.
const cstruct& empty_cstruct() {
  static const cstruct* const empty = new cstruct(cstruct::of_string({}));
  return *empty;
}

}  // namespace
}  // namespace detail

namespace detail {
namespace {

// Refuses sizes no array can have before the allocator sees them: the size arithmetic inside
// make_shared would wrap, and sanitizer allocators abort rather than throw.
std::size_t checked_dim(std::size_t dim) {
  if (dim > static_cast<std::size_t>(std::numeric_limits<std::ptrdiff_t>::max())) {
    throw std::length_error("Mivo.bigstring: dimension too large");
  }
  return dim;
}

}  // namespace
}  // namespace detail

bigstring::bigstring(std::size_t dim)
    : bytes_(std::make_shared<std::uint8_t[]>(detail::checked_dim(dim))), dim_(dim) {}

bigstring::bigstring(std::size_t dim, uninitialized)
    : bytes_(std::make_shared_for_overwrite<std::uint8_t[]>(detail::checked_dim(dim))), dim_(dim) {}

std::uint8_t bigstring::get(std::size_t i) const {
  if (i >= dim_) throw std::out_of_range("Mivo.bigstring: index out of bounds");
  return bytes_.get()[i];
}

void bigstring::set(std::size_t i, std::uint8_t v) {
  if (i >= dim_) throw std::out_of_range("Mivo.bigstring: index out of bounds");
  bytes_.get()[i] = v;
}

cstruct cstruct::of_string(std::string_view s) {
  bigstring buffer = detail::bigstring_access::for_overwrite(s.size());
  std::copy(s.begin(), s.end(), buffer.data());
  return {std::move(buffer), 0, s.size()};
}

cstruct cstruct::create(std::size_t n) { return {bigstring(n), 0, n}; }

namespace detail {
namespace {

// The buffer index of byte i of the slice, checked against both the slice and its buffer.
std::size_t slice_index(const cstruct& cs, std::size_t i) {
  if (i >= cs.length || !fits(cs.offset, i + 1, cs.buffer.dim())) {
    throw std::out_of_range("Mivo.cstruct: index out of bounds");
  }
  return cs.offset + i;
}

}  // namespace
}  // namespace detail

std::uint8_t cstruct::get_uint8(std::size_t i) const {
  return buffer.get(detail::slice_index(*this, i));
}

void cstruct::set_uint8(std::size_t i, std::uint8_t v) {
  buffer.set(detail::slice_index(*this, i), v);
}

hex_text of_cstruct(const cstruct& cs) { return detail::of_string_fast(detail::slice_bytes(cs)); }

hex_text of_cstruct(skip_list skip, const cstruct& cs) {
  return detail::of_helper(skip, detail::slice_bytes(cs));
}

cstruct to_cstruct(const hex_text& h) {
  return detail::to_helper(
      detail::empty_cstruct(),
      [](std::size_t n) {
        return cstruct{detail::bigstring_access::for_overwrite(n), 0, n};
      },
      [](cstruct& cs) { return cs.buffer.data(); }, h);
}

hex_text of_bigstring(const bigstring& bs) {
  return detail::of_string_fast(detail::array_bytes(bs));
}

hex_text of_bigstring(skip_list skip, const bigstring& bs) {
  return detail::of_helper(skip, detail::array_bytes(bs));
}

bigstring to_bigstring(const hex_text& h) {
  return detail::to_helper(
      detail::empty_cstruct().buffer, detail::bigstring_access::for_overwrite,
      [](bigstring& bs) { return bs.data(); }, h);
}

}  // namespace mivo
