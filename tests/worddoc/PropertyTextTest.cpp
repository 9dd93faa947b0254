#include "worddoc/PropertyText.h"

#include "worddoc/BinaryChange.h"

#include <gtest/gtest.h>

#include <iostream>
#include <set>

#include "tests/support/LockHolder.h"
#include "tests/support/Oracles.h"
#include "tests/support/TestSupport.h"

namespace kestrel::worddoc {
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

// A change of this one row (with the statistics block it belongs to, if any).
Outcome Write(const fs::path& file, int row, const std::string& text) {
  catalogue::PropertyRows rows;
  rows.values.at(static_cast<std::size_t>(row)) = text;
  rows.included.at(static_cast<std::size_t>(row)) = true;
  return ChangeBinaryProperties(file.string(), rows);
}

using Snapshot = test::DocumentSnapshot;


// Streams other than the two property sets and those holding the statistics block kept their bytes.
void ExpectOtherStreamsUnchanged(const Snapshot& before, const Snapshot& after) {
  for (const auto& [path, hash] : before.streams) {
    if (path.find("SummaryInformation") != std::string::npos || path.find("Table") != std::string::npos ||
        path.find("WordDocument") != std::string::npos) {
      continue;
    }
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
    if (!Write(file, row, text)) {
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

// Whole minutes of the 100 ns count, read unsigned: a count above 2^63 is no negative time.
TEST(EditingMinutesText, GivesWholeMinutesOfAFileTimeOnly) {
  using namespace storage;
  const std::vector<std::pair<PropertyValue, std::string>> cases = {
      {Value(kVtFiletime, 0), "0"},
      {Value(kVtFiletime, 599'999'999), "0"},
      {Value(kVtFiletime, 600'000'000), "1"},
      {Value(kVtFiletime, 434'264'780'000), "723"},
      {Value(kVtFiletime, static_cast<std::int64_t>(15'711'351'270'264'097'597ULL)), "26185585450"},
      {Value(kVtI4, 600'000'000), ""},
      {Value(kVtNull), ""},
  };
  for (const auto& [value, text] : cases) EXPECT_EQ(EditingMinutesText(value), text) << value.integer;
}

TEST(ChangeBinaryProperties, WritesEachRowOfOurDocumentsAndNothingElse) {
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
TEST(ChangeBinaryProperties, WritesEachRowOfPublicDocumentsAndNothingElse) {
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

TEST(ChangeBinaryProperties, EmptyTextsAndMinutes) {
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
    ASSERT_TRUE(Write(file, catalogue::kEditingTime, text));
    dump = test::DumpPropertySet(file, kSummary);
    ASSERT_TRUE(dump);
    EXPECT_EQ((dump->properties[{0, 10}]), "64 " + units) << text;
  }
}

TEST(PropertyValueFromText, TypesAndConversionErrors) {
  struct Case {
    std::int32_t vartype;
    std::string text;
    FileTimeStyle style;
    std::uint16_t type;  // of the value; 0 when it fails
    std::int64_t integer;
    std::string message;
  };
  const std::vector<Case> cases = {
      {storage::kVtInt, "-42", FileTimeStyle::DateTime, storage::kVtInt, -42, ""},
      {storage::kVtLpwstr, "ワイド文字列", FileTimeStyle::DateTime, storage::kVtLpwstr, 0, ""},
      {storage::kVtFiletime, "", FileTimeStyle::DateTime, storage::kVtNull, 0, ""},
      {storage::kVtFiletime, "90", FileTimeStyle::Minutes, storage::kVtFiletime, 54'000'000'000, ""},
      {storage::kVtFiletime, "-5", FileTimeStyle::Minutes, storage::kVtFiletime, -3'000'000'000, ""},
      {storage::kVtFiletime, "abc", FileTimeStyle::Minutes, storage::kVtFiletime, 0, ""},
      {storage::kVtFiletime, "2021/02/30", FileTimeStyle::DateTime, 0, 0, "'2021/02/30' is not a valid date and time"},
      {storage::kVtFiletime, "tomorrow", FileTimeStyle::DateTime, 0, 0, "'tomorrow' is not a valid date and time"},
      {storage::kVtInt, "12x", FileTimeStyle::DateTime, 0, 0, "'12x' is not a valid integer value"},
      {storage::kVtInt, "99999999999", FileTimeStyle::DateTime, 0, 0, "'99999999999' is not a valid integer value"},
      {storage::kVtBool, "1", FileTimeStyle::DateTime, 0, 0, "values of type 11 are not written"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const Result<PropertyValue> value = PropertyValueFromText(c.vartype, c.text, c.style);
    if (c.type == 0) {
      ASSERT_FALSE(value);
      EXPECT_EQ(value.outcome().message(), c.message);
      continue;
    }
    ASSERT_TRUE(value);
    EXPECT_EQ(value->type, c.type);
    EXPECT_EQ(value->integer, c.integer);
  }
}

// A date that does not parse refuses the whole change, before anything is written; its message
// is the conversion error as given.
TEST(ChangeBinaryProperties, ConversionErrorsChangeNothing) {
  const test::TempDir dir;
  const auto file = dir.Copy(test::DataFile("poi-no-dsi.doc"));
  const auto bytes = test::ReadBytes(file);
  catalogue::PropertyRows rows;
  rows.values.at(catalogue::kCompany) = "株式会社テスト";  // would create the missing set
  rows.values.at(catalogue::kCreated) = "2021/02/30";
  rows.included.fill(true);
  const Outcome outcome = ChangeBinaryProperties(file.string(), rows);
  EXPECT_EQ(outcome.kind(), FailureKind::InvalidValue);
  EXPECT_EQ(outcome.message(), "'2021/02/30' is not a valid date and time");
  EXPECT_EQ(test::ReadBytes(file), bytes);
}

// A Japanese text into a Western set must not become question marks: the section turns Unicode
// (code page 1200) and every other string in it reads as before.
TEST(ChangeBinaryProperties, TextTheCodePageCannotHoldSwitchesTheSectionToUnicode) {
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
    EXPECT_EQ(after->summary.sections.at(0).substr(after->summary.sections.at(0).find(' ') + 1), "1200");
    EXPECT_EQ(after->docSummary->sections.at(0).substr(after->docSummary->sections.at(0).find(' ') + 1), "1200");
    ExpectOnlyChanged(before->summary, after->summary, {{0, 1}, {0, 2}});
    ExpectOnlyChanged(*before->docSummary, *after->docSummary, {{0, 1}, {0, 15}});
  }
}

TEST(ChangeBinaryProperties, MissingSetIsCreated) {
  if (!test::OlefilePython()) GTEST_SKIP() << "python3-olefile is not installed";
  const test::TempDir dir;
  const auto file = dir.Copy(test::DataFile("poi-no-dsi.doc"));
  const auto before = test::TakeSnapshot(file);
  ASSERT_TRUE(before);
  EXPECT_FALSE(before->docSummary);
  ASSERT_TRUE(Write(file, catalogue::kCompany, "株式会社テスト"));
  ASSERT_TRUE(Write(file, catalogue::kManager, "管理者 😀"));  // needs Unicode from here on
  EXPECT_EQ(Read(file, catalogue::kCompany), "株式会社テスト");
  EXPECT_EQ(Read(file, catalogue::kManager), "管理者 😀");
  const auto after = test::TakeSnapshot(file);
  ASSERT_TRUE(after && after->docSummary);
  ExpectOtherStreamsUnchanged(*before, *after);
  EXPECT_EQ(after->summary, before->summary);
  EXPECT_EQ(after->docSummary->sections.at(0), "d5cdd502-2e9c-101b-9397-08002b2cf9ae 1200");
  EXPECT_EQ(after->docSummary->properties.at({0, 15}), test::DumpedText(30, "株式会社テスト"));
}

TEST(ChangeBinaryProperties, NewSetsUseShiftJisWhenTheTextFits) {
  if (!test::OlefilePython()) GTEST_SKIP() << "python3-olefile is not installed";
  const test::TempDir dir;
  const auto file = dir.Copy(test::DataFile("poi-no-dsi.doc"));
  ASSERT_TRUE(Write(file, catalogue::kCategory, "技術資料"));
  const auto dump = test::DumpPropertySet(file, kDocSummary);
  ASSERT_TRUE(dump);
  EXPECT_EQ(dump->sections.at(0), "d5cdd502-2e9c-101b-9397-08002b2cf9ae 932");
  EXPECT_EQ(dump->properties.at({0, 2}), test::DumpedText(30, "技術資料"));
}

TEST(ChangeBinaryProperties, RefusedFilesKeepTheirBytes) {
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
    const Outcome title = Write(file, catalogue::kTitle, "New title");
    EXPECT_FALSE(title) << file;
    EXPECT_FALSE(title.message().empty()) << file;
    EXPECT_FALSE(Write(file, catalogue::kCreated, "2020/01/01")) << file;
    if (fs::exists(file)) {
      EXPECT_EQ(test::ReadBytes(file), bytes) << file;
    }
  }
  EXPECT_FALSE(fs::exists(dir.Path() / "missing.doc"));
}

// A shown date-time parses back to the same second, in a zone with daylight saving as well.
TEST(ChangeBinaryProperties, DateTimeTextRoundTrips) {
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
}  // namespace kestrel::worddoc
