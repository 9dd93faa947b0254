// OpenDocument packages read and changed through the document interface, checked with Python's
// zipfile and ElementTree (tests/oracle/odf_meta.py) and with LibreOffice headless.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "odf/MetaValues.h"
#include "odf/OpenDocumentPackage.h"
#include "tests/support/ExpectedRows.h"
#include "tests/support/LibreOffice.h"
#include "tests/support/TestSupport.h"

namespace kestrel::odf {
namespace {

namespace fs = std::filesystem;
using catalogue::CustomType;
using catalogue::CustomValue;
using catalogue::OtherEdits;

// odf_meta.py's command on the files; empty output when Python is absent.
std::string Oracle(const std::string& mode, const std::vector<fs::path>& files) {
  std::string command = "/usr/bin/python3 " + test::ShellQuote(test::TestScript("oracle/odf_meta.py").string()) + " " + mode;
  for (const fs::path& file : files) command.append(" ").append(test::ShellQuote(file.string()));
  const test::CommandResult result = test::RunCommand(command);
  EXPECT_EQ(result.exitCode, 0) << result.output;
  return result.output;
}

test::ExpectedRows OracleRows(const fs::path& file) {
  const test::TempDir dir;
  std::ofstream(dir.Path() / "rows.jsonl") << Oracle("rows", {file});
  return test::LoadExpectedRows(dir.Path() / "rows.jsonl")[file.filename().string()];
}

std::unique_ptr<catalogue::PropertyDocument> Open(ooxml::PackageProperties& packages, const fs::path& file) {
  return OpenPackage(packages, kestrel::fs::OpenForReading(file.string()), file.string());
}

// Real files of every kind: LibreOffice's conversions here and the templates it installs.
std::vector<fs::path> RealFiles() {
  std::vector<fs::path> files;
  for (const char* name : {"lo-ja-full.odt", "lo-ascii-full.odt", "lo-custom-names.odt", "lo-template-hyperlink.odt"}) {
    files.push_back(test::DataFile(name));
  }
  std::map<std::string, int> perKind;
  const fs::path templates = "/usr/lib/libreoffice/share/template/common";
  if (fs::exists(templates)) {
    for (const auto& entry : fs::recursive_directory_iterator(templates)) {
      if (++perKind[entry.path().extension().string()] <= 3 && entry.path().extension().string().starts_with(".ot")) {
        files.push_back(entry.path());
      }
    }
  }
  return files;
}

TEST(OpenDocumentPackage, RowsAgreeWithPythonOnEveryRow) {
  const test::ScopedTimeZone zone("Asia/Tokyo");
  if (!fs::exists("/usr/bin/python3")) GTEST_SKIP() << "python3 is not installed";
  ooxml::PackageProperties packages;
  for (const fs::path& file : RealFiles()) {
    const catalogue::DocumentRows rows = Open(packages, file)->Rows();
    ASSERT_TRUE(rows.texts) << file << ": " << rows.outcome.message();
    EXPECT_EQ(*rows.texts, *OracleRows(file)) << file;
  }
}

TEST(OpenDocumentPackage, ShowsTheOtherPropertiesWhereOpenDocumentKeepsThem) {
  ooxml::PackageProperties packages;
  const auto others = Open(packages, test::DataFile("lo-template-hyperlink.odt"))->OtherProperties();
  ASSERT_TRUE(others) << others.outcome().message();
  std::map<std::string, std::string> byKey;
  for (const catalogue::OtherProperty& p : *others) byKey[(p.custom ? "custom " : "") + p.name] = p.value;
  EXPECT_EQ(byKey["Template"], "Fancy.dotx");
  EXPECT_EQ(byKey["HyperlinkBase"], "http://example.com/base/");
  EXPECT_EQ(byKey["custom AppVersion"], "15.0000");  // no value type: a string
  EXPECT_EQ(byKey["CharactersWithSpaces"], "115");
  EXPECT_TRUE(byKey["Application"].starts_with("LibreOffice/"));
  EXPECT_FALSE(byKey.contains("custom Company")) << "a row is no custom property";
}

TEST(MetaValues, DatesAndDurationsAsStored) {
  const test::ScopedTimeZone zone("Asia/Tokyo");
  const struct {
    const char* stored;
    const char* date;
    const char* minutes;
  } cases[] = {
      {"2021-04-01T09:15:30", "2021/04/01 9:15:30", ""},      // local time as written
      {"2021-04-01T00:15:30.25Z", "2021/04/01 9:15:30", ""},  // UTC to the zone
      {"2021-04-01T09:15:30+09:00", "2021/04/01 9:15:30", ""},
      {"2021-04-01", "2021/04/01", ""},
      {"PT1H30M", "", "90"},
      {"P1DT2M59.5S", "", "1442"},
      {"PT0S", "", "0"},
      {"P1Y", "", ""},  // a year has no fixed length
      {"1H", "", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(StoredDateText(c.stored), c.date) << c.stored;
    const auto minutes = DurationMinutes(c.stored);
    EXPECT_EQ(minutes ? std::to_string(*minutes) : "", c.minutes) << c.stored;
  }
  EXPECT_EQ(DateTextToStored("2024/02/03 4:05"), "2024-02-03T04:05:00");
  EXPECT_EQ(MinutesToDuration(77), "PT1H17M");
}

// A copy of `source` changed by Python's zipfile: `meta` as meta.xml ("" leaves it out, with its
// manifest entry), `manifestFrom`..`manifestTo` replaced in the manifest.
fs::path Rewritten(const test::TempDir& dir, const fs::path& source, const std::string& name, const char* script) {
  const fs::path target = dir.Path() / name;
  const std::string command = "/usr/bin/python3 -c " + test::ShellQuote(std::string(R"(
import sys, zipfile
src, dst = zipfile.ZipFile(sys.argv[1]), zipfile.ZipFile(sys.argv[2], "w")
for info in src.infolist():
    data = src.read(info)
)") + script + R"(
    if data is not None: dst.writestr(info, data)
)") + " " + test::ShellQuote(source.string()) + " " + test::ShellQuote(target.string());
  EXPECT_EQ(test::RunCommand(command).exitCode, 0);
  return target;
}

struct Change {
  const char* what;
  std::string file;
  std::vector<std::pair<int, std::string>> rows;
  OtherEdits edits;
  FailureKind refused = FailureKind::None;
};

CustomValue Typed(CustomType type, const char* text) { return *catalogue::ParseCustomValue(type, text); }

TEST(OpenDocumentPackage, AChangeRewritesMetaXmlAloneAndLibreOfficeReadsItBack) {
  const test::ScopedTimeZone zone("Asia/Tokyo");
  if (!fs::exists("/usr/bin/python3")) GTEST_SKIP() << "python3 is not installed";
  const test::TempDir dir;
  const fs::path ja = test::DataFile("lo-ja-full.odt");
  const fs::path withoutMeta = Rewritten(dir, ja, "no-meta.odt", R"(
    if info.filename == "meta.xml": data = None
    if info.filename == "META-INF/manifest.xml": data = data.replace(b'<manifest:file-entry manifest:full-path="meta.xml" manifest:media-type="text/xml"/>', b'')
)");
  const fs::path encrypted = Rewritten(dir, ja, "encrypted.odt", R"(
    if info.filename == "META-INF/manifest.xml": data = data.replace(b'manifest:full-path="meta.xml" manifest:media-type="text/xml"/>', b'manifest:full-path="meta.xml" manifest:media-type="text/xml"><manifest:encryption-data manifest:checksum-type="SHA1/1K" manifest:checksum="AA=="/></manifest:file-entry>')
)");
  OtherEdits customs;
  customs.custom = {{"件数", Typed(CustomType::Number, "12")},   {"比率", Typed(CustomType::Number, "0.25")},
                    {"期限", Typed(CustomType::Date, "2024/05/06 7:08:09")}, {"済み", Typed(CustomType::YesNo, "はい")},
                    {"Client", std::nullopt}};
  OtherEdits clean;
  clean.removeAllCustom = clean.removeTemplate = clean.removeHyperlinkBase = true;
  OtherEdits rowName;
  rowName.custom = {{"company", Typed(CustomType::Text, "x")}};
  std::map<std::string, std::string> templates;  // one of each kind
  for (const fs::path& file : RealFiles()) {
    if (file.extension() != ".odt") templates.emplace(file.extension().string(), file.string());
  }
  std::vector<Change> changes = {
      {"every row", ja.string(),
       {{catalogue::kTitle, "新しい題名 & <記号>"}, {catalogue::kKeywords, "甲,乙 , 丙"}, {catalogue::kCategory, "新分類"},
        {catalogue::kManager, ""}, {catalogue::kCompany, "新会社"}, {catalogue::kRevisionNumber, "13"},
        {catalogue::kCreated, "2020/01/02 3:04:05"}, {catalogue::kLastPrinted, ""}, {catalogue::kEditingTime, "77"},
        {catalogue::kComments, "一行目\n二行目"}},
       {}},
      {"typed custom properties", test::DataFile("lo-custom-names.odt").string(), {}, customs},
      {"clean", test::DataFile("lo-template-hyperlink.odt").string(), {{catalogue::kAuthor, ""}}, clean},
      {"no meta.xml yet", withoutMeta.string(), {{catalogue::kTitle, "題名"}, {catalogue::kCompany, "会社"}}, {}},
      {"encrypted meta.xml", encrypted.string(), {{catalogue::kTitle, "x"}}, {}, FailureKind::Encrypted},
      {"revision is a count", ja.string(), {{catalogue::kRevisionNumber, "3a"}}, {}, FailureKind::InvalidValue},
      {"a row's name as custom", ja.string(), {}, rowName, FailureKind::InvalidValue},
  };
  for (const auto& [kind, file] : templates) changes.push_back({"a template", file, {{catalogue::kSubject, "表題"}}, {}});

  for (const Change& change : changes) {
    SCOPED_TRACE(std::string(change.what) + ": " + change.file);
    const fs::path file = dir.Copy(change.file, "changed" + fs::path(change.file).extension().string());
    const std::string entriesBefore = Oracle("entries", {file});
    const std::vector<std::uint8_t> bytesBefore = test::ReadBytes(file);
    ooxml::PackageProperties packages;
    catalogue::PropertyRows rows;
    for (const auto& [row, value] : change.rows) rows.values[row] = value, rows.included[row] = true;
    const auto document = Open(packages, file);
    if (change.refused != FailureKind::None) {
      const Result<bool> planned = document->Plan(rows, change.edits);
      ASSERT_FALSE(planned);
      EXPECT_EQ(planned.outcome().kind(), change.refused) << planned.outcome().message();
      EXPECT_EQ(test::ReadBytes(file), bytesBefore);
      continue;
    }
    const auto othersBefore = document->OtherProperties();
    ASSERT_TRUE(othersBefore) << othersBefore.outcome().message();
    const Result<bool> planned = document->Plan(rows, change.edits);
    ASSERT_TRUE(planned && *planned) << planned.outcome().message();
    const auto record = kestrel::fs::ReadFileRecord(file.string());
    ASSERT_TRUE(record && document->Write(*record)) << "write";

    // Python sees the rows we show, and every entry but meta.xml (and the manifest that lists a
    // new one) as it was, the mimetype first and stored.
    ooxml::PackageProperties again;
    const auto reread = Open(again, file);
    const catalogue::DocumentRows shown = reread->Rows();
    ASSERT_TRUE(shown.texts) << shown.outcome.message();
    EXPECT_EQ(*shown.texts, *OracleRows(file));
    for (const auto& [row, value] : change.rows) {
      if (row != catalogue::kKeywords) {
        EXPECT_EQ((*shown.texts)[row], value) << row;
      }
    }
    std::string kept = entriesBefore, after = Oracle("entries", {file});
    for (std::string* entries : {&kept, &after}) {
      std::string filtered;
      std::istringstream lines(*entries);
      for (std::string line; std::getline(lines, line);) {
        if (!line.starts_with("meta.xml ") && !line.starts_with("META-INF/manifest.xml ")) filtered += line + "\n";
      }
      *entries = filtered;
    }
    EXPECT_EQ(after, kept);
    EXPECT_TRUE(Oracle("entries", {file}).starts_with("mimetype 0 "));
    const auto othersAfter = reread->OtherProperties();
    ASSERT_TRUE(othersAfter);
    std::vector<catalogue::OtherProperty> customAfter;
    std::copy_if(othersAfter->begin(), othersAfter->end(), std::back_inserter(customAfter), [](const auto& p) { return p.custom; });
    EXPECT_EQ(customAfter, catalogue::CustomAfterEdits(*othersBefore, change.edits));

    // LibreOffice opens it with the same text and finds the new values.
    if (!test::Soffice()) continue;
    const std::string format = file.extension().string().substr(1).replace(1, 1, "d");  // .ott -> odt
    EXPECT_EQ(test::ConvertToOpenDocumentText(file, format), test::ConvertToOpenDocumentText(change.file, format));
    const fs::path converted = dir.Path() / "converted";
    fs::create_directories(converted);
    const auto result = test::RunCommand("cd " + test::ShellQuote(converted.string()) + " && " + *test::Soffice() +
                                         " -env:UserInstallation=file://" + dir.Path().string() + "/profile --headless --convert-to " +
                                         format + " " + test::ShellQuote(file.string()));
    const fs::path output = converted / ("changed." + format);
    ASSERT_TRUE(fs::exists(output)) << result.output;
    // A template opens as a new document, with new dates and counts: only the rows asked for count.
    const test::ExpectedRows seen = OracleRows(output);
    for (int row = 0; row < catalogue::kRowCount; ++row) {
      if (rows.Included(row) || file.extension().string().starts_with(".od")) {
        EXPECT_EQ((*seen)[row], (*shown.texts)[row]) << row;
      }
    }
    if (!change.edits.custom.empty()) {
      const auto userDefined = test::ConvertToOpenDocumentUserDefined(file, format);
      ASSERT_TRUE(userDefined);
      EXPECT_NE(userDefined->find("件数\tfloat\t12\n"), std::string::npos) << *userDefined;
      EXPECT_NE(userDefined->find("済み\tboolean\ttrue\n"), std::string::npos) << *userDefined;
      EXPECT_NE(userDefined->find("期限\tdate\t2024-05-06T07:08:09"), std::string::npos) << *userDefined;
      EXPECT_EQ(userDefined->find("Client"), std::string::npos) << *userDefined;
    }
    fs::remove_all(converted);
  }
}

}  // namespace
}  // namespace kestrel::odf
