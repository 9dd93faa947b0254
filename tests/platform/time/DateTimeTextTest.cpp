#include "platform/time/DateTimeText.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "platform/time/LocalDateTime.h"

namespace kestrel::time {
namespace {

constexpr double kOneMs = 1.0 / 86'400'000;

LocalDateTime Value(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                    int millisecond = 0) {
  const auto value = EncodeLocalDateTime({year, month, day, hour, minute, second, millisecond});
  EXPECT_TRUE(value.has_value()) << year << '-' << month << '-' << day;
  return value.value_or(0);
}

TEST(DateTimeText, FormatsDateAndTimeWithTheHourUnpadded) {
  EXPECT_EQ(FormatDateTimeText(Value(2010, 3, 15, 9, 5)), "2010/03/15 9:05:00");
  EXPECT_EQ(FormatDateTimeText(Value(2020, 2, 29, 23, 59, 59)), "2020/02/29 23:59:59");
  EXPECT_EQ(FormatDateTimeText(Value(1999, 12, 31, 10, 0, 7)), "1999/12/31 10:00:07");
  EXPECT_EQ(FormatDateTimeText(Value(2022, 1, 1, 0, 0, 1)), "2022/01/01 0:00:01");
  EXPECT_EQ(FormatDateTimeText(Value(2022, 1, 1, 0, 1)), "2022/01/01 0:01:00");
}

TEST(DateTimeText, LeavesOutAMidnightTime) {
  EXPECT_EQ(FormatDateTimeText(Value(2022, 1, 1)), "2022/01/01");
  // Milliseconds alone do not make a time worth showing.
  EXPECT_EQ(FormatDateTimeText(Value(2022, 1, 1, 0, 0, 0, 999)), "2022/01/01");
}

TEST(DateTimeText, TruncatesSecondsAfterRoundingToTheMillisecond) {
  EXPECT_EQ(FormatDateTimeText(Value(2010, 3, 15, 9, 5, 0, 999)), "2010/03/15 9:05:00");
  EXPECT_EQ(FormatDateTimeText(Value(2010, 3, 15, 23, 59, 59, 999)), "2010/03/15 23:59:59");
  // Less than half a millisecond before midnight rounds up into the next day.
  EXPECT_EQ(FormatDateTimeText(Value(2010, 3, 16) - 0.4 * kOneMs), "2010/03/16");
  EXPECT_EQ(FormatDateTimeText(Value(2010, 3, 16) - 0.6 * kOneMs), "2010/03/15 23:59:59");
}

TEST(DateTimeText, FormatsTheEdgesOfTheRange) {
  EXPECT_EQ(FormatDateTimeText(-109205.375), "1601/01/01 9:00:00");
  EXPECT_EQ(FormatDateTimeText(-1.25), "1899/12/29 6:00:00");
  EXPECT_EQ(FormatDateTimeText(0.0), "1899/12/30");
  EXPECT_EQ(FormatDateTimeText(Value(1, 1, 1)), "0001/01/01");
  EXPECT_EQ(FormatDateTimeText(Value(9999, 12, 31, 23, 59, 59, 999)), "9999/12/31 23:59:59");
  for (const double outside : {-693594.0, 2958466.0, std::numeric_limits<double>::quiet_NaN(),
                               std::numeric_limits<double>::infinity()}) {
    EXPECT_EQ(FormatDateTimeText(outside), "") << outside;
  }
}

TEST(DateTimeText, ParsesWhatPeopleType) {
  const struct {
    const char* text;
    LocalDateTime expected;
  } cases[] = {
      {"2010/03/15 9:05:00", Value(2010, 3, 15, 9, 5)},
      {"2010/03/15 09:05:00", Value(2010, 3, 15, 9, 5)},
      {"2010/3/5 9:05", Value(2010, 3, 5, 9, 5)},
      {"2010/03/15 9:5:7", Value(2010, 3, 15, 9, 5, 7)},
      {"2020/02/29 23:59:59", Value(2020, 2, 29, 23, 59, 59)},
      {"2022/01/01", Value(2022, 1, 1)},
      {"2022/1/1", Value(2022, 1, 1)},
      {"  2022/01/01 0:00:00 \t", Value(2022, 1, 1)},
      {"\t2022/01/01  12:30 ", Value(2022, 1, 1, 12, 30)},
      {"0001/01/01", Value(1, 1, 1)},
      {"9999/12/31 23:59:59", Value(9999, 12, 31, 23, 59, 59)},
      // Before the epoch the time is subtracted from the (negative) date.
      {"1899/12/29 6:00", -1.25},
      {"1601/01/01 9:00:00", -109205.375},
  };
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(ParseDateTimeText(text), expected) << '"' << text << '"';
  }
}

TEST(DateTimeText, RefusesMalformedText) {
  const char* const cases[] = {
      "",
      "   ",
      "2021/02/29",
      "1900/02/29",
      "2021/13/01",
      "2021/00/10",
      "2021/01/00",
      "2021/04/31",
      "0000/01/01",
      "10000/01/01",
      "21/01/01",
      "2021/001/01",
      "2021/01/01 24:00",
      "2021/01/01 12:60",
      "2021/01/01 12:00:60",
      "2021/01/01 123:00",
      "2021/01/01 12:000",
      "2021/01/01 12",
      "2021/01/01 12:",
      "2021/01/01 12:00:",
      "2021/01/01 12:00:00:00",
      "2021/01/01 12:00:00.5",
      "2021/01/01 12:00:00x",
      "2021/01/01x",
      "2021/01/01 PM",
      "2021/01/0112:00",
      "2021-01-01",
      "2021.01.01",
      "2021/01/01T12:00",
      "2021/01/01 12.00",
      "+2021/01/01",
      "2021/-1/01",
      "12:00",
      "２０２１/01/01",
  };
  for (const char* text : cases) {
    EXPECT_FALSE(ParseDateTimeText(text).has_value()) << '"' << text << '"';
  }
  // A NUL after the date is trailing garbage, not the end of the text.
  EXPECT_FALSE(ParseDateTimeText(std::string_view("2021/01/01\0", 11)).has_value());
}

// Whatever is shown can be typed back in, to the second: the first and last days of every month
// of years 1 to 9999, each at a different time of day.
TEST(DateTimeText, RoundTripsEveryMonthFromYear1To9999ToTheSecond) {
  std::int64_t count = 0;
  for (int year = 1; year <= 9999; ++year) {
    for (int month = 1; month <= 12; ++month) {
      for (const int day : {1, 28, 29, 30, 31}) {
        const auto secondOfDay = static_cast<int>(count * 7919 % 86'400);
        const auto millisecond = static_cast<int>(count % 2) * 999;
        CalendarTime fields{year, month, day, secondOfDay / 3600, secondOfDay / 60 % 60};
        fields.second = secondOfDay % 60;
        fields.millisecond = millisecond;
        const auto value = EncodeLocalDateTime(fields);
        if (!value) continue;  // a day the month does not have
        ++count;
        const std::string text = FormatDateTimeText(*value);
        fields.millisecond = 0;
        ASSERT_EQ(ParseDateTimeText(text), EncodeLocalDateTime(fields)) << text;
      }
    }
  }
  // Per year: the 1st and 28th of 12 months, the 29th and 30th of 11, the 31st of 7; and the
  // 29th of February in each of the 2424 leap years.
  EXPECT_EQ(count, 9999 * (12 * 2 + 11 * 2 + 7) + 2424);
}

}  // namespace
}  // namespace kestrel::time
