// Many threads at once from the very first call, when the shared empty slice is built and the
// kernel chosen. Run under ThreadSanitizer in CI.
#include <gtest/gtest.h>

#include <latch>
#include <thread>
#include <vector>

#include <mivo.hpp>

namespace {

constexpr int thread_count = 8;
constexpr int rounds = 200;

// One thread's share of work; returns false on any wrong result.
bool work(int seed, const mivo::cstruct& reference_empty) {
  bool ok = true;
  for (int i = 0; i < rounds; ++i) {
    const std::string bytes(static_cast<std::size_t>((seed * 31 + i * 7) % 300),
                            static_cast<char>(seed + i));
    const mivo::hex_text h = mivo::of_string(bytes);
    ok = ok && mivo::to_string(h) == bytes;
    ok = ok &&
         mivo::of_string({static_cast<std::uint8_t>(seed)}, bytes).text.size() <= h.text.size();
    ok = ok && mivo::to_cstruct(mivo::hex_text{}) == reference_empty;
    ok = ok && mivo::to_bigstring(mivo::hex_text{}) == reference_empty.buffer;
    ok = ok && mivo::hexdump_s(h).size() >= h.text.size();
    try {
      (void)mivo::to_bytes(mivo::hex_text{"0g"});
      ok = false;
    } catch (const std::invalid_argument& e) {
      ok = ok && std::string(e.what()) == "Mivo.to_char: 103 is an invalid char";
    }
  }
  return ok;
}

TEST(Threads, ConcurrentFirstAndLaterCalls) {
  std::latch start(thread_count);
  std::vector<mivo::cstruct> first_empty(thread_count, mivo::cstruct{mivo::bigstring(0), 0, 0});
  std::vector<char> ok(thread_count, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < thread_count; ++t) {
    threads.emplace_back([&, t] {
      start.arrive_and_wait();
      first_empty[t] = mivo::to_cstruct(mivo::hex_text{});
      ok[t] = work(t, first_empty[t]) ? 1 : 0;
    });
  }
  for (std::thread& t : threads) t.join();
  for (int t = 0; t < thread_count; ++t) {
    EXPECT_TRUE(ok[t]) << t;
    EXPECT_EQ(first_empty[t], first_empty[0]) << t;
  }
}

}  // namespace
