// What a package stores beyond the rows, read and changed through the document interface and
// checked with Python's zipfile and ElementTree (tests/oracle/package_props.py --parts).

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <sstream>

#include "ooxml/PackageProperties.h"
#include "platform/fs/FileIo.h"
#include "tests/support/LibreOffice.h"
#include "tests/support/TestSupport.h"

namespace kestrel::ooxml {
namespace {

namespace fs = std::filesystem;
using catalogue::CustomType;
using catalogue::OtherEdits;
using catalogue::OtherProperty;

// The oracle's lines by kind ("rel", "custom", ...), the kind taken off; entries by name.
struct OracleParts {
  std::map<std::string, std::vector<std::string>> lines;
  std::map<std::string, std::string> entries;
};

OracleParts Oracle(const fs::path& file) {
  const auto result = test::RunCommand(*test::OlefilePython() + " " +
                                       test::ShellQuote(test::TestScript("oracle/package_props.py").string()) +
                                       " --parts " + test::ShellQuote(file.string()));
  EXPECT_EQ(result.exitCode, 0) << result.output;
  OracleParts parts;
  std::istringstream lines(result.output);
  for (std::string line; std::getline(lines, line);) {
    const std::size_t tab = line.find('\t');
    const std::string kind = line.substr(0, tab), rest = line.substr(tab + 1);
    if (kind == "entry") {
      parts.entries[rest.substr(0, rest.find('\t'))] = rest.substr(rest.find('\t') + 1);
    } else {
      parts.lines[kind].push_back(rest);
    }
  }
  return parts;
}

struct Changed {
  Result<bool> planned;
  Outcome written = Outcome::Success();
};

Changed Change(const fs::path& file, const catalogue::PropertyRows& rows, const OtherEdits& edits) {
  PackageProperties packages;
  kestrel::fs::OpenResult opened = kestrel::fs::OpenForReading(file.string());
  const auto record = kestrel::fs::RecordOf(opened, file.string());
  if (!record) return {kestrel::fs::DescribeUnrecordedFile(file.string())};
  const auto document = packages.Open(std::move(opened), file.string());
  Changed changed{document->Plan(rows, edits)};
  if (changed.planned && *changed.planned) changed.written = document->Write(*record);
  return changed;
}

Result<std::vector<OtherProperty>> Others(const fs::path& file) {
  PackageProperties packages;
  return packages.Open(kestrel::fs::OpenForReading(file.string()), file.string())->OtherProperties();
}

std::vector<OtherProperty> CustomOnly(std::vector<OtherProperty> others) {
  std::erase_if(others, [](const OtherProperty& p) { return !p.custom; });
  return others;
}

// A copy of `source` without `part`, its relationship and its Override, made by Python's zipfile.
fs::path WithoutPart(const test::TempDir& dir, const fs::path& source, const std::string& part) {
  const fs::path file = dir.Path() / ("without-" + source.filename().string());
  const std::string script =
      "import zipfile,sys,re\n"
      "src=zipfile.ZipFile(sys.argv[1]); dst=zipfile.ZipFile(sys.argv[2],'w',zipfile.ZIP_DEFLATED); p=sys.argv[3]\n"
      "for i in src.infolist():\n"
      "  d=src.read(i)\n"
      "  if i.filename==p: continue\n"
      "  if i.filename in ('_rels/.rels','[Content_Types].xml'):\n"
      "    d=re.sub(rb'<(Relationship|Override)[^>]*\"/?'+re.escape(p.encode())+rb'\"[^>]*/>',b'',d)\n"
      "  dst.writestr(i,d)\n"
      "dst.close()\n";
  const auto result = test::RunCommand(*test::OlefilePython() + " -c " + test::ShellQuote(script) + " " +
                                       test::ShellQuote(source.string()) + " " + test::ShellQuote(file.string()) + " " +
                                       test::ShellQuote(part));
  EXPECT_EQ(result.exitCode, 0) << result.output;
  return file;
}

catalogue::CustomValue Value(CustomType type, const std::string& typed) { return *catalogue::ParseCustomValue(type, typed); }

catalogue::PropertyRows CompanyRow(const std::string& company) {
  catalogue::PropertyRows rows;
  rows.values[catalogue::kCompany] = company;
  rows.included[catalogue::kCompany] = !company.empty();
  return rows;
}

const std::string kCoreType = "http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties";
const std::string kAppType = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/extended-properties";
const std::string kCustomType = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/custom-properties";
const std::string kStrictCustomType = "http://purl.oclc.org/ooxml/officeDocument/relationships/customProperties";
const std::map<std::string, std::string> kContentTypes = {
    {"core", "application/vnd.openxmlformats-package.core-properties+xml"},
    {"app", "application/vnd.openxmlformats-officedocument.extended-properties+xml"},
    {"custom", "application/vnd.openxmlformats-officedocument.custom-properties+xml"}};

// One change of custom properties (and a company, a title, the template) per package; the custom
// part, the relationships and the content types as ElementTree reads them afterwards, every
// other entry byte for byte, and the custom list the document reads back.
TEST(ChangePackageOtherProperties, EditsCustomPropertiesAndAddsMissingPartsInOneRewrite) {
  if (!test::OlefilePython()) GTEST_SKIP() << "Debian's python3 is not installed";
  const test::ScopedTimeZone tokyo("Asia/Tokyo");
  const auto office = test::OfficeCorpusDir();
  const fs::path officeDocs = office ? *office / "docs" : fs::path();
  struct Stored {
    std::string name, type, text;  // text "" with type "" for a property that must be gone
  };
  const struct {
    fs::path source;
    std::string dropPart;  // made absent first
    catalogue::PropertyRows rows;
    OtherEdits edits;
    std::vector<Stored> stored;
    std::vector<std::pair<std::string, std::string>> added;  // (kind, relationship type)
    std::string officeFormat;  // LibreOffice opens the result ("" for Writer's text)
  } cases[] = {
      {test::DataFile("lo-custom-names.docx"), "", {},
       {false, {{"client", Value(CustomType::Text, "新しい顧客")}, {"件数", Value(CustomType::Number, "42")},
                {"Category", std::nullopt}, {"比率", Value(CustomType::Number, "-0.25")}}},
       {{"Client", "lpwstr", "新しい顧客"}, {"件数", "i4", "42"}, {"Category", "", ""}, {"比率", "r8", "-0.25"}}, {}, "-"},
      {test::DataFile("lo-untouched-empty.docx"), "", {},
       {false, {{"期日", Value(CustomType::Date, "2024/01/02 12:04:05")}, {"承認", Value(CustomType::YesNo, "はい")}}},
       {{"期日", "filetime", "2024-01-02T03:04:05Z"}, {"承認", "bool", "true"}}, {{"custom", kCustomType}}, ""},
      {test::DataFile("lo-ja-full.docx"), "docProps/app.xml", CompanyRow("株式会社新規"), {},
       {}, {{"app", kAppType}}, ""},
      {officeDocs / "xlsx-jdbc.xlsx", "", CompanyRow("Example"), {false, {{"Owner", Value(CustomType::Text, "x")}}},
       {{"Owner", "lpwstr", "x"}}, {{"app", kAppType}, {"custom", kCustomType}}, "ods"},
      {officeDocs / "OPCCompliance_NoCoreProperties.xlsx", "",
       [] { catalogue::PropertyRows rows; rows.values[catalogue::kTitle] = "表題"; rows.included[catalogue::kTitle] = true; return rows; }(),
       {}, {}, {{"core", kCoreType}}, "ods"},
      {officeDocs / "prProps.pptx", "", {}, {true, {{"Language", Value(CustomType::Text, "日本語")}}, true, false},
       {{"Language", "lpwstr", "日本語"}, {"Asset Type", "", ""}}, {}, "odp"},
      {officeDocs / "SampleSS.strict.xlsx", "", {}, {false, {{"Strict", Value(CustomType::YesNo, "no")}}},
       {{"Strict", "bool", "false"}}, {{"custom", kStrictCustomType}}, "-"},
  };
  for (const auto& example : cases) {
    SCOPED_TRACE(example.source.filename().string() + " " + example.dropPart);
    if (!fs::exists(example.source)) {
      std::cout << "[  SKIPPED ] " << example.source << " is absent\n";
      continue;
    }
    const test::TempDir dir;
    const fs::path file = example.dropPart.empty() ? dir.Copy(example.source) : WithoutPart(dir, example.source, example.dropPart);
    const OracleParts before = Oracle(file);
    const auto othersBefore = Others(file);
    ASSERT_TRUE(othersBefore) << othersBefore.outcome().message();

    const Changed changed = Change(file, example.rows, example.edits);
    ASSERT_TRUE(changed.planned) << changed.planned.outcome().message();
    EXPECT_TRUE(*changed.planned);
    ASSERT_TRUE(changed.written) << changed.written.message();

    const OracleParts after = Oracle(file);
    const auto othersAfter = Others(file);
    ASSERT_TRUE(othersAfter) << othersAfter.outcome().message();
    EXPECT_EQ(CustomOnly(*othersAfter), catalogue::CustomAfterEdits(*othersBefore, example.edits));

    // custom: "pid\tname\ttype\ttext"; the edited ones as stored, the others unchanged in order.
    std::vector<std::string> kept, pids;
    for (const std::string& line : before.lines.count("custom") ? before.lines.at("custom") : std::vector<std::string>()) {
      const std::string name = line.substr(line.find('\t') + 1, line.find('\t', line.find('\t') + 1) - line.find('\t') - 1);
      const bool edited = std::any_of(example.stored.begin(), example.stored.end(),
                                      [&](const Stored& s) { return catalogue::SameCustomName(s.name, name); });
      if (!edited && !example.edits.removeAllCustom) kept.push_back(line);
    }
    std::vector<std::string> keptAfter;
    std::map<std::string, std::string> storedAfter;
    for (const std::string& line : after.lines.count("custom") ? after.lines.at("custom") : std::vector<std::string>()) {
      std::istringstream fields(line);
      std::string pid, name, type, text;
      std::getline(fields, pid, '\t'), std::getline(fields, name, '\t'), std::getline(fields, type, '\t'), std::getline(fields, text);
      pids.push_back(pid);
      if (std::find(kept.begin(), kept.end(), line) != kept.end()) keptAfter.push_back(line);
      storedAfter[name] = type + "\t" + text;
    }
    EXPECT_EQ(keptAfter, kept);
    std::sort(pids.begin(), pids.end());
    EXPECT_EQ(std::adjacent_find(pids.begin(), pids.end()), pids.end()) << "a pid twice";
    for (const Stored& stored : example.stored) {
      const auto found = storedAfter.find(stored.name);
      if (stored.type.empty()) {
        EXPECT_EQ(found, storedAfter.end()) << stored.name;
      } else {
        EXPECT_EQ(found != storedAfter.end() ? found->second : "(absent)", stored.type + "\t" + stored.text) << stored.name;
      }
    }
    if (example.edits.removeTemplate) {
      for (const std::string& line : after.lines.at("app")) EXPECT_FALSE(line.starts_with("Template\t"));
    }
    if (example.rows.included[catalogue::kCompany]) {
      const auto& app = after.lines.at("app");
      EXPECT_NE(std::find(app.begin(), app.end(), "Company\ttext\t" + example.rows.values[catalogue::kCompany]), app.end());
    }

    // The relationships and content types change only by the added parts; every other entry stays.
    std::vector<std::string> rels = before.lines.at("rel"), overrides = before.lines.at("override");
    for (const auto& [kind, type] : example.added) {
      const std::string target = "docProps/" + std::string(kind == "core" ? "core" : kind == "app" ? "app" : "custom") + ".xml";
      const auto& relsAfter = after.lines.at("rel");
      const auto named = std::find_if(relsAfter.begin(), relsAfter.end(), [&](const std::string& line) {
        return line.ends_with("\t" + type + "\t" + target);
      });
      ASSERT_NE(named, relsAfter.end()) << target;
      rels.push_back(*named);
      overrides.push_back("/" + target + "\t" + kContentTypes.at(kind));
    }
    EXPECT_EQ(after.lines.at("rel"), rels);
    EXPECT_EQ(after.lines.at("override"), overrides);
    std::set<std::string> ids;
    for (const std::string& line : rels) EXPECT_TRUE(ids.insert(line.substr(0, line.find('\t'))).second) << line;
    for (const auto& [name, stored] : before.entries) {
      if (name == "_rels/.rels" || name == "[Content_Types].xml" || name.starts_with("docProps/")) continue;
      EXPECT_EQ(after.entries.count(name) ? after.entries.at(name) : "(gone)", stored) << name;
    }
    EXPECT_EQ(after.entries.size(), before.entries.size() + example.added.size());

    if (example.officeFormat != "-" && test::Soffice()) {
      const auto text = example.officeFormat.empty() ? test::ConvertToText(file)
                                                     : test::ConvertToOpenDocumentText(file, example.officeFormat);
      EXPECT_TRUE(text) << "LibreOffice cannot open the changed package";
    }
  }
}

// What needs no change plans none and writes nothing; what cannot be stored is refused, the
// package byte for byte as it was.
TEST(ChangePackageOtherProperties, PlansNothingForNoChangeAndRefusesWhatCannotBeStored) {
  const struct {
    OtherEdits edits;
    std::optional<FailureKind> refused;  // nullopt: plans no change
  } cases[] = {
      {{false, {{"CLIENT", Value(CustomType::Text, "顧客株式会社")}}}, std::nullopt},
      {{false, {{"absent", std::nullopt}}}, std::nullopt},
      {{false, {}, false, true}, std::nullopt},  // lo-custom-names.docx has no hyperlink base
      {{false, {{"", Value(CustomType::Text, "x")}}}, FailureKind::InvalidValue},
      {{false, {{"bad\x01name", Value(CustomType::Text, "x")}}}, FailureKind::InvalidValue},
      {{false, {{"ok", Value(CustomType::Text, "bad\x02value")}}}, FailureKind::InvalidValue},
  };
  const test::TempDir dir;
  const fs::path file = dir.Copy(test::DataFile("lo-custom-names.docx"));
  const auto bytes = test::ReadBytes(file);
  for (const auto& example : cases) {
    SCOPED_TRACE(example.edits.custom.empty() ? "hyperlink base" : example.edits.custom.front().first);
    const Changed changed = Change(file, {}, example.edits);
    if (example.refused) {
      EXPECT_EQ(changed.planned.outcome().kind(), *example.refused) << changed.planned.outcome().message();
    } else {
      ASSERT_TRUE(changed.planned) << changed.planned.outcome().message();
      EXPECT_FALSE(*changed.planned);
    }
    EXPECT_EQ(test::ReadBytes(file), bytes);
  }
}

// The other properties as ElementTree reads them: custom ones in order with their names, types
// and texts, then the core and extended elements that are no row, keyed by local name.
TEST(ReadPackageOtherProperties, MatchesElementTreeOverRealPackages) {
  if (!test::OlefilePython()) GTEST_SKIP() << "Debian's python3 is not installed";
  std::vector<fs::path> sources = {test::DataFile("lo-ja-full.docx"), test::DataFile("lo-custom-names.docx"),
                                   test::DataFile("pandoc-ja.docx")};
  if (const auto office = test::OfficeCorpusDir()) {
    for (const char* name : {"prProps.pptx", "45545_Comment.pptx", "SampleSS.strict.xlsx", "xlsx-jdbc.xlsx", "test.xltx"}) {
      sources.push_back(*office / "docs" / name);
    }
  } else {
    std::cout << "[          ] ../shared/corpus-office is absent: only our own packages are read\n";
  }
  const std::set<std::string> rowNames = {"title", "subject", "creator", "keywords", "description", "category",
                                          "revision", "lastModifiedBy", "created", "modified", "lastPrinted",
                                          "Company", "Manager", "TotalTime"};
  const std::set<std::string> editable = {"lpwstr", "lpstr", "bstr", "i1", "i2", "i4", "i8", "int", "ui1", "ui2",
                                           "ui4", "ui8", "uint", "r4", "r8", "decimal", "filetime", "date", "bool"};
  for (const fs::path& source : sources) {
    SCOPED_TRACE(source.filename().string());
    const auto others = Others(source);
    ASSERT_TRUE(others) << others.outcome().message();
    const OracleParts oracle = Oracle(source);
    // "name|stored type|text": editable custom types show as the catalogue shows them, so only
    // texts compare as stored; values shown shortened compare by what they show.
    std::vector<std::string> expected, read;
    for (const OtherProperty& property : *others) {
      std::string value = property.type && property.type != CustomType::Text ? "" : property.value;
      for (std::size_t at = 0; (at = value.find_first_of("\n\t", at)) != std::string::npos;) {
        value.replace(at, 1, value[at] == '\n' ? "\\n" : " ");
      }
      read.push_back(property.name + "|" + property.otherType + "|" + value);
    }
    for (const char* kind : {"custom", "core", "app"}) {
      if (!oracle.lines.count(kind)) continue;
      for (const std::string& line : oracle.lines.at(kind)) {
        std::istringstream fields(line);
        std::string pid, name, type, text;
        const bool custom = std::string(kind) == "custom";
        if (custom) std::getline(fields, pid, '\t');
        std::getline(fields, name, '\t'), std::getline(fields, type, '\t'), std::getline(fields, text);
        if (!custom && rowNames.count(name)) continue;
        if (custom && editable.count(type) && type != "lpwstr" && type != "lpstr" && type != "bstr") text.clear();
        if (custom) type = editable.count(type) ? "" : "vt:" + type;
        const std::size_t at = expected.size();
        if (at < read.size() && read[at].ends_with("…")) text = text.substr(0, read[at].size() - std::string("…").size() - name.size() - type.size() - 2) + "…";
        expected.push_back(name + "|" + type + "|" + text);
      }
    }
    EXPECT_EQ(read, expected);
  }
}

}  // namespace
}  // namespace kestrel::ooxml
