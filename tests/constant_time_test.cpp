// Secrets in constant time. Run under valgrind with the secret bytes marked undefined, memcheck
// counts every branch and every memory index that depends on them; the caller-buffer forms on
// every kernel, tails included, must add none. The one place where validity is made public is
// declassify() in the header.
#include <valgrind/memcheck.h>

#include <string>
#include <vector>

#include "codec.hpp"
#include "helpers.hpp"
#include "kernels/kernels.hpp"

namespace {

const std::vector<std::size_t> sizes = {0,  1,  2,  15, 16,  17,   31,   32,  33,
                                        48, 63, 64, 65, 100, 4095, 4097, 9000};

// Errors memcheck has reported so far.
unsigned errors() { return VALGRIND_COUNT_ERRORS; }

template <class T>
void make_secret(T* data, std::size_t n) {
  (void)VALGRIND_MAKE_MEM_UNDEFINED(data, n * sizeof(T));
}

template <class T>
void make_public(T* data, std::size_t n) {
  (void)VALGRIND_MAKE_MEM_DEFINED(data, n * sizeof(T));
}

class ConstantTime : public ::testing::Test {
 protected:
  void SetUp() override {
    if (RUNNING_ON_VALGRIND == 0) GTEST_SKIP() << "meaningful only under valgrind memcheck";
  }
};

TEST_F(ConstantTime, EveryKernelEncodesAndDecodesWithoutLookingAtTheBytes) {
  for (const mivo::detail::kernel* k : mivo::detail::supported_kernels()) {
    for (const std::size_t n : sizes) {
      const std::string original = mivo_test::pattern(n);
      std::vector<std::uint8_t> bytes(original.begin(), original.end());
      std::string digits(2 * n, '\0');
      std::vector<std::uint8_t> back(n);
      make_secret(bytes.data(), n);
      const unsigned before = errors();
      k->encode_secret(bytes.data(), n, digits.data());
      bool valid = k->decode_secret(digits.data(), n, back.data());
      ASSERT_EQ(errors(), before) << k->name << ", " << n << " bytes";
      make_public(&valid, 1);
      make_public(back.data(), n);
      EXPECT_TRUE(valid);
      EXPECT_EQ(std::string(back.begin(), back.end()), original) << k->name << ", " << n;
    }
  }
}

TEST_F(ConstantTime, TheCallerBufferFormsDeclassifyOnlyValidity) {
  for (const std::size_t n : sizes) {
    const std::string original = mivo_test::pattern(n);
    std::string secret = original;
    std::string digits(2 * n, '\0');
    std::vector<std::uint8_t> back(n);
    make_secret(secret.data(), n);
    const unsigned before = errors();
    (void)mivo::encode_into(digits, secret);
    (void)mivo::decode_into(back, digits);
    ASSERT_EQ(errors(), before) << n << " bytes";
    make_public(back.data(), n);
    EXPECT_EQ(std::string(back.begin(), back.end()), original);
  }
}

// An invalid text tells where its first bad pair is and which character is rejected; the
// digits around it, the other character of its pair included, stay secret.
TEST_F(ConstantTime, AnInvalidTextRevealsOnlyWhereItsFirstBadPairIs) {
  for (const mivo::detail::kernel* k : mivo::detail::supported_kernels()) {
    for (const std::size_t n : {std::size_t{1}, std::size_t{17}, std::size_t{4096},
                                std::size_t{4100}, std::size_t{9000}}) {
      for (const std::size_t bad : {std::size_t{0}, n / 2, n - 1}) {
        for (const std::size_t which : {std::size_t{0}, std::size_t{1}}) {
          const std::string original = mivo_test::pattern(n);
          std::string digits = mivo::of_string(original).text;
          const std::size_t at = 2 * bad + which;
          digits[at] = 'g';
          if (bad + 1 < n) digits[2 * n - 1] = 'x';  // a later fault plays no part
          std::vector<std::uint8_t> back(n);
          make_secret(digits.data(), digits.size());
          make_public(digits.data() + at, 1);
          const unsigned before = errors();
          std::size_t position = SIZE_MAX;
          try {
            (void)mivo::detail::decode_secret_into(*k, back, digits);
          } catch (const mivo::decode_error& e) {
            position = e.position();
          }
          ASSERT_EQ(errors(), before) << k->name << ", " << n << " pairs, bad at " << at;
          EXPECT_EQ(position, at);
          make_public(back.data(), n);
          EXPECT_EQ(std::string(back.begin(), back.begin() + static_cast<std::ptrdiff_t>(bad)),
                    original.substr(0, bad));
        }
      }
    }
  }
}

TEST_F(ConstantTime, TheCheckSeesATableLookup) {
  std::vector<std::uint8_t> bytes(64, 7);
  std::string digits(128, '\0');
  make_secret(bytes.data(), bytes.size());
  const unsigned before = errors();
  mivo::detail::scalar_kernel.encode(bytes.data(), bytes.size(), digits.data());
  EXPECT_GT(errors(), before) << "the table-driven encoder went unnoticed";
}

}  // namespace
