// Two inputs that differ by random edits: the reported runs rebuild the second from the first,
// cover both in order, and are the same whether the inputs come whole or in pieces.
// Input: [edit count e][e edits of 4 bytes: kind, place (2 bytes), length][piece size][first...]
#include <cstring>
#include <vector>

#include "fuzz_common.hpp"

namespace {

struct seen_run {
  mivo::diff_kind kind;
  std::size_t length1;
  std::size_t length2;
  bool operator==(const seen_run&) const = default;
};

std::string apply_edits(std::string s, const std::uint8_t* edits, std::size_t count) {
  for (std::size_t k = 0; k < count; ++k, edits += 4) {
    const std::size_t at = s.empty() ? 0 : (std::size_t{edits[1]} << 8 | edits[2]) % (s.size() + 1);
    const std::size_t length = edits[3];
    std::string fill(length, '\0');
    for (std::size_t i = 0; i < length; ++i) fill[i] = static_cast<char>(edits[0] * 31 + i * 7);
    switch (edits[0] % 3) {
      case 0:
        s.insert(at, fill);
        break;
      case 1:
        s.erase(at, length);
        break;
      default:
        s.replace(at, std::min(length, s.size() - at), fill);
        break;
    }
  }
  return s;
}

// Runs the diff, checking each run against the inputs; returns the runs, each kind merged.
std::vector<seen_run> checked_diff(const std::string& a, const std::string& b, std::size_t piece) {
  using namespace mivo_fuzz;
  std::vector<seen_run> runs;
  std::string rebuilt;
  std::uint64_t at1 = 0;
  std::uint64_t at2 = 0;
  const auto sink = [&](const mivo::diff_run& r) {
    check(r.offset1 == at1 && r.offset2 == at2, "runs follow one another");
    check(std::memcmp(r.first.data(), a.data() + at1, r.first.size()) == 0 &&
              std::memcmp(r.second.data(), b.data() + at2, r.second.size()) == 0,
          "a run's bytes are the inputs' bytes");
    const bool same = std::memcmp(r.first.data(), r.second.data(), r.first.size()) == 0;
    switch (r.kind) {
      case mivo::diff_kind::equal:
        check(r.first.size() == r.second.size() && same, "equal");
        break;
      case mivo::diff_kind::changed:
        check(r.first.size() == r.second.size(), "changed");
        break;
      case mivo::diff_kind::deleted:
        check(r.second.empty(), "deleted");
        break;
      case mivo::diff_kind::inserted:
        check(r.first.empty(), "inserted");
        break;
    }
    rebuilt.append(r.second.begin(), r.second.end());
    at1 += r.first.size();
    at2 += r.second.size();
    if (!runs.empty() && runs.back().kind == r.kind) {
      runs.back().length1 += r.first.size();
      runs.back().length2 += r.second.size();
    } else {
      runs.push_back({r.kind, r.first.size(), r.second.size()});
    }
    return true;
  };
  const auto source = [piece](const std::string& s) {
    return [&s, piece, at = std::size_t{0}](std::span<std::uint8_t> into) mutable {
      const std::size_t n = std::min({piece, into.size(), s.size() - at});
      if (n > 0) std::memcpy(into.data(), s.data() + at, n);
      at += n;
      return n;
    };
  };
  const bool differ = piece == 0 ? mivo::diff(mivo::as_bytes(a), mivo::as_bytes(b), sink)
                                 : mivo::diff(source(a), source(b), sink);
  check(at1 == a.size() && at2 == b.size(), "the runs cover both inputs");
  check(rebuilt == b, "the runs rebuild the second input");
  check(differ == (a != b), "diff says whether they differ");
  return runs;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::size_t edits = std::min<std::size_t>(data[0] % 9, (size - 2) / 4);
  const std::size_t piece = data[1 + 4 * edits] % 64 + 1;
  const std::string a(reinterpret_cast<const char*>(data) + 2 + 4 * edits, size - 2 - 4 * edits);
  const std::string b = apply_edits(a, data + 1, edits);
  const auto whole = checked_diff(a, b, 0);
  mivo_fuzz::check(checked_diff(a, b, piece) == whole, "pieces give the runs of the whole");
  return 0;
}
