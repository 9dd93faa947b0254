#include "worddoc/BinaryOtherProperties.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <set>
#include <sstream>

#include "platform/fs/FileIo.h"
#include "tests/support/Oracles.h"
#include "tests/support/TestSupport.h"
#include "worddoc/BinaryChange.h"
#include "worddoc/BinaryDocument.h"

namespace kestrel::worddoc {
namespace {

namespace fs = std::filesystem;
namespace kfs = kestrel::fs;
using catalogue::CustomType;
using catalogue::CustomValue;
using catalogue::OtherProperty;

Result<std::vector<OtherProperty>> Others(const fs::path& file) {
  BinaryDocument document(kfs::OpenForReading(file.string()), file.string(), kfs::FileRecord{});
  return document.OtherProperties();
}

std::optional<fs::path> Corpus(std::optional<fs::path> dir, const char* name) {
  return dir ? std::optional(*dir / "docs" / name) : std::nullopt;
}

OtherProperty Find(const std::vector<OtherProperty>& others, const std::string& name) {
  auto it = std::find_if(others.begin(), others.end(), [&](const OtherProperty& p) { return p.name == name; });
  return it != others.end() ? *it : OtherProperty{false, "(absent) " + name, {}, {}, {}};
}

TEST(BinaryOtherProperties, CorpusDocumentsListTheirCustomAndOtherProperties) {
  test::ScopedTimeZone tokyo("Asia/Tokyo");
  struct Case {
    std::optional<fs::path> file;
    std::vector<OtherProperty> expected;  // found among the document's, in this order
  };
  const auto office = test::OfficeCorpusDir();
  const auto publicDir = test::PublicCorpusDir();
  const auto custom = [](const char* name, CustomType type, const char* value) {
    return OtherProperty{true, name, {}, type, value};
  };
  const auto other = [](const char* key, const char* type, const char* value) { return OtherProperty{false, key, type, {}, value}; };
  const std::vector<Case> cases = {
      {test::DataFile("lo-ascii-full.doc"), {custom("Company", CustomType::Text, "Example Corp")}},
      {Corpus(publicDir, "64132.doc"),
       {other("Template", "VT_LPSTR", "Normal"), other("Application", "VT_LPSTR", "Microsoft Word 10.0"),
        other("AppVersion", "VT_I4", "10.2625"), other("ScaleCrop", "VT_BOOL", "いいえ"),
        other("HeadingPairs", "VT_VECTOR|VT_VARIANT", "Título, 1"), other("_PID_HLINKS", "VT_BLOB", "88 バイト")}},
      {Corpus(office, "numbers.ppt"),
       {custom("Version", CustomType::Number, "1"), other("Thumbnail", "VT_CF", "12468 バイト"),
        other("AppVersion", "VT_I4", "14.0000"), other("Slides", "VT_I4", "2")}},
      {Corpus(office, "37684-2.xls"), {custom("OI$ORIGINAL_DOC_ID", CustomType::Text, "1697")}},
      {Corpus(office, "28772.xls"),
       {custom("_AdHocReviewCycleID", CustomType::Number, "761293791"), other("PID 2147483648", "VT_UI4", "1033")}},
  };
  for (const Case& c : cases) {
    if (!c.file) {
      std::cout << "[  SKIPPED ] a corpus is not beside the checkout\n";
      continue;
    }
    const Result<std::vector<OtherProperty>> others = Others(*c.file);
    ASSERT_TRUE(others) << *c.file << ": " << others.outcome().message();
    // Custom ones first.
    EXPECT_TRUE(std::is_partitioned(others->begin(), others->end(), [](const OtherProperty& p) { return p.custom; }));
    for (const OtherProperty& expected : c.expected) EXPECT_EQ(Find(*others, expected.name), expected) << *c.file;
  }
}


std::string Hex(const std::string& text) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (unsigned char c : text) out += std::string{digits[c >> 4], digits[c & 15]};
  return out;
}

// The "custom" lines Apache POI's HPSF reader (tests/oracle/PropsetPoi.java) gives for a
// document's DocumentSummaryInformation stream; nullopt, the reason printed, without POI.
std::optional<std::set<std::string>> PoiCustom(const fs::path& document, const fs::path& work) {
  const std::string classPath = "/usr/share/java/poi.jar:/usr/share/java/commons-collections4.jar";
  if (test::RunCommand("command -v javac && command -v java").exitCode != 0 || !fs::exists("/usr/share/java/poi.jar")) {
    std::cout << "[  SKIPPED ] Apache POI or javac is not installed\n";
    return std::nullopt;
  }
  if (!fs::exists(work / "PropsetPoi.class")) {
    const auto compiled = test::RunCommand("javac -cp " + classPath + " -d " + test::ShellQuote(work.string()) + " " +
                                           test::ShellQuote(test::TestScript("oracle/PropsetPoi.java").string()));
    EXPECT_EQ(compiled.exitCode, 0) << compiled.output;
  }
  const auto hex = test::StreamBytes(document, "\x05" "DocumentSummaryInformation", 0, 1 << 20);
  if (!hex) return std::set<std::string>{"(no stream)"};
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i + 1 < hex->size(); i += 2) bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex->substr(i, 2), nullptr, 16)));
  test::WriteBytes(work / "dsi", bytes);
  const auto dumped = test::RunCommand("java -cp " + classPath + ":" + test::ShellQuote(work.string()) + " PropsetPoi " +
                                       test::ShellQuote((work / "dsi").string()));
  std::set<std::string> lines;
  std::istringstream in(dumped.output);
  for (std::string line; std::getline(in, line);) {
    if (line.starts_with("custom ") || line.starts_with("error ")) lines.insert(line);
  }
  return lines;
}

CustomValue Typed(CustomType type, const char* typed) { return *catalogue::ParseCustomValue(type, typed); }

// Custom properties added, replaced and removed in copies of real documents: the document reads
// them back, Apache POI and olefile read them as stored, and every other stream keeps its bytes.
TEST(BinaryOtherProperties, CustomEditsReadBackInPoiAndKeepEveryOtherStream) {
  if (!test::OlefilePython()) GTEST_SKIP() << "python3-olefile is not installed";
  test::ScopedTimeZone tokyo("Asia/Tokyo");
  const test::TempDir dir;
  std::vector<fs::path> files = {test::DataFile("lo-custom-names.doc"), test::DataFile("poi-ja-cp932.doc"),
                                 test::DataFile("poi-no-dsi.doc")};
  for (const auto& [corpus, name] : {std::pair{test::OfficeCorpusDir(), "numbers.ppt"}, {test::OfficeCorpusDir(), "37684-2.xls"},
                                     {test::OfficeCorpusDir(), "28772.xls"}, {test::PublicCorpusDir(), "64132.doc"}}) {
    if (corpus) files.push_back(*corpus / "docs" / name);
  }
  catalogue::OtherEdits edits;
  edits.custom = {{"番号", Typed(CustomType::Number, "42")},
                  {"比率", Typed(CustomType::Number, "2.5")},
                  {"承認済み", Typed(CustomType::YesNo, "はい")},
                  {"期日", Typed(CustomType::Date, "2024/03/15 9:30:00")},
                  {"メモ", Typed(CustomType::Text, "こんにちは")},
                  {"version", Typed(CustomType::Text, "改訂 2")},  // replaces numbers.ppt's "Version"
                  {"OI$DOCKEY", std::nullopt}};
  edits.removeTemplate = true;
  int poiChecked = 0;
  for (const fs::path& original : files) {
    const fs::path file = dir.Copy(original, "copy-" + original.filename().string());
    const auto before = Others(file);
    const auto streamsBefore = test::DumpStreams(file);
    ASSERT_TRUE(before && streamsBefore) << original;
    ASSERT_TRUE(ChangeBinaryProperties(file.string(), catalogue::PropertyRows{}, edits)) << original;

    const auto after = Others(file);
    ASSERT_TRUE(after) << original;
    std::vector<OtherProperty> custom;
    std::copy_if(after->begin(), after->end(), std::back_inserter(custom), [](const OtherProperty& p) { return p.custom; });
    EXPECT_EQ(custom, catalogue::CustomAfterEdits(*before, edits)) << original;
    EXPECT_EQ(Find(*after, "Template").name, "(absent) Template") << original;
    // Only the two property sets changed.
    const auto streamsAfter = test::DumpStreams(file);
    ASSERT_TRUE(streamsAfter) << original;
    const auto others = [](test::StreamHashes streams) {
      streams.erase("\\x05SummaryInformation");
      streams.erase("\\x05DocumentSummaryInformation");
      return streams;
    };
    EXPECT_EQ(others(*streamsAfter), others(*streamsBefore)) << original;
    // The same edits again store nothing.
    BinaryDocument again(kfs::OpenForReading(file.string()), file.string(), kfs::FileRecord{});
    const Result<bool> planned = again.Plan(catalogue::PropertyRows{}, edits);
    ASSERT_TRUE(planned) << original;
    EXPECT_FALSE(*planned) << original;

    const auto poi = PoiCustom(file, dir.Path());
    if (!poi) continue;
    ++poiChecked;
    for (const std::string& line : {"custom " + Hex("番号") + " 3 42", "custom " + Hex("比率") + " 5 2.5",
                                    "custom " + Hex("承認済み") + " 11 true", "custom " + Hex("メモ") + " 30 " + Hex("こんにちは"),
                                    // 2024-03-15 00:30 UTC
                                    "custom " + Hex("期日") + " 64 t1710462600000"}) {
      EXPECT_EQ(poi->count(line), 1u) << original << ": " << line;
    }
    EXPECT_EQ(poi->count("custom " + Hex("OI$DOCKEY") + " 30 " + Hex("ETQ$APPLICATION_NAME=DOCWORK&ETQ$FORM_NAME=DOCWORK_DOCUMENT&ETQ$KEY_NAME=DOCWORK_ID&ETQ$KEY_VALUE=1697")), 0u);
    // Office's own "_PID_" entries are named too, but are not custom.
    const auto named = std::count_if(poi->begin(), poi->end(), [](const std::string& line) { return !line.starts_with("custom " + Hex("_PID_")); });
    EXPECT_EQ(static_cast<std::size_t>(named), custom.size()) << original;
  }
  std::cout << "[          ] " << files.size() << " documents changed, " << poiChecked << " read by Apache POI\n";
}

// Removing every custom property takes the user-defined section away; the document summary
// section stays as it was.
TEST(BinaryOtherProperties, RemovingEveryCustomPropertyDropsTheSection) {
  if (!test::OlefilePython()) GTEST_SKIP() << "python3-olefile is not installed";
  const test::TempDir dir;
  const fs::path file = dir.Copy(test::DataFile("lo-custom-names.doc"));
  const auto before = test::DumpPropertySet(file, "DocumentSummaryInformation");
  ASSERT_TRUE(before);
  ASSERT_EQ(before->sections.size(), 2u);
  catalogue::OtherEdits edits;
  edits.removeAllCustom = true;
  ASSERT_TRUE(ChangeBinaryProperties(file.string(), catalogue::PropertyRows{}, edits));
  const auto after = test::DumpPropertySet(file, "DocumentSummaryInformation");
  ASSERT_TRUE(after);
  EXPECT_EQ(after->sections, (std::map<int, std::string>{{0, before->sections.at(0)}}));
  const auto others = Others(file);
  ASSERT_TRUE(others);
  EXPECT_TRUE(std::none_of(others->begin(), others->end(), [](const OtherProperty& p) { return p.custom; }));
}

}  // namespace
}  // namespace kestrel::worddoc
