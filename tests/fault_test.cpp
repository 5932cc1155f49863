// Allocation failure at every allocation an operation makes: std::bad_alloc reaches the caller,
// nothing leaks, and the library works afterwards. Also impossible sizes and malformed slices.
#include <atomic>
#include <cstdlib>
#include <limits>
#include <new>
#include <ostream>
#include <streambuf>
#include <string>

#include <iomanip>

#include "helpers.hpp"

namespace {

std::atomic<long> live_allocations{0};
std::atomic<long> total_allocations{0};
std::atomic<long> allocations_until_failure{-1};  // negative: never fail

void* allocate(std::size_t n) {
  if (allocations_until_failure.load() >= 0 && allocations_until_failure.fetch_sub(1) == 0) {
    throw std::bad_alloc();
  }
  void* p = std::malloc(n == 0 ? 1 : n);
  if (p == nullptr) throw std::bad_alloc();
  ++live_allocations;
  ++total_allocations;
  return p;
}

void release(void* p) noexcept {
  if (p == nullptr) return;
  --live_allocations;
  std::free(p);
}

}  // namespace

void* operator new(std::size_t n) { return allocate(n); }
void* operator new[](std::size_t n) { return allocate(n); }
void operator delete(void* p) noexcept { release(p); }
void operator delete[](void* p) noexcept { release(p); }
void operator delete(void* p, std::size_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t) noexcept { release(p); }

namespace {

// Runs op with the 0th, 1st, 2nd ... allocation failing until it needs no more than allowed.
// Returns how many allocations op made.
template <class Op>
long expect_clean_failure_at_every_allocation(Op op) {
  for (long allowed = 0;; ++allowed) {
    const long before = live_allocations.load();
    bool failed = false;
    allocations_until_failure = allowed;
    try {
      op();
    } catch (const std::bad_alloc&) {
      failed = true;
    }
    allocations_until_failure = -1;
    if (!failed) return allowed;
    EXPECT_EQ(live_allocations.load(), before) << "leak when allocation " << allowed << " fails";
    if (allowed > 50) {
      ADD_FAILURE() << "an operation that never succeeds";
      return allowed;
    }
  }
}

const std::string bytes = mivo_test::pattern(300);
const mivo::hex_text text = mivo::of_string(bytes);

// First, while the shared empty slice is still unbuilt.
TEST(AllocationFailure, BuildingTheSharedEmptySlice) {
  EXPECT_GT(
      expect_clean_failure_at_every_allocation([] { (void)mivo::to_cstruct(mivo::hex_text{}); }),
      0);
  const mivo::cstruct empty = mivo::to_cstruct(mivo::hex_text{});
  EXPECT_EQ(empty.length, 0U);
  EXPECT_EQ(empty, mivo::to_cstruct(mivo::hex_text{}));
  EXPECT_EQ(mivo::to_bigstring(mivo::hex_text{}), empty.buffer);
}

TEST(AllocationFailure, EveryOperation) {
  const mivo::cstruct slice = mivo::cstruct::of_string(bytes);
  expect_clean_failure_at_every_allocation([] { (void)mivo::of_string(bytes); });
  expect_clean_failure_at_every_allocation([] { (void)mivo::of_string({' '}, bytes); });
  expect_clean_failure_at_every_allocation([&] { (void)mivo::of_cstruct({' '}, slice); });
  expect_clean_failure_at_every_allocation([&] { (void)mivo::of_bigstring(slice.buffer); });
  expect_clean_failure_at_every_allocation([] { (void)mivo::to_string(text); });
  expect_clean_failure_at_every_allocation([] { (void)mivo::to_bytes(text); });
  expect_clean_failure_at_every_allocation([] { (void)mivo::to_cstruct(text); });
  expect_clean_failure_at_every_allocation([] { (void)mivo::to_bigstring(text); });
  expect_clean_failure_at_every_allocation([] { (void)mivo::hexdump_s(text); });
  expect_clean_failure_at_every_allocation([] { (void)mivo::cstruct::of_string(bytes); });
  // Building the error itself may run out of memory; either way the caller gets an exception.
  expect_clean_failure_at_every_allocation([] {
    try {
      (void)mivo::to_string(mivo::hex_text{"0"});
      ADD_FAILURE() << "odd text decoded";
    } catch (const std::invalid_argument&) {
    }
  });
}

TEST(AllocationFailure, LeavesTheLibraryWorking) {
  expect_clean_failure_at_every_allocation([] { (void)mivo::hexdump_s(text); });
  EXPECT_EQ(mivo::to_string(mivo::of_string(bytes)), bytes);
  EXPECT_EQ(mivo::hexdump_s(mivo::of_string("hello")),
            "00000000: 6865 6c6c 6f                             hello\n");
}

TEST(ImpossibleSize, EncodingThrowsLengthErrorBeforeReading) {
  // A view claiming more bytes than any string could hold twice; none of it may be read.
  const std::uint8_t one = 0;
  const std::size_t huge = std::numeric_limits<std::size_t>::max() / 2 + 1;
  const std::span<const std::uint8_t> claimed(&one, huge);
  EXPECT_THROW((void)mivo::of_bytes(claimed), std::length_error);
  EXPECT_THROW((void)mivo::of_bytes({0x00}, claimed), std::length_error);
}

// The caller-buffer forms and a running dump writer allocate nothing on success.
class discarding_buffer : public std::streambuf {
 protected:
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

TEST(NoAllocation, BufferFormsAndTheDumpWriter) {
  const std::string raw = mivo_test::pattern(1 << 20);
  std::string digits(2 * raw.size(), '\0');
  std::string back(raw.size(), '\0');
  (void)mivo::kernel_name();  // the kernel is chosen once, on first use
  discarding_buffer sink;
  std::ostream out(&sink);
  mivo::dump_writer writer(out);
  const std::size_t kept_digits = mivo::of_string({' ', '\n'}, raw).text.size();
  const std::string text = mivo::of_string(raw).text;

  const long before = total_allocations.load();
  EXPECT_EQ(mivo::encode_into(digits, raw), digits.size());
  EXPECT_EQ(mivo::encode_into(digits, {' ', '\n'}, raw), kept_digits);
  EXPECT_EQ(mivo::decode_into(back, text), raw.size());
  writer.write_bytes(mivo::as_bytes(raw));
  writer.write_text(std::string_view(digits).substr(0, 1001));
  writer.write_bytes(mivo::as_bytes(raw));
  writer.finish();
  out << std::setw(3000000) << std::left << mivo::hex(raw) << mivo::hex(raw);
  EXPECT_EQ(total_allocations.load(), before);
  EXPECT_EQ(back, raw);
}

// Below the library's own limit the allocator decides: 2^62 bytes is far more than memory.
TEST(ImpossibleSize, AnArrayMemoryCannotHoldIsBadAlloc) {
  const std::size_t huge = std::size_t{1} << 62;
  const long before = live_allocations.load();
  EXPECT_THROW(mivo::bigstring{huge}, std::bad_alloc);
  EXPECT_THROW((void)mivo::cstruct::create(huge), std::bad_alloc);
  EXPECT_EQ(live_allocations.load(), before);
}

TEST(MalformedSlice, EveryBoundary) {
  const mivo::bigstring buffer(8);
  const std::size_t max = std::numeric_limits<std::size_t>::max();
  struct window {
    std::size_t offset;
    std::size_t length;
  };
  for (const window w : {window{8, 1}, window{9, 0}, window{max, 0}, window{max, 1}, window{1, max},
                         window{max / 2, max / 2 + 3}, window{0, 9}}) {
    const mivo::cstruct cs{buffer, w.offset, w.length};
    EXPECT_THROW((void)mivo::of_cstruct(cs), std::out_of_range) << w.offset << "+" << w.length;
    EXPECT_THROW((void)mivo::of_cstruct({0x00}, cs), std::out_of_range);
  }
  EXPECT_EQ(mivo::of_cstruct(mivo::cstruct{buffer, 8, 0}).text, "");
  EXPECT_EQ(mivo::of_cstruct(mivo::cstruct{buffer, 0, 8}).text, "0000000000000000");
}

}  // namespace
