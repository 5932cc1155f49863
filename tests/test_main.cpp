// Runs the suite on the kernel that MIVO_KERNEL names, or skips it where this CPU lacks it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string_view>

#include "kernels/kernels.hpp"

namespace {

bool supported(std::string_view name) {
  for (const mivo::detail::kernel* k : mivo::detail::supported_kernels()) {
    if (name == k->name) return true;
  }
  return false;
}

class kernel_environment : public ::testing::Environment {
 public:
  void SetUp() override {
    const char* wanted = std::getenv("MIVO_KERNEL");
    if (wanted == nullptr) {
      ASSERT_EQ(mivo::kernel_request_status(), mivo::kernel_request::none);
      return;
    }
    if (!supported(wanted)) {
      // An unfollowed request is reported, and the best kernel runs instead.
      ASSERT_NE(mivo::kernel_request_status(), mivo::kernel_request::honoured);
      ASSERT_EQ(mivo::kernel_name(), mivo::detail::supported_kernels().back()->name);
      GTEST_SKIP() << "this CPU has no " << wanted << " kernel";
    }
    ASSERT_EQ(mivo::kernel_request_status(), mivo::kernel_request::honoured);
    ASSERT_STREQ(mivo::detail::active_kernel().name, wanted);
  }
};

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new kernel_environment);
  return RUN_ALL_TESTS();
}
