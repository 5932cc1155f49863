// Byte diff: runs that rebuild the second input from the first, edits found where they were
// made, and streams split anyhow giving the same runs.
#include <cstring>
#include <random>
#include <vector>

#include "helpers.hpp"

namespace {

using mivo::diff_kind;

struct run {
  diff_kind kind;
  std::uint64_t offset1;
  std::uint64_t offset2;
  std::size_t length1;
  std::size_t length2;
  bool operator==(const run&) const = default;
};

std::string random_bytes(std::size_t n, unsigned seed) {
  std::mt19937 next(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(next());
  return s;
}

// Checks each run as it comes: the runs cover both inputs in order, equal runs are equal and
// changed ones one for one, and together they rebuild `b` from `a`. Keeps them with consecutive
// runs of a kind merged.
class checker {
 public:
  checker(const std::string& a, const std::string& b) : a_(a), b_(b) {}

  bool operator()(const mivo::diff_run& r) {
    EXPECT_EQ(r.offset1, at1_);
    EXPECT_EQ(r.offset2, at2_);
    EXPECT_TRUE(r.first.size() + r.second.size() > 0);
    EXPECT_TRUE(std::string(r.first.begin(), r.first.end()) ==
                a_.substr(r.offset1, r.first.size()));
    EXPECT_TRUE(std::string(r.second.begin(), r.second.end()) ==
                b_.substr(r.offset2, r.second.size()));
    const bool same = std::ranges::equal(r.first, r.second);
    EXPECT_TRUE(r.kind != diff_kind::equal || same);
    EXPECT_TRUE(r.kind != diff_kind::changed || r.first.size() == r.second.size());
    EXPECT_TRUE(r.kind != diff_kind::inserted || r.first.empty());
    EXPECT_TRUE(r.kind != diff_kind::deleted || r.second.empty());
    rebuilt_.append(r.second.begin(), r.second.end());
    at1_ += r.first.size();
    at2_ += r.second.size();
    if (!runs_.empty() && runs_.back().kind == r.kind) {
      runs_.back().length1 += r.first.size();
      runs_.back().length2 += r.second.size();
    } else {
      runs_.push_back({r.kind, r.offset1, r.offset2, r.first.size(), r.second.size()});
    }
    return true;
  }

  std::vector<run> finish() const {
    EXPECT_EQ(at1_, a_.size());
    EXPECT_EQ(at2_, b_.size());
    EXPECT_TRUE(rebuilt_ == b_);
    return runs_;
  }

 private:
  const std::string& a_;
  const std::string& b_;
  std::vector<run> runs_;
  std::string rebuilt_;
  std::uint64_t at1_ = 0;
  std::uint64_t at2_ = 0;
};

std::vector<run> diff(const std::string& a, const std::string& b, bool* differ = nullptr) {
  checker check(a, b);
  const bool d = mivo::diff(mivo_test::bytes_of(a), mivo_test::bytes_of(b), std::ref(check));
  if (differ != nullptr) *differ = d;
  return check.finish();
}

std::vector<run> edits(const std::vector<run>& runs) {
  std::vector<run> out;
  std::ranges::copy_if(runs, std::back_inserter(out),
                       [](const run& r) { return r.kind != diff_kind::equal; });
  return out;
}

TEST(Diff, SameAndEmptyInputs) {
  bool differ = true;
  EXPECT_TRUE(diff("", "", &differ).empty());
  EXPECT_FALSE(differ);
  const std::string x = random_bytes(300000, 1);
  EXPECT_EQ(diff(x, x, &differ), (std::vector<run>{{diff_kind::equal, 0, 0, x.size(), x.size()}}));
  EXPECT_FALSE(differ);
  EXPECT_EQ(diff("", "abc", &differ), (std::vector<run>{{diff_kind::inserted, 0, 0, 0, 3}}));
  EXPECT_TRUE(differ);
  EXPECT_EQ(diff("abc", ""), (std::vector<run>{{diff_kind::deleted, 0, 0, 3, 0}}));
}

TEST(Diff, OneFileAPrefixOfTheOther) {
  const std::string x = random_bytes(5000, 2);
  EXPECT_EQ(edits(diff(x.substr(0, 4000), x)),
            (std::vector<run>{{diff_kind::inserted, 4000, 4000, 0, 1000}}));
  EXPECT_EQ(edits(diff(x, x.substr(0, 1))),
            (std::vector<run>{{diff_kind::deleted, 1, 1, 4999, 0}}));
}

// Each edit made at the start, in the middle and at the end is found as itself.
TEST(Diff, FindsSingleEditsWhereTheyWereMade) {
  const std::string x = random_bytes(100000, 3);
  for (const std::size_t at : {std::size_t{0}, std::size_t{50000}, x.size() - 100}) {
    std::string inserted = x;
    inserted.insert(at, "Q");
    EXPECT_EQ(edits(diff(x, inserted)), (std::vector<run>{{diff_kind::inserted, at, at, 0, 1}}))
        << at;
    std::string deleted = x;
    deleted.erase(at, 100);
    EXPECT_EQ(edits(diff(x, deleted)), (std::vector<run>{{diff_kind::deleted, at, at, 100, 0}}))
        << at;
    std::string overwritten = x;
    overwritten.replace(at, 100, random_bytes(100, 4));
    EXPECT_EQ(edits(diff(x, overwritten)),
              (std::vector<run>{{diff_kind::changed, at, at, 100, 100}}))
        << at;
  }
}

// Random bytes agree by chance once in 256; a replaced block must not split on that.
TEST(Diff, AReplacedBlockStaysOneChangedRun) {
  const std::string x = random_bytes(40000, 5);
  for (const std::size_t length : {5, 30, 64, 500, 4096}) {
    std::string y = x;
    for (unsigned seed = 10; seed < 20; ++seed) {
      y.replace(10000, length, random_bytes(length, seed));
      const auto found = edits(diff(x, y));
      ASSERT_EQ(found.size(), 1U) << length;
      EXPECT_EQ(found[0].kind, diff_kind::changed);
      EXPECT_LE(found[0].length1, length);  // a byte that happens to agree at an edge is equal
      EXPECT_GE(found[0].length1 + 2, length);
    }
  }
}

TEST(Diff, EditsFarApartAreSeparateRuns) {
  const std::string x = random_bytes(1 << 20, 6);
  std::string y = x;
  y.erase(900000, 100);
  y.replace(500000, 4096, random_bytes(4096, 7));
  y.insert(100000, "!");
  EXPECT_EQ(edits(diff(x, y)), (std::vector<run>{{diff_kind::inserted, 100000, 100000, 0, 1},
                                                 {diff_kind::changed, 500000, 500001, 4096, 4096},
                                                 {diff_kind::deleted, 900000, 900001, 100, 0}}));
}

TEST(Diff, EditsCloseTogetherAreAlignedByteByByte) {
  EXPECT_EQ(diff("hello, world", "hallo, worlds"),
            (std::vector<run>{{diff_kind::equal, 0, 0, 1, 1},
                              {diff_kind::changed, 1, 1, 1, 1},
                              {diff_kind::equal, 2, 2, 10, 10},
                              {diff_kind::inserted, 12, 12, 0, 1}}));
  const std::string x = random_bytes(1000, 8);
  std::string y = x;
  y.insert(520, "ab");
  y.erase(510, 3);
  const auto found = edits(diff(x, y));
  ASSERT_EQ(found.size(), 2U);
  EXPECT_EQ(found[0], (run{diff_kind::deleted, 510, 510, 3, 0}));
  EXPECT_EQ(found[1], (run{diff_kind::inserted, 520, 517, 0, 2}));
}

// Inputs with nothing in common end in time linear in their size, reported as changed.
TEST(Diff, UnrelatedInputsAreChangedNotSearchedForever) {
  const std::string a = random_bytes(6 << 20, 9);
  const std::string b = random_bytes((6 << 20) + 5, 10);
  const auto found = diff(a, b);
  std::size_t changed = 0;
  for (const run& r : found) changed += r.kind == diff_kind::changed ? r.length1 : 0;
  EXPECT_GE(changed, a.size() - 64);
}

TEST(Diff, StreamsSplitAnyhowGiveTheSameRuns) {
  std::string a = random_bytes(300000, 11);
  std::string b = a;
  b.insert(150000, std::string(5000, '\0'));
  b.erase(20, 1);
  const auto whole = diff(a, b);
  for (const std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{65536}}) {
    const auto source = [piece](const std::string& s) {
      return [&s, piece, at = std::size_t{0}](std::span<std::uint8_t> into) mutable {
        const std::size_t n = std::min({piece, into.size(), s.size() - at});
        std::memcpy(into.data(), s.data() + at, n);
        at += n;
        return n;
      };
    };
    checker check(a, b);
    EXPECT_TRUE(mivo::diff(source(a), source(b), std::ref(check)));
    EXPECT_EQ(check.finish(), whole) << piece;
  }
}

TEST(Diff, StopsWhenTheSinkSaysSo) {
  const std::string a = random_bytes(1 << 20, 12);
  std::string b = a;
  b[10] ^= 1;
  b[900000] ^= 1;
  int calls = 0;
  EXPECT_TRUE(mivo::diff(mivo_test::bytes_of(a), mivo_test::bytes_of(b), [&](const auto& r) {
    ++calls;
    return r.kind == diff_kind::equal;
  }));
  EXPECT_EQ(calls, 2);
}

TEST(Diff, ASourceThatThrowsEndsTheDiff) {
  const auto failing = [](std::span<std::uint8_t>) -> std::size_t {
    throw std::runtime_error("read error");
  };
  const auto empty = [](std::span<std::uint8_t>) { return std::size_t{0}; };
  EXPECT_THROW(mivo::diff(failing, empty, [](const auto&) { return true; }), std::runtime_error);
}

}  // namespace
