#include "platform/time/LocalDateTime.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <limits>
#include <random>
#include <vector>

#include "platform/time/TimeZone.h"
#include "tests/support/TestSupport.h"

namespace kestrel::time {
namespace {

using test::ScopedTimeZone;

constexpr std::int64_t kSecondsPerDay = 86'400;
constexpr FileTime kUnitsPerMs = 10'000;
// Days from 1899-12-30 to 1970-01-01.
constexpr std::int64_t kUnixEpochSerial = 25'569;
constexpr double kOneMs = 1.0 / 86'400'000;

CalendarTime Fields(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                    int millisecond = 0) {
  return {year, month, day, hour, minute, second, millisecond};
}

testing::AssertionResult SameFields(const std::optional<CalendarTime>& actual,
                                    const CalendarTime& expected) {
  const auto text = [](const CalendarTime& f) {
    return testing::Message() << f.year << '-' << f.month << '-' << f.day << ' ' << f.hour << ':'
                              << f.minute << ':' << f.second << '.' << f.millisecond;
  };
  if (!actual) return testing::AssertionFailure() << "nothing decoded, expected " << text(expected);
  const CalendarTime& a = *actual;
  const bool same = a.year == expected.year && a.month == expected.month && a.day == expected.day &&
                    a.hour == expected.hour && a.minute == expected.minute &&
                    a.second == expected.second && a.millisecond == expected.millisecond;
  if (same) return testing::AssertionSuccess();
  return testing::AssertionFailure() << text(a) << " instead of " << text(expected);
}

// A UTC moment as a file time, worked out with the C library's calendar (timegm).
FileTime UtcFileTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
  std::tm fields{};
  fields.tm_year = year - 1900;
  fields.tm_mon = month - 1;
  fields.tm_mday = day;
  fields.tm_hour = hour;
  fields.tm_min = minute;
  fields.tm_sec = second;
  const std::int64_t unixSeconds = timegm(&fields);
  return static_cast<FileTime>(unixSeconds + kFileTimeUnixEpochSeconds) *
         static_cast<FileTime>(kFileTimeUnitsPerSecond);
}

TEST(LocalDateTime, EncodesDatesAsDaysSince18991230) {
  EXPECT_EQ(EncodeLocalDateTime(Fields(1899, 12, 30)), 0.0);
  EXPECT_EQ(EncodeLocalDateTime(Fields(1899, 12, 31)), 1.0);
  EXPECT_EQ(EncodeLocalDateTime(Fields(1900, 1, 1)), 2.0);
  EXPECT_EQ(EncodeLocalDateTime(Fields(2000, 1, 1, 12)), 36526.5);
  EXPECT_EQ(EncodeLocalDateTime(Fields(1601, 1, 1)), -109205.0);
  EXPECT_EQ(EncodeLocalDateTime(Fields(1, 1, 1)), -693593.0);
  EXPECT_EQ(EncodeLocalDateTime(Fields(9999, 12, 31)), 2958465.0);
}

// Before the epoch the time of day is subtracted: 06:00 on the day before is -1.25, not -0.75.
TEST(LocalDateTime, CountsTheTimeOfDayForwardBeforeTheEpoch) {
  EXPECT_EQ(EncodeLocalDateTime(Fields(1899, 12, 29, 6)), -1.25);
  EXPECT_EQ(EncodeLocalDateTime(Fields(1899, 12, 30, 18)), 0.75);
  EXPECT_EQ(EncodeLocalDateTime(Fields(1601, 1, 1, 9)), -109205.375);
  EXPECT_TRUE(SameFields(DecodeLocalDateTime(-1.25), Fields(1899, 12, 29, 6)));
  EXPECT_TRUE(SameFields(DecodeLocalDateTime(-1.75), Fields(1899, 12, 29, 18)));
  EXPECT_TRUE(SameFields(DecodeLocalDateTime(-2.0), Fields(1899, 12, 28)));
  // Between -1 and 0 the date part is 0, so the value lies on 1899-12-30.
  EXPECT_TRUE(SameFields(DecodeLocalDateTime(-0.25), Fields(1899, 12, 30, 6)));
}

TEST(LocalDateTime, RefusesFieldsOutOfRange) {
  EXPECT_TRUE(EncodeLocalDateTime(Fields(2000, 2, 29)).has_value());
  EXPECT_TRUE(EncodeLocalDateTime(Fields(9999, 12, 31, 23, 59, 59, 999)).has_value());
  const CalendarTime invalid[] = {
      Fields(0, 12, 31),
      Fields(10000, 1, 1),
      Fields(2021, 0, 1),
      Fields(2021, 13, 1),
      Fields(2021, 1, 0),
      Fields(2021, 1, 32),
      Fields(2021, 4, 31),
      Fields(2021, 2, 29),
      Fields(1900, 2, 29),
      Fields(2021, 1, 1, 24),
      Fields(2021, 1, 1, -1),
      Fields(2021, 1, 1, 0, 60),
      Fields(2021, 1, 1, 0, -1),
      Fields(2021, 1, 1, 0, 0, 60),
      Fields(2021, 1, 1, 0, 0, 0, 1000),
      Fields(2021, 1, 1, 0, 0, 0, -1),
  };
  for (const CalendarTime& fields : invalid) {
    EXPECT_FALSE(EncodeLocalDateTime(fields).has_value())
        << fields.year << '-' << fields.month << '-' << fields.day << ' ' << fields.hour << ':'
        << fields.minute << ':' << fields.second << '.' << fields.millisecond;
  }
}

TEST(LocalDateTime, DecodeRoundsToTheMillisecondAndCarriesIntoTheNextDay) {
  EXPECT_TRUE(SameFields(DecodeLocalDateTime(0.5 + 0.4 * kOneMs), Fields(1899, 12, 30, 12)));
  EXPECT_TRUE(
      SameFields(DecodeLocalDateTime(0.5 + 0.6 * kOneMs), Fields(1899, 12, 30, 12, 0, 0, 1)));
  EXPECT_TRUE(
      SameFields(DecodeLocalDateTime(36526 - 0.6 * kOneMs), Fields(1999, 12, 31, 23, 59, 59, 999)));
  EXPECT_TRUE(SameFields(DecodeLocalDateTime(36526 - 0.4 * kOneMs), Fields(2000, 1, 1)));
  // Before the epoch the next day is the one nearer to zero.
  EXPECT_TRUE(SameFields(DecodeLocalDateTime(-2 + 0.4 * kOneMs), Fields(1899, 12, 30)));
  EXPECT_TRUE(
      SameFields(DecodeLocalDateTime(-2 + 0.6 * kOneMs), Fields(1899, 12, 29, 23, 59, 59, 999)));
}

TEST(LocalDateTime, DecodeRefusesValuesOutsideYears1To9999) {
  EXPECT_TRUE(SameFields(DecodeLocalDateTime(-693593.5), Fields(1, 1, 1, 12)));
  EXPECT_TRUE(SameFields(DecodeLocalDateTime(2958465 + 0.5), Fields(9999, 12, 31, 12)));
  const double outside[] = {
      -693594.0,
      2958466.0,
      2958466 - 0.4 * kOneMs,  // rounds up into the year 10000
      1e300,
      -1e300,
      std::numeric_limits<double>::infinity(),
      -std::numeric_limits<double>::infinity(),
      std::numeric_limits<double>::quiet_NaN(),
  };
  for (const double value : outside) EXPECT_FALSE(DecodeLocalDateTime(value).has_value()) << value;
}

TEST(LocalDateTime, SplitsAndComposesDateAndTime) {
  EXPECT_EQ(DatePart(-1.25), -1.0);
  EXPECT_EQ(TimePart(-1.25), 0.25);
  EXPECT_EQ(DatePart(36526.75), 36526.0);
  EXPECT_EQ(TimePart(36526.75), 0.75);
  EXPECT_EQ(ComposeLocalDateTime(-1.0, 0.25), -1.25);
  EXPECT_EQ(ComposeLocalDateTime(36526.0, 0.25), 36526.25);
  // Only the date of the first and the time of the second count, whatever their signs.
  EXPECT_EQ(ComposeLocalDateTime(-1.75, 2.25), -1.25);
  EXPECT_EQ(ComposeLocalDateTime(36526.9, -5.25), 36526.25);
}

// Moving a date across the epoch keeps its time of day, as the date and time editors need.
TEST(LocalDateTime, ComposedValuesKeepTheTimeOfDayOnEitherSideOfTheEpoch) {
  const double evening = *EncodeLocalDateTime(Fields(1990, 5, 17, 18, 30));
  for (const CalendarTime& date : {Fields(1850, 6, 1), Fields(1899, 12, 29), Fields(2030, 1, 2)}) {
    const double value = ComposeLocalDateTime(*EncodeLocalDateTime(date), TimePart(evening));
    EXPECT_TRUE(
        SameFields(DecodeLocalDateTime(value), Fields(date.year, date.month, date.day, 18, 30)));
    EXPECT_EQ(TimePart(value), TimePart(evening));
  }
}

// Every day of the range, each at a different time of day, against the C library's calendar.
TEST(LocalDateTime, EveryDayFromYear1To9999AgreesWithTheCLibraryCalendar) {
  for (std::int64_t serial = -693593; serial <= 2958465; ++serial) {
    const std::int64_t secondOfDay = serial * 7919 % kSecondsPerDay;
    const std::int64_t millisecond = serial * 31 % 1000;
    const std::time_t unixSeconds =
        (serial - kUnixEpochSerial) * kSecondsPerDay + std::llabs(secondOfDay);
    std::tm expected{};
    ASSERT_NE(gmtime_r(&unixSeconds, &expected), nullptr);
    const CalendarTime fields =
        Fields(expected.tm_year + 1900, expected.tm_mon + 1, expected.tm_mday, expected.tm_hour,
               expected.tm_min, expected.tm_sec, static_cast<int>(std::llabs(millisecond)));
    const auto value = EncodeLocalDateTime(fields);
    ASSERT_TRUE(value.has_value()) << serial;
    ASSERT_EQ(DatePart(*value), static_cast<double>(serial));
    ASSERT_TRUE(SameFields(DecodeLocalDateTime(*value), fields)) << serial;
  }
}

TEST(LocalDateTimeFileTime, FileTimeZeroInTokyoIs1601At0900) {
  const ScopedTimeZone zone("Asia/Tokyo");
  // Tokyo's local mean time of 1601 was +9:18:59; the offset of today is used instead.
  EXPECT_EQ(FileTimeToLocalDateTime(0), -109205.375);
  EXPECT_EQ(FileTimeToLocalDateTime(UtcFileTime(2000, 1, 1)), 36526.375);
  EXPECT_EQ(LocalDateTimeToFileTime(-109205.375), FileTime{0});
  EXPECT_EQ(LocalDateTimeToFileTime(36526.375), UtcFileTime(2000, 1, 1));
}

// Winter and summer dates move by the same amount: the offset in force now, as Windows does.
TEST(LocalDateTimeFileTime, ShiftsEveryDateByTheOffsetInForceNow) {
  for (const char* name : {"Europe/Berlin", "America/New_York", "Australia/Sydney"}) {
    SCOPED_TRACE(name);
    const ScopedTimeZone zone(name);
    const std::int64_t offset = CurrentUtcOffsetSeconds();
    const int hour = static_cast<int>((12 * 3600 + offset) / 3600);
    for (const FileTime noon : {UtcFileTime(2021, 1, 15, 12), UtcFileTime(2021, 7, 15, 12),
                                UtcFileTime(1601, 3, 1, 12), UtcFileTime(9999, 7, 1, 12)}) {
      const auto local = FileTimeToLocalDateTime(noon);
      ASSERT_TRUE(local.has_value());
      const auto fields = DecodeLocalDateTime(*local);
      ASSERT_TRUE(fields.has_value());
      EXPECT_EQ(fields->hour, hour);
      EXPECT_EQ(fields->minute, 0);
      EXPECT_EQ(LocalDateTimeToFileTime(*local), noon);
    }
  }
}

TEST(LocalDateTimeFileTime, DropsTheDigitsBelowTheMillisecond) {
  const ScopedTimeZone zone("Asia/Tokyo");
  const FileTime almostMidnight = UtcFileTime(2020, 2, 29, 14, 59, 59) + 9'999'999;
  const auto local = FileTimeToLocalDateTime(almostMidnight);
  ASSERT_TRUE(local.has_value());
  EXPECT_TRUE(SameFields(DecodeLocalDateTime(*local), Fields(2020, 2, 29, 23, 59, 59, 999)));
  EXPECT_EQ(LocalDateTimeToFileTime(*local), almostMidnight - 9'999);
}

// Any file time whose local date-time lies within years 1 to 9999 comes back, to the millisecond.
TEST(LocalDateTimeFileTime, RoundTripsFileTimesToTheMillisecond) {
  const FileTime end = UtcFileTime(10000, 1, 1);
  std::vector<FileTime> samples = {
      0,
      1,
      9'999,
      10'000,
      10'001,
      UtcFileTime(1601, 1, 1, 23, 59, 59) + 9'999'999,
      UtcFileTime(1601, 12, 31, 23, 59, 59),
      UtcFileTime(1899, 12, 30),
      UtcFileTime(1970, 1, 1),
      UtcFileTime(2038, 1, 19, 3, 14, 7),
      UtcFileTime(2038, 1, 19, 3, 14, 8),
      UtcFileTime(2106, 2, 7, 6, 28, 16),
      UtcFileTime(9999, 12, 31, 9, 59, 59) + 9'999'999,
      UtcFileTime(9999, 12, 31, 10),
      end - 1,
      end,
  };
  std::mt19937_64 random(20240229);
  std::uniform_int_distribution<FileTime> anyTime(
      0, end + 30 * kSecondsPerDay * kFileTimeUnitsPerSecond);
  for (int i = 0; i < 20'000; ++i) samples.push_back(anyTime(random));

  for (const char* name : {"Asia/Tokyo", "America/New_York", "Europe/Berlin", "Pacific/Kiritimati",
                           "Pacific/Pago_Pago", "Asia/Kathmandu"}) {
    SCOPED_TRACE(name);
    const ScopedTimeZone zone(name);
    const std::int64_t offsetMs = CurrentUtcOffsetSeconds() * 1000;
    const auto endMs = static_cast<std::int64_t>(end / kUnitsPerMs);
    for (const FileTime fileTime : samples) {
      const auto localMs = static_cast<std::int64_t>(fileTime / kUnitsPerMs) + offsetMs;
      const bool representable = fileTime < end && localMs < endMs;
      const auto local = FileTimeToLocalDateTime(fileTime);
      ASSERT_EQ(local.has_value(), representable) << fileTime;
      if (local) {
        ASSERT_EQ(LocalDateTimeToFileTime(*local), fileTime - fileTime % kUnitsPerMs) << fileTime;
      }
    }
  }
}

TEST(LocalDateTimeFileTime, RefusesFileTimesPastTheYear9999) {
  const ScopedTimeZone zone("America/New_York");
  // Local time would still be in 9999 here, but the file time itself is not.
  EXPECT_FALSE(FileTimeToLocalDateTime(UtcFileTime(10000, 1, 1)).has_value());
  EXPECT_FALSE(FileTimeToLocalDateTime(0x7FFF'FFFF'FFFF'FFFFULL).has_value());
  EXPECT_FALSE(FileTimeToLocalDateTime(0x8000'0000'0000'0000ULL).has_value());
  EXPECT_FALSE(FileTimeToLocalDateTime(0xFFFF'FFFF'FFFF'FFFFULL).has_value());
}

TEST(LocalDateTimeFileTime, RefusesLocalTimesOutsideTheFileTimeRange) {
  {
    const ScopedTimeZone zone("Asia/Tokyo");
    EXPECT_FALSE(LocalDateTimeToFileTime(*EncodeLocalDateTime(Fields(1601, 1, 1, 8, 59, 59, 999)))
                     .has_value());
    EXPECT_FALSE(LocalDateTimeToFileTime(*EncodeLocalDateTime(Fields(1, 1, 1))).has_value());
    EXPECT_EQ(LocalDateTimeToFileTime(*EncodeLocalDateTime(Fields(9999, 12, 31, 23, 59, 59, 999))),
              UtcFileTime(9999, 12, 31, 14, 59, 59) + 9'990'000);
    EXPECT_FALSE(LocalDateTimeToFileTime(std::numeric_limits<double>::quiet_NaN()).has_value());
    EXPECT_FALSE(LocalDateTimeToFileTime(2958466.0).has_value());
  }
  {
    // West of Greenwich the first file time is a local time in 1600.
    const ScopedTimeZone zone("America/New_York");
    const auto first = FileTimeToLocalDateTime(0);
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(DecodeLocalDateTime(*first)->year, 1600);
    EXPECT_EQ(LocalDateTimeToFileTime(*first), FileTime{0});
    // One millisecond earlier; before the epoch that means a smaller time fraction.
    EXPECT_FALSE(LocalDateTimeToFileTime(ComposeLocalDateTime(*first, TimePart(*first) - kOneMs))
                     .has_value());
    EXPECT_FALSE(
        LocalDateTimeToFileTime(*EncodeLocalDateTime(Fields(9999, 12, 31, 23))).has_value());
  }
}

}  // namespace
}  // namespace kestrel::time
