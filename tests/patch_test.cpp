// Patching a file in place when a write fails, a signal comes or the process dies part-way:
// the target ends whole (original or patched), or its undo file brings the original back.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "../cli/patch.hpp"
#include "helpers.hpp"

namespace {

namespace fs = std::filesystem;

std::string read_file(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void write_file(const fs::path& p, const std::string& bytes) {
  std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes;
}

// A write that fails, or that does something else first, on the Nth call; the others write.
struct faulty_writes {
  static inline int calls = 0;
  static inline int fail_at = 0;
  static inline int error = 0;
  static inline int signal = 0;  // raised on that call instead, which then writes
  static constexpr int dies = 137;

  static ssize_t pwrite(int fd, const void* data, std::size_t n, off_t at) {
    if (++calls == fail_at) {
      if (signal != 0) {
        std::raise(signal);
      } else if (error != 0) {
        errno = error;
        return -1;
      } else {
        ::_exit(dies);  // as after kill -9: nothing cleans up
      }
    }
    return ::pwrite(fd, data, n, at);
  }

  static mivo_cli::target_writes failing(int at, int error_number, int signal_number = 0) {
    calls = 0;
    fail_at = at;
    error = error_number;
    signal = signal_number;
    return {.pwrite = pwrite};
  }
};

class Patch : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("mivo_patch_test." + std::to_string(::getpid()));
    fs::create_directories(dir);
    target = (dir / "t").string();
    original = mivo_test::pattern(1 << 20);
    write_file(target, original);
    // Rows far apart: each is a write of its own, and one grows the file.
    std::string text;
    patched = original;
    for (std::uint64_t at = 0; at < (1 << 20); at += 0x10000) {
      text += mivo::hexdump_s({.label = mivo::row_label::byte_offset, .first_offset = at},
                              mivo::of_string(std::string(16, 'p')));
      patched.replace(at, 16, std::string(16, 'p'));
    }
    text += "00100008: 7171\n";
    patched += std::string(8, '\0') + "qq";
    write_file(dir / "d", text);
  }
  void TearDown() override { fs::remove_all(dir); }

  void patch(const mivo_cli::target_writes& writes = {}) const {
    mivo_cli::undump_patch({(dir / "d").string()}, target, offsets, writes);
  }

  // Patches in a child process that dies at its Nth write.
  void patch_dying_at(int write) const {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      patch(faulty_writes::failing(write, 0));
      ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), faulty_writes::dies);
  }

  const mivo::dump_options offsets{.label = mivo::row_label::byte_offset};
  fs::path dir;
  std::string target;
  std::string original;
  std::string patched;
};

TEST_F(Patch, WritesEveryRowAndLeavesNoUndoFile) {
  patch();
  EXPECT_EQ(read_file(target), patched);
  EXPECT_FALSE(fs::exists(mivo_cli::undo_file_of(target)));
}

TEST_F(Patch, AFailedWriteRestoresTheTarget) {
  for (const int at : {1, 5, 17}) {
    EXPECT_THROW_MESSAGE(patch(faulty_writes::failing(at, ENOSPC)), mivo_cli::failure,
                         target + ": write error: No space left on device; " + target +
                             " restored, nothing changed");
    EXPECT_EQ(read_file(target), original) << at;  // the size too: the growth is taken back
    EXPECT_FALSE(fs::exists(mivo_cli::undo_file_of(target)));
  }
}

TEST_F(Patch, ASignalRestoresTheTargetAndIsReported) {
  for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
    try {
      patch(faulty_writes::failing(3, 0, signal));
      FAIL() << "no interruption";
    } catch (const mivo_cli::interrupted& e) {
      EXPECT_EQ(e.signal(), signal);
      EXPECT_THAT(e.what(), ::testing::EndsWith("; " + target + " restored, nothing changed"));
    }
    EXPECT_EQ(read_file(target), original);
  }
}

TEST_F(Patch, AfterADeathTheUndoFileRefusesAPatchAndPutsTheOriginalBack) {
  patch_dying_at(9);
  ASSERT_TRUE(fs::exists(mivo_cli::undo_file_of(target)));
  EXPECT_NE(read_file(target), original);
  EXPECT_THROW_MESSAGE(patch(), mivo_cli::failure,
                       target + ": an interrupted patch left " + mivo_cli::undo_file_of(target) +
                           ": 'mivo undump --undo " + target + "' puts its original bytes back");
  mivo_cli::undo_patch(target);
  EXPECT_EQ(read_file(target), original);
  EXPECT_FALSE(fs::exists(mivo_cli::undo_file_of(target)));
  EXPECT_THROW(mivo_cli::undo_patch(target), mivo_cli::failure);  // nothing left to undo
}

TEST_F(Patch, ATornUndoFileIsNeverApplied) {
  patch_dying_at(2);
  const std::string undo = mivo_cli::undo_file_of(target);
  const std::string saved = read_file(undo);
  const std::string half_patched = read_file(target);
  for (const std::size_t cut : {std::size_t{10}, saved.size() / 2, saved.size() - 1}) {
    write_file(undo, saved.substr(0, cut));
    EXPECT_THROW(mivo_cli::undo_patch(target), mivo_cli::failure) << cut;
    EXPECT_EQ(read_file(target), half_patched);
  }
  std::string flipped = saved;
  flipped[saved.size() / 2] ^= 1;
  write_file(undo, flipped);
  EXPECT_THROW(mivo_cli::undo_patch(target), mivo_cli::failure);
  EXPECT_EQ(read_file(target), half_patched);
}

}  // namespace
