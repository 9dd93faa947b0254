#include "doc/PropertyText.h"

#include <gtest/gtest.h>

#include <iostream>
#include <set>

#include "tests/support/LockHolder.h"
#include "tests/support/Oracles.h"
#include "tests/support/TestSupport.h"

namespace kestrel::doc {
namespace {

namespace fs = std::filesystem;
using catalogue::Catalogue;
using storage::PropertyValue;

constexpr const char* kSummary = "SummaryInformation";
constexpr const char* kDocSummary = "DocumentSummaryInformation";

PropertyValue Value(std::uint16_t type, std::int64_t integer = 0) {
  PropertyValue value;
  value.type = type;
  value.integer = integer;
  return value;
}

PropertyValue Real(std::uint16_t type, double real) {
  PropertyValue value = Value(type);
  value.real = real;
  return value;
}

PropertyValue Text(std::uint16_t type, std::string text) {
  PropertyValue value = Value(type);
  value.text = std::move(text);
  return value;
}

std::string Read(const fs::path& file, int row) {
  const auto& r = Catalogue().Row(row);
  return ReadPropertyText(file, FmtidOf(r.propertySet), static_cast<std::uint32_t>(r.propertyId));
}

bool Write(const fs::path& file, int row, const std::string& text, FileTimeStyle style = FileTimeStyle::DateTime) {
  const auto& r = Catalogue().Row(row);
  return WritePropertyText(file, FmtidOf(r.propertySet), static_cast<std::uint32_t>(r.propertyId), r.valueType, text,
                           style);
}

using Snapshot = test::DocumentSnapshot;


// Streams other than the two property sets kept their bytes.
void ExpectOtherStreamsUnchanged(const Snapshot& before, const Snapshot& after) {
  for (const auto& [path, hash] : before.streams) {
    if (path.find("SummaryInformation") != std::string::npos) continue;
    EXPECT_EQ(after.streams.count(path) ? after.streams.at(path) : "missing", hash) << path;
  }
}

// Only the listed (section, pid) properties differ between the two dumps.
void ExpectOnlyChanged(const test::PropertyDump& before, const test::PropertyDump& after,
                       const std::set<std::pair<int, std::uint32_t>>& changed) {
  for (const auto& [key, value] : before.properties) {
    if (changed.count(key)) continue;
    EXPECT_EQ(after.properties.count(key) ? after.properties.at(key) : "missing", value)
        << "section " << key.first << " pid " << key.second;
  }
  for (const auto& [key, value] : after.properties) {
    EXPECT_TRUE(before.properties.count(key) || changed.count(key)) << "new pid " << key.second;
  }
}

TEST(FormatPropertyValue, GivesTheDisplayTextOfEveryType) {
  test::ScopedTimeZone tokyo("Asia/Tokyo");
  using namespace storage;
  PropertyValue clsid = Value(kVtClsid);
  clsid.guid = Guid{0x0000013A, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
  const std::vector<std::pair<PropertyValue, std::string>> cases = {
      {Value(kVtEmpty), ""},
      {Value(kVtNull), ""},
      {Value(kVtVoid), ""},
      {Value(kVtI2, -2), "-2"},
      {Value(kVtI2, 65001), "-535"},
      {Value(kVtI4, -70000), "-70000"},
      {Value(kVtInt, 42), "42"},
      {Real(kVtR8, 1.5), "1.5"},
      {Real(kVtR8, 1.0 / 3.0), "0.333333333333333"},
      {Real(kVtR8, 1e20), "1E20"},
      {Real(kVtR8, -2.5e-7), "-2.5E-7"},
      {Real(kVtR4, 0.25), "0.25"},
      {Text(kVtBstr, "bstr"), "bstr"},
      {Text(kVtLpwstr, "幅広"), "幅広"},
      {Text(kVtLpstr, "狭い"), "狭い"},
      {Value(kVtError, 5), "Error code: 5"},
      {Value(kVtError, -2147287038), "Error code: -2147287038"},
      {Value(kVtBool, -1), "Yes"},
      {Value(kVtBool, 0), "No"},
      {Value(kVtUi1, 255), "255"},
      {Value(kVtUi2, 65535), "65535"},
      {Value(kVtUi4, 4294967295), "4294967295"},
      {Value(kVtUint, 7), "7"},
      {Value(kVtI8, -1), "-1"},
      {Value(kVtUi8, -1), "-1"},
      {Value(kVtFiletime, 0), "1601/01/01 9:00:00"},
      {Value(kVtFiletime, 129130851000000000), "2010/03/15 9:05:00"},
      {Value(kVtFiletime, -1), ""},
      {clsid, "{0000013A-0000-0000-C000-000000000046}"},
      {Value(kVtClsid), ""},
      {Value(kVtI1, 5), ""},
      {Value(kVtDate, 5), ""},
      {Text(kVtVector | kVtLpstr, "x"), ""},
  };
  for (const auto& [value, text] : cases) EXPECT_EQ(FormatPropertyValue(value), text) << "type " << value.type;
}

// Writes every catalogue row as a user would into a copy of `source`. Each reads back, olefile
// sees the type and value meant, and nothing else changed. A write the layer refuses (a damaged
// file or set) changes no byte. Returns whether every row was written.
bool WriteEveryRowAndCheck(const fs::path& source) {
  SCOPED_TRACE(source.filename().string());
  const std::string when = "2024/05/06 7:08:09";
  const std::string whenFileTime = "64 133594204890000000";
  const test::TempDir dir;
  const auto file = dir.Copy(source);
  const auto before = test::TakeSnapshot(file);

  std::set<std::pair<int, std::uint32_t>> changedSummary, changedDocSummary;
  std::set<int> refused;
  for (int row = 0; row < catalogue::kRowCount; ++row) {
    const auto& r = Catalogue().Row(row);
    const bool minutes = row == catalogue::kEditingTime;
    const std::string text = r.valueType == catalogue::kVtFiletime ? (minutes ? "90" : when) : "Value " + std::to_string(row);
    const auto bytes = test::ReadBytes(file);
    if (!Write(file, row, text, minutes ? FileTimeStyle::Minutes : FileTimeStyle::DateTime)) {
      EXPECT_EQ(test::ReadBytes(file), bytes) << "refused row " << row;
      refused.insert(row);
      continue;
    }
    if (!minutes) {
      EXPECT_EQ(Read(file, row), text);
    }
    auto& changed = r.propertySet == catalogue::PropertySetKind::SummaryInformation ? changedSummary : changedDocSummary;
    changed.insert({0, static_cast<std::uint32_t>(r.propertyId)});
  }

  if (refused.size() == catalogue::kRowCount) return false;
  const auto after = test::TakeSnapshot(file);
  EXPECT_TRUE(after) << "olefile cannot read the written document";
  if (!before || !after) return refused.empty();
  ExpectOtherStreamsUnchanged(*before, *after);
  ExpectOnlyChanged(before->summary, after->summary, changedSummary);
  if (before->docSummary && after->docSummary) {
    ExpectOnlyChanged(*before->docSummary, *after->docSummary, changedDocSummary);
    EXPECT_EQ(before->docSummary->sections, after->docSummary->sections);
  }
  for (int row = 0; row < catalogue::kRowCount; ++row) {
    const auto& r = Catalogue().Row(row);
    const bool summary = r.propertySet == catalogue::PropertySetKind::SummaryInformation;
    if (refused.count(row) || (!summary && !after->docSummary)) continue;
    const auto& dump = summary ? after->summary : *after->docSummary;
    const std::pair<int, std::uint32_t> key{0, static_cast<std::uint32_t>(r.propertyId)};
    const std::string expected = r.valueType == catalogue::kVtLpstr ? test::DumpedText(30, "Value " + std::to_string(row))
                                 : row == catalogue::kEditingTime ? "64 54000000000"
                                                                  : whenFileTime;
    EXPECT_EQ(dump.properties.count(key) ? dump.properties.at(key) : "missing", expected) << "row " << row;
  }
  return refused.empty();
}

TEST(WritePropertyText, WritesEachRowOfOurDocumentsAndNothingElse) {
  if (!test::OlefilePython()) GTEST_SKIP() << "python3-olefile is not installed";
  test::ScopedTimeZone tokyo("Asia/Tokyo");
  for (const char* name : {"lo-ascii-full.doc", "lo-ascii-noprint-multiline.doc", "lo-custom-names.doc",
                           "lo-empty-props.doc", "lo-ja-full.doc", "lo-large-image.doc", "lo-long-values.doc",
                           "lo-untouched-empty.doc", "poi-ascii-cp1252.doc", "poi-ja-cp932.doc", "poi-large-cp932.doc",
                           "poi-no-dsi.doc"}) {
    EXPECT_TRUE(WriteEveryRowAndCheck(test::DataFile(name)));
  }
}

// Real documents from many producers, damaged and fuzzer-made ones among them: those we write
// come out right, the others keep their bytes.
TEST(WritePropertyText, WritesEachRowOfPublicDocumentsAndNothingElse) {
  if (!test::OlefilePython()) GTEST_SKIP() << "python3-olefile is not installed";
  const auto corpus = test::PublicCorpusDir();
  if (!corpus) GTEST_SKIP() << "../shared/corpus-public is not beside the checkout";
  test::ScopedTimeZone tokyo("Asia/Tokyo");
  int written = 0;
  std::string refused;
  for (const auto& entry : fs::directory_iterator(*corpus / "docs")) {
    if (entry.path().extension() != ".doc") continue;
    if (WriteEveryRowAndCheck(entry.path())) {
      ++written;
    } else {
      refused += " " + entry.path().filename().string();
    }
  }
  std::cout << "[          ] " << written << " public documents written whole; in part or not at all:" << refused << "\n";
  EXPECT_GE(written, 20);
}

TEST(WritePropertyText, EmptyTextsAndMinutes) {
  if (!test::OlefilePython()) GTEST_SKIP() << "python3-olefile is not installed";
  const test::TempDir dir;
  const auto file = dir.Copy(test::DataFile("lo-ja-full.doc"));
  ASSERT_TRUE(Write(file, catalogue::kTitle, ""));
  ASSERT_TRUE(Write(file, catalogue::kLastPrinted, ""));
  EXPECT_EQ(Read(file, catalogue::kTitle), "");
  EXPECT_EQ(Read(file, catalogue::kLastPrinted), "");
  auto dump = test::DumpPropertySet(file, kSummary);
  ASSERT_TRUE(dump);
  EXPECT_EQ((dump->properties[{0, 2}]), "30");   // present, as an empty string
  EXPECT_EQ((dump->properties[{0, 11}]), "1 -");  // VT_NULL

  const std::vector<std::pair<std::string, std::string>> minutes = {
      {"90", "54000000000"}, {"-5", std::to_string(static_cast<std::uint64_t>(-3000000000LL))}, {"abc", "0"}};
  for (const auto& [text, units] : minutes) {
    ASSERT_TRUE(Write(file, catalogue::kEditingTime, text, FileTimeStyle::Minutes));
    dump = test::DumpPropertySet(file, kSummary);
    ASSERT_TRUE(dump);
    EXPECT_EQ((dump->properties[{0, 10}]), "64 " + units) << text;
  }
}

TEST(WritePropertyText, OtherWriteTypes) {
  if (!test::OlefilePython()) GTEST_SKIP() << "python3-olefile is not installed";
  const test::TempDir dir;
  const auto file = dir.Copy(test::DataFile("poi-ja-cp932.doc"));
  const auto& fmtid = storage::kFmtidSummaryInformation;
  ASSERT_TRUE(WritePropertyText(file, fmtid, 40, storage::kVtInt, "-42", FileTimeStyle::DateTime));
  ASSERT_TRUE(WritePropertyText(file, fmtid, 41, storage::kVtLpwstr, "ワイド文字列", FileTimeStyle::DateTime));
  EXPECT_FALSE(WritePropertyText(file, fmtid, 42, storage::kVtBool, "1", FileTimeStyle::DateTime));
  const auto dump = test::DumpPropertySet(file, kSummary);
  ASSERT_TRUE(dump);
  EXPECT_EQ(dump->properties.at({0, 40}), "22 -42");
  EXPECT_EQ(dump->properties.at({0, 41}), test::DumpedText(31, "ワイド文字列"));
  EXPECT_EQ(dump->properties.count({0, 42}), 0u);
  EXPECT_EQ(ReadPropertyText(file, fmtid, 41), "ワイド文字列");
}

TEST(WritePropertyText, ConversionErrorsCarryTheTextAndChangeNothing) {
  const test::TempDir dir;
  const auto file = dir.Copy(test::DataFile("poi-no-dsi.doc"));
  const auto bytes = test::ReadBytes(file);
  auto message = [&](int row, std::int32_t vartype, const std::string& text) {
    try {
      const auto& r = Catalogue().Row(row);
      WritePropertyText(file, FmtidOf(r.propertySet), static_cast<std::uint32_t>(r.propertyId), vartype, text,
                        FileTimeStyle::DateTime);
    } catch (const ConversionError& error) {
      return std::string(error.what());
    }
    return std::string("no error");
  };
  EXPECT_EQ(message(catalogue::kCreated, storage::kVtFiletime, "2021/02/30"), "'2021/02/30' is not a valid date and time");
  EXPECT_EQ(message(catalogue::kCreated, storage::kVtFiletime, "tomorrow"), "'tomorrow' is not a valid date and time");
  EXPECT_EQ(message(catalogue::kCompany, storage::kVtInt, "12x"), "'12x' is not a valid integer value");
  EXPECT_EQ(message(catalogue::kCompany, storage::kVtInt, "99999999999"), "'99999999999' is not a valid integer value");
  // Not even the missing set was created.
  EXPECT_EQ(test::ReadBytes(file), bytes);
}

// A Japanese text into a Western set must not become question marks: the section turns UTF-8
// and every other string in it reads as before.
TEST(WritePropertyText, TextTheCodePageCannotHoldSwitchesTheSectionToUtf8) {
  if (!test::OlefilePython()) GTEST_SKIP() << "python3-olefile is not installed";
  std::vector<fs::path> sources = {test::DataFile("poi-ascii-cp1252.doc")};
  if (const auto corpus = test::PublicCorpusDir()) {
    sources.push_back(*corpus / "docs" / "SampleDoc.doc");
    sources.push_back(*corpus / "docs" / "52420.doc");  // code page 1251
  }
  for (const auto& source : sources) {
    SCOPED_TRACE(source.filename().string());
    const test::TempDir dir;
    const auto file = dir.Copy(source);
    const auto before = test::TakeSnapshot(file);
    ASSERT_TRUE(before && before->docSummary);
    ASSERT_TRUE(Write(file, catalogue::kTitle, "タイトル：月次報告書"));
    ASSERT_TRUE(Write(file, catalogue::kCompany, "株式会社テスト"));
    EXPECT_EQ(Read(file, catalogue::kTitle), "タイトル：月次報告書");
    EXPECT_EQ(Read(file, catalogue::kCompany), "株式会社テスト");
    const auto after = test::TakeSnapshot(file);
    ASSERT_TRUE(after && after->docSummary);
    ExpectOtherStreamsUnchanged(*before, *after);
    EXPECT_EQ(after->summary.sections.at(0).substr(after->summary.sections.at(0).find(' ') + 1), "65001");
    EXPECT_EQ(after->docSummary->sections.at(0).substr(after->docSummary->sections.at(0).find(' ') + 1), "65001");
    ExpectOnlyChanged(before->summary, after->summary, {{0, 1}, {0, 2}});
    ExpectOnlyChanged(*before->docSummary, *after->docSummary, {{0, 1}, {0, 15}});
  }
}

TEST(WritePropertyText, MissingSetIsCreated) {
  if (!test::OlefilePython()) GTEST_SKIP() << "python3-olefile is not installed";
  const test::TempDir dir;
  const auto file = dir.Copy(test::DataFile("poi-no-dsi.doc"));
  const auto before = test::TakeSnapshot(file);
  ASSERT_TRUE(before);
  EXPECT_FALSE(before->docSummary);
  ASSERT_TRUE(Write(file, catalogue::kCompany, "株式会社テスト"));
  ASSERT_TRUE(Write(file, catalogue::kManager, "管理者 😀"));  // needs UTF-8 from here on
  EXPECT_EQ(Read(file, catalogue::kCompany), "株式会社テスト");
  EXPECT_EQ(Read(file, catalogue::kManager), "管理者 😀");
  const auto after = test::TakeSnapshot(file);
  ASSERT_TRUE(after && after->docSummary);
  ExpectOtherStreamsUnchanged(*before, *after);
  EXPECT_EQ(after->summary, before->summary);
  EXPECT_EQ(after->docSummary->sections.at(0), "d5cdd502-2e9c-101b-9397-08002b2cf9ae 65001");
  EXPECT_EQ(after->docSummary->properties.at({0, 15}), test::DumpedText(30, "株式会社テスト"));
}

TEST(WritePropertyText, NewSetsUseShiftJisWhenTheTextFits) {
  if (!test::OlefilePython()) GTEST_SKIP() << "python3-olefile is not installed";
  const test::TempDir dir;
  const auto file = dir.Copy(test::DataFile("poi-no-dsi.doc"));
  ASSERT_TRUE(Write(file, catalogue::kCategory, "技術資料"));
  const auto dump = test::DumpPropertySet(file, kDocSummary);
  ASSERT_TRUE(dump);
  EXPECT_EQ(dump->sections.at(0), "d5cdd502-2e9c-101b-9397-08002b2cf9ae 932");
  EXPECT_EQ(dump->properties.at({0, 2}), test::DumpedText(30, "技術資料"));
}

TEST(WritePropertyText, RefusedFilesKeepTheirBytes) {
  const test::TempDir dir;
  const auto readOnly = dir.Copy(test::DataFile("lo-ja-full.doc"), "readonly.doc");
  fs::permissions(readOnly, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  const auto text = dir.Copy(test::DataFile("x.doc"));
  const auto locked = dir.Copy(test::DataFile("lo-ja-full.doc"), "locked.doc");
  const test::LockHolder holder(locked, false);
  ASSERT_TRUE(holder.Holding());
  for (const fs::path& file : {readOnly, text, locked, dir.Path() / "missing.doc"}) {
    const auto bytes = fs::exists(file) ? test::ReadBytes(file) : std::vector<std::uint8_t>{};
    EXPECT_FALSE(Write(file, catalogue::kTitle, "New title")) << file;
    EXPECT_FALSE(Write(file, catalogue::kCreated, "2020/01/01")) << file;
    if (fs::exists(file)) {
      EXPECT_EQ(test::ReadBytes(file), bytes) << file;
    }
  }
  EXPECT_FALSE(fs::exists(dir.Path() / "missing.doc"));
}

// A shown date-time parses back to the same second, in a zone with daylight saving as well.
TEST(WritePropertyText, DateTimeTextRoundTrips) {
  for (const char* zone : {"Asia/Tokyo", "Europe/Berlin"}) {
    test::ScopedTimeZone tz(zone);
    const test::TempDir dir;
    const auto file = dir.Copy(test::DataFile("lo-ascii-full.doc"));
    for (const char* text : {"2010/03/15 9:05:00", "2022/07/01", "1999/12/31 23:59:59", "2024/03/31 2:30:00"}) {
      ASSERT_TRUE(Write(file, catalogue::kLastSaved, text));
      EXPECT_EQ(Read(file, catalogue::kLastSaved), text) << zone;
    }
  }
}

}  // namespace
}  // namespace kestrel::doc
