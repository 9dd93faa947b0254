#include "platform/time/TimeZone.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/TestSupport.h"

namespace kestrel::time {
namespace {

using test::ScopedTimeZone;

// date(1) run under the same TZ: "+0900" as seconds east of UTC.
std::int64_t OffsetFromDateCommand() {
  const test::CommandResult result = test::RunCommand("date +%z");
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_GE(result.output.size(), 5U) << result.output;
  if (result.output.size() < 5) return 0;
  const std::int64_t hours = std::stoi(result.output.substr(1, 2));
  const std::int64_t minutes = std::stoi(result.output.substr(3, 2));
  const std::int64_t seconds = hours * 3600 + minutes * 60;
  return result.output[0] == '-' ? -seconds : seconds;
}

// The zone's abbreviation in force now, from date(1).
std::string AbbreviationFromDateCommand() {
  std::string output = test::RunCommand("date +%Z").output;
  while (!output.empty() && output.back() == '\n') output.pop_back();
  return output;
}

TEST(TimeZone, CurrentOffsetFollowsTz) {
  for (const char* name : {"Asia/Tokyo", "Europe/Berlin", "America/New_York", "Australia/Sydney",
                           "Asia/Kathmandu", "UTC"}) {
    SCOPED_TRACE(name);
    const ScopedTimeZone zone(name);
    EXPECT_EQ(CurrentUtcOffsetSeconds(), OffsetFromDateCommand());
  }
  {
    const ScopedTimeZone zone("Asia/Tokyo");
    EXPECT_EQ(CurrentUtcOffsetSeconds(), 9 * 3600);
  }
  {
    const ScopedTimeZone zone("Asia/Kathmandu");
    EXPECT_EQ(CurrentUtcOffsetSeconds(), 5 * 3600 + 45 * 60);
  }
}

// Checked in both hemispheres, so one of Berlin and Sydney has daylight saving in force for
// most of the year whenever the test runs.
TEST(TimeZone, StandardOffsetLeavesOutDaylightSaving) {
  const struct {
    const char* name;
    std::int64_t standard;
  } zones[] = {
      {"Asia/Tokyo", 9 * 3600},
      {"Europe/Berlin", 3600},
      {"America/New_York", -5 * 3600},
      {"Australia/Sydney", 10 * 3600},
      {"Asia/Kathmandu", 5 * 3600 + 45 * 60},
      {"UTC", 0},
      {"EST5EDT,M3.2.0,M11.1.0", -5 * 3600},
      {"JST-9", 9 * 3600},
  };
  for (const auto& [name, standard] : zones) {
    SCOPED_TRACE(name);
    const ScopedTimeZone zone(name);
    EXPECT_EQ(StandardUtcOffsetSeconds(), standard);
  }
}

TEST(TimeZone, CurrentOffsetExceedsTheStandardOneByTheDaylightSavingInForce) {
  const struct {
    const char* name;
    const char* daylightAbbreviation;
  } zones[] = {
      {"Europe/Berlin", "CEST"},
      {"America/New_York", "EDT"},
      {"Australia/Sydney", "AEDT"},
  };
  for (const auto& [name, daylightAbbreviation] : zones) {
    SCOPED_TRACE(name);
    const ScopedTimeZone zone(name);
    const bool daylight = AbbreviationFromDateCommand() == daylightAbbreviation;
    EXPECT_EQ(CurrentUtcOffsetSeconds() - StandardUtcOffsetSeconds(), daylight ? 3600 : 0);
  }
}

}  // namespace
}  // namespace kestrel::time
