#include <gtest/gtest.h>

#include "curl/CurlGlobal.h"

namespace {

// What the programs' main() does first: libcurl's process-wide set-up, before any worker thread exists.
class CurlEnvironment final : public ::testing::Environment {
 public:
  void SetUp() override { ASSERT_TRUE(pm::initializeCurl()); }
};

const auto* const curlEnvironment = ::testing::AddGlobalTestEnvironment(new CurlEnvironment);

}  // namespace
