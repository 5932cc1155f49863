// Byte arrays and slices over them, the two outside memory types Mivo reads and builds.
// Included by <mivo.hpp>; not meant to be included on its own.
#ifndef MIVO_MIVO_CSTRUCT_HPP
#define MIVO_MIVO_CSTRUCT_HPP

#ifndef MIVO_API
#error "include <mivo.hpp> rather than <mivo_cstruct.hpp>"
#endif

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <utility>

namespace mivo {

namespace detail {
struct bigstring_access;
}

// A fixed-size array of bytes held by reference: copies share the same bytes, and `==` is true
// exactly when two handles share one array. A const handle gives read-only access.
class MIVO_API bigstring {
 public:
  // `dim` zero bytes. A `dim` above PTRDIFF_MAX throws std::length_error before any memory is
  // asked for; one that memory cannot hold throws std::bad_alloc.
  explicit bigstring(std::size_t dim);

  // A moved-from handle holds no array: it behaves as an empty one, dim() == 0, and equals
  // only other handles that hold none.
  bigstring(const bigstring&) = default;
  bigstring& operator=(const bigstring&) = default;
  bigstring(bigstring&& other) noexcept
      : bytes_(std::move(other.bytes_)), dim_(std::exchange(other.dim_, 0)) {}
  bigstring& operator=(bigstring&& other) noexcept {
    bytes_ = std::move(other.bytes_);
    dim_ = std::exchange(other.dim_, 0);
    return *this;
  }
  ~bigstring() = default;

  [[nodiscard]] std::size_t dim() const noexcept { return dim_; }
  // Checked element access; an index at or past dim() throws std::out_of_range.
  [[nodiscard]] std::uint8_t get(std::size_t i) const;
  void set(std::size_t i, std::uint8_t v);
  // The dim() bytes, for bulk access.
  [[nodiscard]] std::uint8_t* data() noexcept { return bytes_.get(); }
  [[nodiscard]] const std::uint8_t* data() const noexcept { return bytes_.get(); }

  friend bool operator==(const bigstring& a, const bigstring& b) noexcept {
    return !a.bytes_.owner_before(b.bytes_) && !b.bytes_.owner_before(a.bytes_);
  }

 private:
  friend struct detail::bigstring_access;
  struct uninitialized {};
  bigstring(std::size_t dim, uninitialized);

  std::shared_ptr<std::uint8_t[]> bytes_;
  std::size_t dim_;
};

// A slice: the `length` bytes of `buffer` from index `offset` on. Well formed when
// offset + length does not exceed buffer.dim(); the operations below and the encoders check it.
// A moved-from slice keeps its window over an array that now holds nothing, so it is either
// empty or malformed, and treated as such.
// `==` is true for the same window of the same array.
struct cstruct {
  bigstring buffer;
  std::size_t offset = 0;
  std::size_t length = 0;

  // A slice over a fresh array holding a copy of `s`.
  [[nodiscard]] MIVO_API static cstruct of_string(std::string_view s);
  // A slice over `n` fresh zero bytes; sizes fail as bigstring(n) does.
  [[nodiscard]] MIVO_API static cstruct create(std::size_t n);
  // Checked byte access within the slice; an index at or past `length`, or a byte outside the
  // buffer, throws std::out_of_range and touches nothing.
  [[nodiscard]] MIVO_API std::uint8_t get_uint8(std::size_t i) const;
  MIVO_API void set_uint8(std::size_t i, std::uint8_t v);

  friend bool operator==(const cstruct&, const cstruct&) = default;
};

}  // namespace mivo

#endif  // MIVO_MIVO_CSTRUCT_HPP
