#include "doc/DopStatistics.h"

#include <gtest/gtest.h>

#include "platform/storage/CompoundFile.h"
#include "platform/time/DateTimeText.h"
#include "tests/support/LockHolder.h"
#include "tests/support/Oracles.h"
#include "tests/support/TestSupport.h"

namespace kestrel::doc {
namespace {

namespace fs = std::filesystem;

std::uint32_t LeHex32(const std::string& hex) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<std::uint32_t>(std::stoul(hex.substr(static_cast<std::size_t>(i) * 2, 2), nullptr, 16));
  return value;
}

// The 18 dates bytes as olefile finds them by the FIB, in hex.
std::optional<std::string> DatesHex(const fs::path& file) {
  const auto flags = test::StreamBytes(file, "WordDocument", 10, 2);
  const auto fcDop = test::StreamBytes(file, "WordDocument", 402, 4);
  if (!flags || !fcDop || flags->size() != 4) return std::nullopt;
  const bool table1 = (std::stoul(flags->substr(2, 2), nullptr, 16) & 0x02) != 0;
  return test::StreamBytes(file, table1 ? "1Table" : "0Table", LeHex32(*fcDop) + 20, 18);
}

catalogue::PropertyRows Rows(std::initializer_list<std::pair<int, std::string>> values, bool included) {
  catalogue::PropertyRows rows;
  rows.included.fill(included);
  for (const auto& [row, text] : values) rows.values.at(static_cast<std::size_t>(row)) = text;
  return rows;
}

// Rewrites bytes of a stream of a copy, to make damaged or unusual documents.
void Patch(const fs::path& file, const char16_t* stream, std::uint64_t offset, std::vector<std::uint8_t> bytes) {
  auto cf = storage::CompoundFile::Open(file, kestrel::fs::OpenMode::ReadWrite);
  ASSERT_TRUE(cf);
  const auto id = cf->FindChild(storage::kRootEntry, stream);
  ASSERT_TRUE(id);
  ASSERT_TRUE(cf->WriteStreamRange(*id, offset, bytes));
}

TEST(PackDttm, PacksLocalFieldsToTheMinute) {
  const auto when = time::ParseDateTimeText("2009/01/15 9:05:40");
  ASSERT_TRUE(when);
  EXPECT_EQ(PackDttm(*when), 0x06D17A45u);
  EXPECT_EQ(PackDttm(*time::ParseDateTimeText("1900/01/01")), 0x00010800u);
  EXPECT_EQ(PackDttm(*time::ParseDateTimeText("2411/12/31 23:59:00")), 0x1FFCFDFBu);
  // A DTTM cannot hold these; they are written as "no date".
  EXPECT_EQ(PackDttm(*time::ParseDateTimeText("1899/12/31 12:00:00")), 0u);
  EXPECT_EQ(PackDttm(*time::ParseDateTimeText("1601/01/01 9:00:00")), 0u);
  EXPECT_EQ(PackDttm(*time::ParseDateTimeText("2412/01/01")), 0u);
}

TEST(ReadEditingMinutes, ReadsTheDopOrZero) {
  EXPECT_EQ(ReadEditingMinutes(test::DataFile("poi-ja-cp932.doc")), 90);
  EXPECT_EQ(ReadEditingMinutes(test::DataFile("poi-ascii-cp1252.doc")), 62);
  EXPECT_EQ(ReadEditingMinutes(test::DataFile("lo-ja-full.doc")), 0);
  EXPECT_EQ(ReadEditingMinutes(test::DataFile("x.doc")), 0);
  EXPECT_EQ(ReadEditingMinutes(test::DataFile("no-such-file.doc")), 0);
}

TEST(WriteDopDates, ChangesOnlyTheMaskedFields) {
  if (!test::OlefilePython()) GTEST_SKIP() << "python3-olefile is not installed";
  const test::TempDir dir;
  const auto file = dir.Copy(test::DataFile("poi-ja-cp932.doc"));
  const auto streams = test::DumpStreams(file);
  const auto before = DatesHex(file);
  ASSERT_TRUE(streams && before);

  DopDates dates{0x11111111, 0x22222222, 0x33333333, 0x4444, 1234};
  ASSERT_TRUE(WriteDopDates(file, dates, DopWriteMask{false, false, false, false, true}));
  EXPECT_EQ(*DatesHex(file), before->substr(0, 28) + "d2040000");
  EXPECT_EQ(ReadEditingMinutes(file), 1234);

  ASSERT_TRUE(WriteDopDates(file, dates, DopWriteMask{true, true, true, true, false}));
  EXPECT_EQ(*DatesHex(file), "111111112222222233333333" "4444" "d2040000");

  const auto after = test::DumpStreams(file);
  ASSERT_TRUE(after);
  for (const auto& [path, hash] : *streams) {
    if (path != "1Table") {
      EXPECT_EQ(after->at(path), hash) << path;
    }
  }
}

TEST(BuildDopDates, SingleChangeWritesAllFiveFields) {
  if (!test::OlefilePython()) GTEST_SKIP() << "python3-olefile is not installed";
  const test::TempDir dir;
  const auto file = dir.Copy(test::DataFile("lo-ja-full.doc"));
  const auto rows = Rows({{catalogue::kCreated, "2009/01/15 9:05:40"},
                          {catalogue::kLastSaved, "2009/01/15 9:05"},
                          {catalogue::kLastPrinted, ""},
                          {catalogue::kRevisionNumber, "abc"},
                          {catalogue::kEditingTime, "abc"}},
                         true);
  ASSERT_TRUE(BuildDopDates(file, rows));
  EXPECT_EQ(*DatesHex(file), "457ad106" "457ad106" "00000000" "0300" "00000000");

  const auto numbers = Rows({{catalogue::kCreated, "2009/01/15"},
                             {catalogue::kLastSaved, "2009/01/15"},
                             {catalogue::kLastPrinted, "2009/01/15 0:01:00"},
                             {catalogue::kRevisionNumber, "70000"},
                             {catalogue::kEditingTime, "-5"}},
                            true);
  ASSERT_TRUE(BuildDopDates(file, numbers));
  // 70000 keeps its low 16 bits, as the field is 16 bits wide.
  EXPECT_EQ(*DatesHex(file), "0078d106" "0078d106" "0178d106" "7011" "fbffffff");
}

TEST(BuildDopDates, BatchWritesOnlyIncludedRows) {
  if (!test::OlefilePython()) GTEST_SKIP() << "python3-olefile is not installed";
  const test::TempDir dir;
  const auto file = dir.Copy(test::DataFile("poi-ascii-cp1252.doc"));
  const auto before = DatesHex(file);
  ASSERT_TRUE(before);
  // The date rows are left out and hold nothing valid: they must not fail the change.
  auto rows = Rows({{catalogue::kCreated, ""}, {catalogue::kLastSaved, "?"}, {catalogue::kEditingTime, "75"}}, false);
  rows.included[catalogue::kEditingTime] = true;
  ASSERT_TRUE(BuildDopDates(file, rows));
  EXPECT_EQ(*DatesHex(file), before->substr(0, 28) + "4b000000");

  rows.included[catalogue::kLastSaved] = true;
  const auto bytes = test::ReadBytes(file);
  EXPECT_FALSE(BuildDopDates(file, rows));
  EXPECT_EQ(test::ReadBytes(file), bytes);
}

TEST(DopStatistics, FollowsTheTableStreamTheFibNames) {
  const test::TempDir dir;
  const auto file = dir.Copy(test::DataFile("poi-ja-cp932.doc"));
  // A "0Table" holding other minutes, then the FIB pointed at it.
  {
    auto cf = storage::CompoundFile::Open(file, kestrel::fs::OpenMode::ReadWrite);
    ASSERT_TRUE(cf);
    auto table = cf->ReadStream(*cf->FindChild(storage::kRootEntry, u"1Table"));
    ASSERT_TRUE(table);
    (*table)[431 + 34] = 77;
    ASSERT_TRUE(cf->CreateStream(storage::kRootEntry, u"0Table", *table));
  }
  EXPECT_EQ(ReadEditingMinutes(file), 90);
  auto cf = storage::CompoundFile::Open(file, kestrel::fs::OpenMode::Read);
  const auto fib = cf->ReadStreamRange(*cf->FindChild(storage::kRootEntry, u"WordDocument"), 10, 2);
  cf.reset();
  ASSERT_TRUE(fib && fib->size() == 2);
  Patch(file, u"WordDocument", 11, {static_cast<std::uint8_t>((*fib)[1] & ~0x02)});
  EXPECT_EQ(ReadEditingMinutes(file), 77);
  ASSERT_TRUE(WriteDopDates(file, DopDates{0, 0, 0, 0, 5}, DopWriteMask{false, false, false, false, true}));
  EXPECT_EQ(ReadEditingMinutes(file), 5);
  Patch(file, u"WordDocument", 11, {(*fib)[1]});
  EXPECT_EQ(ReadEditingMinutes(file), 90);
}

// A DOP too short for the block, or lying past its stream, is neither read nor written.
TEST(DopStatistics, RefusesADopThatCannotHoldTheBlock) {
  const test::TempDir dir;
  const auto shortDop = dir.Copy(test::DataFile("poi-ja-cp932.doc"), "short.doc");
  Patch(shortDop, u"WordDocument", 406, {37, 0, 0, 0});
  const auto outside = dir.Copy(test::DataFile("poi-ja-cp932.doc"), "outside.doc");
  Patch(outside, u"WordDocument", 402, {0xF0, 0x0F, 0, 0});  // 4080 + 38 > 4096
  const auto wrapped = dir.Copy(test::DataFile("poi-ja-cp932.doc"), "wrapped.doc");
  Patch(wrapped, u"WordDocument", 402, {0xF0, 0xFF, 0xFF, 0xFF});
  const auto locked = dir.Copy(test::DataFile("poi-ja-cp932.doc"), "locked.doc");
  const test::LockHolder holder(locked, false);
  ASSERT_TRUE(holder.Holding());
  const auto all = Rows({{catalogue::kCreated, "2020/01/01"}, {catalogue::kLastSaved, "2020/01/01"}}, true);
  for (const fs::path& file : {shortDop, outside, wrapped, locked, test::DataFile("x.doc")}) {
    const auto bytes = test::ReadBytes(file);
    if (file != locked) {
      EXPECT_EQ(ReadEditingMinutes(file), 0) << file;
    }
    EXPECT_FALSE(BuildDopDates(file, all)) << file;
    EXPECT_EQ(test::ReadBytes(file), bytes) << file;
  }
}

}  // namespace
}  // namespace kestrel::doc
