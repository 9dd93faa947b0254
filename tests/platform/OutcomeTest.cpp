// A failed Result always says why.

#include "platform/Outcome.h"

#include <gtest/gtest.h>

namespace kestrel {
namespace {

TEST(Result, ASuccessGivenAsItsFailureStopsADebugBuildAndOtherwiseStillSaysWhy) {
#ifdef NDEBUG
  const Result<int> result(Outcome::Success());
  EXPECT_FALSE(result);
  EXPECT_EQ(result.outcome().kind(), FailureKind::Io);
  EXPECT_FALSE(result.outcome().message().empty());
#else
  EXPECT_DEATH(Result<int>(Outcome::Success()), "a Result needs a value or a failure");
#endif
  const Result<int> failed(Outcome::Failure(FailureKind::Damaged, "broken"));
  EXPECT_EQ(failed.outcome().message(), "broken");
}

}  // namespace
}  // namespace kestrel
