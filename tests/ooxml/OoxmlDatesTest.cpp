#include "ooxml/OoxmlDates.h"

#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

namespace kestrel::ooxml {
namespace {

TEST(UtcIsoToLocalText, ShiftsByTheStandardOffset) {
  const test::ScopedTimeZone tokyo("Asia/Tokyo");
  EXPECT_EQ(UtcIsoToLocalText("2009-05-12T03:04:05Z"), "2009/05/12 12:04:05");
  EXPECT_EQ(UtcIsoToLocalText("2009-05-11T15:00:00Z"), "2009/05/12");
  EXPECT_EQ(UtcIsoToLocalText("  2009-05-12T03:04:05.25Z "), "2009/05/12 12:04:05");
  EXPECT_EQ(UtcIsoToLocalText("2021-12-31T20:00:00Z"), "2022/01/01 5:00:00");
  // No zone, or fields that make no date.
  EXPECT_EQ(UtcIsoToLocalText("2009-05-12T03:04:05"), "");
  EXPECT_EQ(UtcIsoToLocalText("2009-05-12 03:04:05"), "");
  EXPECT_EQ(UtcIsoToLocalText("2009-02-30T00:00:00Z"), "");
  EXPECT_EQ(UtcIsoToLocalText("2009-05-12T24:00:00Z"), "");
  EXPECT_EQ(UtcIsoToLocalText("ZT"), "");
  EXPECT_EQ(UtcIsoToLocalText(""), "");
}

// Every W3CDTF form, read as the instant it means and shown in Tokyo (UTC+9).
TEST(UtcIsoToLocalText, ReadsEveryW3cdtfForm) {
  const test::ScopedTimeZone tokyo("Asia/Tokyo");
  const struct {
    const char* stored;
    const char* shown;
  } cases[] = {
      {"2009-05-12T12:04:05+09:00", "2009/05/12 12:04:05"}, {"2009-05-12T03:04:05-00:00", "2009/05/12 12:04:05"},
      {"2009-05-11T22:34:05-04:30", "2009/05/12 12:04:05"}, {"2009-05-12T03:04:05.999999Z", "2009/05/12 12:04:05"},
      {"2009-05-12T12:04:05.5+09:00", "2009/05/12 12:04:05"}, {"2009-05-12T03:04Z", "2009/05/12 12:04:00"},
      {"2009-12-31T23:30:00-14:00", "2010/01/01 22:30:00"}, {"2009-05-12", "2009/05/12 9:00:00"},
      {"2009-05", "2009/05/01 9:00:00"},  {"2009", "2009/01/01 9:00:00"},
      // Not W3CDTF, or out of range: kept as stored by a change, shown empty.
      {"2009-05-12T03:04:05", ""}, {"2009-05-12T03:04:05+0900", ""}, {"2009-05-12T03:04:05+15:00", ""},
      {"2009-05-12T03:04:05.Z", ""}, {"2009-5-12", ""}, {"2009-05-12T03Z", ""}, {"09-05-12", ""},
      {"2009-05-12T03:04:05Zjunk", ""}, {"0000-01-01", ""}, {"0001-01-01T00:00:00+01:00", ""},
      {"2009-05-12T03:04:60Z", ""}, {"2009-13", ""}, {"2009-05-12T23:59:59-09:60", ""},
  };
  for (const auto& [stored, shown] : cases) EXPECT_EQ(UtcIsoToLocalText(stored), shown) << stored;
}

// Daylight saving is never applied, whatever the date.
TEST(UtcIsoToLocalText, IgnoresDaylightSaving) {
  const test::ScopedTimeZone berlin("Europe/Berlin");
  EXPECT_EQ(UtcIsoToLocalText("2009-07-01T00:00:00Z"), "2009/07/01 1:00:00");
  EXPECT_EQ(UtcIsoToLocalText("2009-01-01T00:00:00Z"), "2009/01/01 1:00:00");
  EXPECT_EQ(LocalTextToUtcIso("2009/07/01 1:00:00"), "2009-07-01T00:00:00Z");
}

TEST(LocalTextToUtcIso, GivesTheStoredForm) {
  const test::ScopedTimeZone tokyo("Asia/Tokyo");
  EXPECT_EQ(LocalTextToUtcIso("2009/05/12 12:04:05"), "2009-05-12T03:04:05Z");
  EXPECT_EQ(LocalTextToUtcIso("2009/05/12"), "2009-05-11T15:00:00Z");
  EXPECT_EQ(LocalTextToUtcIso("2009/5/2 7:04"), "2009-05-01T22:04:00Z");
  EXPECT_EQ(LocalTextToUtcIso("0001/01/01"), "");  // would fall before year 1
  EXPECT_EQ(LocalTextToUtcIso("yesterday"), "");
  EXPECT_EQ(LocalTextToUtcIso(""), "");
  // What the reading shows parses back to the same stored text.
  for (const char* stored : {"2021-04-01T09:15:30Z", "2020-02-29T23:59:59Z", "1999-12-31T15:00:00Z"}) {
    EXPECT_EQ(LocalTextToUtcIso(UtcIsoToLocalText(stored)), stored);
  }
}

}  // namespace
}  // namespace kestrel::ooxml
