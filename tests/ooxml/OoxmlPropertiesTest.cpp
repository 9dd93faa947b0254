#include "ooxml/OoxmlProperties.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "catalogue/DocumentKind.h"
#include "ooxml/FindPropertyParts.h"
#include "ooxml/PackageProperties.h"
#include "platform/fs/FileIo.h"
#include "tests/support/ExpectedRows.h"
#include "tests/support/TestSupport.h"

namespace kestrel::ooxml {
namespace {

namespace fs = std::filesystem;
using Rows = std::array<std::string, catalogue::kRowCount>;

Result<Rows> Read(const fs::path& file) {
  zip::Package package;
  xml::XmlDocument partDocument;
  return ReadOoxmlProperties(package, partDocument, file.string());
}

// The rows read; a failed reading fails the test and gives empty rows.
Rows ReadRows(const fs::path& file) {
  const Result<Rows> read = Read(file);
  EXPECT_TRUE(read) << read.outcome().message();
  return read ? *read : Rows();
}

// The change as the program makes it: planned, then written with the package's own state.
Outcome Write(const fs::path& file, const catalogue::PropertyRows& rows) {
  PackageProperties packages;
  kestrel::fs::OpenResult opened = kestrel::fs::OpenForReading(file.string());
  const std::optional<kestrel::fs::FileRecord> record = kestrel::fs::RecordOf(opened, file.string());
  if (!record) return kestrel::fs::DescribeUnrecordedFile(file.string());
  const auto document = packages.Open(std::move(opened), file.string());
  const Result<bool> planned = document->Plan(rows);
  return planned ? document->Write(*record) : planned.outcome();
}

// Python's zipfile view of every entry: name -> method, time, CRC, sizes, raw compressed bytes.
std::optional<std::map<std::string, std::string>> ZipEntries(const fs::path& file) {
  const auto python = test::OlefilePython();
  if (!python) return std::nullopt;
  const auto result = test::RunCommand(*python + " " + test::ShellQuote(test::TestScript("oracle/zip_dump.py").string()) +
                                       " dump " + test::ShellQuote(file.string()));
  if (result.exitCode != 0) return std::nullopt;
  std::map<std::string, std::string> entries;
  std::istringstream lines(result.output);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream words(line);
    std::string kind, name, method, time, crc, size, flags, made, needed, attributes, raw;
    words >> kind;
    if (kind == "testzip") entries["(testzip)"] = (words >> name, name);
    if (kind != "entry") continue;
    words >> name >> method >> time >> crc >> size >> flags >> made >> needed >> attributes >> raw;
    // The flags may lose the data-descriptor bit when an entry is copied; the rest must stay.
    entries[name] = method + " " + time + " " + crc + " " + size + " " + raw;
  }
  return entries;
}

int CheckCorpus(const fs::path& folder, const fs::path& expectedRows) {
  int checked = 0;
  for (const auto& [name, rows] : test::LoadExpectedRows(expectedRows)) {
    if (catalogue::DocumentKindOf(name) != catalogue::DocumentKind::Ooxml) continue;
    ++checked;
    const Result<Rows> read = Read(folder / name);
    EXPECT_EQ(read.ok(), rows.has_value()) << name << ": " << read.outcome().message();
    if (!read || !rows) continue;
    for (int row = 0; row < catalogue::kRowCount; ++row) {
      EXPECT_EQ((*read)[static_cast<std::size_t>(row)], (*rows)[static_cast<std::size_t>(row)]) << name << ", row " << row;
    }
  }
  return checked;
}

TEST(ReadOoxmlProperties, MatchesTheIndependentReadingsOfOurPackages) {
  const test::ScopedTimeZone tokyo("Asia/Tokyo");
  EXPECT_GE(CheckCorpus(test::DataFile(""), test::DataFile("expected-rows.jsonl")), 13);
}

TEST(ReadOoxmlProperties, MatchesTheIndependentReadingsOfPublicPackages) {
  const auto corpus = test::PublicCorpusDir();
  if (!corpus) GTEST_SKIP() << "../shared/corpus-public is not beside the checkout";
  const test::ScopedTimeZone tokyo("Asia/Tokyo");
  EXPECT_GE(CheckCorpus(*corpus / "docs", *corpus / "expected-rows.jsonl"), 12);
}

catalogue::PropertyRows SingleChange() {
  return catalogue::PropertyRows::AllIncluded({" 月次報告書", "売上の集計", "山田太郎", "報告書 テスト", "一行目\n二行目", "技術資料",
                                               "13", "鈴木花子", "佐藤一郎", "株式会社テスト", "2021/04/01 9:15:30",
                                               "2023/06/15 18:45:10", "95", "2023/06/10 12:00:00"});
}

// A single change with every row: reads back as written, every other entry of the package
// keeps its bytes, and all CRCs are right.
TEST(ChangeOoxmlProperties, SingleChangeReadsBackAndKeepsEveryOtherEntry) {
  if (!test::OlefilePython()) GTEST_SKIP() << "Debian's python3 is not installed";
  const test::ScopedTimeZone tokyo("Asia/Tokyo");
  std::vector<fs::path> sources;
  for (const char* name : {"lo-ja-full.docx", "lo-untouched-empty.docx", "pandoc-ja.docx", "pandoc-minimal.docx",
                           "lo-large-image.docx", "MixedCase.Docx"}) {
    sources.push_back(test::DataFile(name));
  }
  if (const auto corpus = test::PublicCorpusDir()) {
    for (const char* name : {"SampleDoc.docx", "heading123.docx", "58067.docx", "Bug51170.docx"}) {
      sources.push_back(*corpus / "docs" / name);
    }
  }
  for (const auto& source : sources) {
    SCOPED_TRACE(source.filename().string());
    const test::TempDir dir;
    const auto file = dir.Copy(source);
    const auto before = ZipEntries(file);
    ASSERT_TRUE(before);
    ASSERT_TRUE(Write(file, SingleChange()));
    const auto read = Read(file);
    ASSERT_TRUE(read);
    EXPECT_EQ(*read, SingleChange().values);
    const auto after = ZipEntries(file);
    ASSERT_TRUE(after);
    EXPECT_EQ(after->at("(testzip)"), "OK");
    EXPECT_EQ(after->size(), before->size());
    for (const auto& [name, entry] : *before) {
      if (name == "(testzip)" || name == "646f6350726f70732f6170702e786d6c" || name == "646f6350726f70732f636f72652e786d6c") {
        continue;  // docProps/app.xml and docProps/core.xml
      }
      EXPECT_EQ(after->count(name) ? after->at(name) : "missing", entry) << name;
    }
  }
}

// Declaration and canonical form of both property parts, by Python's zipfile and ElementTree.
std::optional<std::string> CanonicalParts(const fs::path& file) {
  const auto python = test::OlefilePython();
  if (!python) return std::nullopt;
  const auto result = test::RunCommand(*python + " " + test::ShellQuote(test::TestScript("oracle/part_canonical.py").string()) +
                                       " " + test::ShellQuote(file.string()) + " docProps/core.xml docProps/app.xml");
  if (result.exitCode != 0) return std::nullopt;
  return result.output;
}

// Writing back what a part holds leaves both parts with exactly their elements, attributes,
// namespaces and declaration, whoever wrote the package and however it is indented.
TEST(ChangeOoxmlProperties, RewrittenPartsKeepTheirContent) {
  if (!test::OlefilePython()) GTEST_SKIP() << "Debian's python3 is not installed";
  const test::ScopedTimeZone tokyo("Asia/Tokyo");
  std::vector<fs::path> sources = {test::DataFile("lo-ja-full.docx"), test::DataFile("pandoc-ja.docx"),
                                   test::DataFile("lo-ascii-full.docx")};
  if (const auto corpus = test::PublicCorpusDir()) {
    for (const char* name : {"SampleDoc.docx", "heading123.docx", "TestPoiXMLDocumentCorePropertiesGetKeywords.docx"}) {
      sources.push_back(*corpus / "docs" / name);
    }
  }
  for (const auto& source : sources) {
    SCOPED_TRACE(source.filename().string());
    const test::TempDir dir;
    const auto file = dir.Copy(source);
    const auto before = CanonicalParts(file);
    const auto values = Read(file);
    ASSERT_TRUE(before && values);
    catalogue::PropertyRows rows;
    rows.values = *values;
    // Rows whose element is absent (or empty) are left out, so nothing is added. Every text is
    // changed and then put back, so both parts are rewritten twice.
    for (int row = 0; row < catalogue::kRowCount; ++row) rows.included[static_cast<std::size_t>(row)] = !rows.Value(row).empty();
    catalogue::PropertyRows changed = rows;
    for (int row : {catalogue::kTitle, catalogue::kAuthor, catalogue::kLastSavedBy, catalogue::kEditingTime}) {
      changed.values[static_cast<std::size_t>(row)] += "0";
    }
    ASSERT_TRUE(Write(file, changed));
    EXPECT_NE(CanonicalParts(file), before);
    ASSERT_TRUE(Write(file, rows));
    EXPECT_EQ(CanonicalParts(file), before);
  }
}

TEST(ChangeOoxmlProperties, EmptyValuesAndBatchSelection) {
  const test::ScopedTimeZone tokyo("Asia/Tokyo");
  const test::TempDir dir;
  const auto file = dir.Copy(test::DataFile("lo-ja-full.docx"));
  const auto original = Read(file);
  ASSERT_TRUE(original);

  // Only the company row takes part: nothing else changes.
  catalogue::PropertyRows company;
  company.values[catalogue::kCompany] = "株式会社サンプル";
  company.included[catalogue::kCompany] = true;
  ASSERT_TRUE(Write(file, company));
  Rows expected = *original;
  expected[catalogue::kCompany] = "株式会社サンプル";
  EXPECT_EQ(ReadRows(file), expected);

  // Clearing the title empties it; clearing the editing time and the printed date removes them.
  auto rows = catalogue::PropertyRows::AllIncluded(*original);
  rows.values[catalogue::kTitle] = "";
  rows.values[catalogue::kEditingTime] = "";
  rows.values[catalogue::kLastPrinted] = "   ";
  ASSERT_TRUE(Write(file, rows));
  expected = *original;
  expected[catalogue::kTitle] = "";
  expected[catalogue::kEditingTime] = "";
  expected[catalogue::kLastPrinted] = "";
  EXPECT_EQ(ReadRows(file), expected);

  // Entering them again appends the elements.
  ASSERT_TRUE(Write(file, catalogue::PropertyRows::AllIncluded(*original)));
  EXPECT_EQ(ReadRows(file), *original);
}

// A package that cannot be read is refused by the reading and by a change alike, with the reason
// of the layer that found it, and stays as it was. A change is handed the opened file, and its
// caller names it.
TEST(ReadOoxmlProperties, RefusesPackagesWithTheReasonOfTheLayerThatFailed) {
  const test::TempDir dir;
  const struct {
    std::string name;
    FailureKind kind;
    std::string said;
    std::string changeSaid = said;
  } cases[] = {
      {"z.docx", FailureKind::NotADocument, "the package has no _rels/.rels"},
      {"renamed-doc-as.docx", FailureKind::NotADocument, "not a ZIP package: Not a valid zip file!"},
      {"truncated.docx", FailureKind::NotADocument, "not a ZIP package: Not a valid zip file!"},
      {"x.doc", FailureKind::NotADocument, "not a ZIP package: Not a valid zip file!"},
      {"missing.docx", FailureKind::NotFound, (dir.Path() / "missing.docx").string() + ": no such file", "no such file"},
  };
  for (const auto& [name, kind, said, changeSaid] : cases) {
    SCOPED_TRACE(name);
    const fs::path file = fs::exists(test::DataFile(name)) ? dir.Copy(test::DataFile(name)) : dir.Path() / name;
    const auto bytes = fs::exists(file) ? test::ReadBytes(file) : std::vector<std::uint8_t>();
    const Result<Rows> read = Read(file);
    EXPECT_EQ(read.outcome().kind(), kind);
    EXPECT_EQ(read.outcome().message(), said);
    const Outcome changed = Write(file, SingleChange());
    EXPECT_EQ(changed.kind(), kind);
    EXPECT_EQ(changed.message(), changeSaid);
    EXPECT_EQ(fs::exists(file) ? test::ReadBytes(file) : std::vector<std::uint8_t>(), bytes);
  }
}

// A package larger than any real document in the parts or entries a reading holds is refused
// as such, before it is held, and stays as it was.
TEST(PackageProperties, RefusesPackagesPastTheDocumentLimits) {
  const struct {
    int entries;
    int padding;
    std::string said;
  } cases[] = {
      {20001, 0, "The package has more than 20000 entries, more than are read here"},
      {0, 5 << 20, "docProps/core.xml is larger than 4194304 bytes, more than a part is read with"},
  };
  for (const auto& [entries, padding, said] : cases) {
    SCOPED_TRACE(said);
    const test::TempDir dir;
    const fs::path file = dir.Path() / "swollen.docx";
    const auto made = test::RunCommand("/usr/bin/python3 " + test::ShellQuote(test::TestScript("ooxml/zip/make_packages.py").string()) +
                                       " swollen " + test::ShellQuote(test::DataFile("lo-ja-full.docx").string()) + " " +
                                       test::ShellQuote(file.string()) + " " + std::to_string(entries) + " " + std::to_string(padding));
    ASSERT_EQ(made.exitCode, 0) << made.output;
    const auto bytes = test::ReadBytes(file);
    PackageProperties packages;
    const catalogue::DocumentRows rows = packages.Open(kestrel::fs::OpenForReading(file.string()), file.string())->Rows();
    EXPECT_EQ(rows.outcome.kind(), FailureKind::Unsupported);
    EXPECT_NE(rows.outcome.message().find(said), std::string::npos) << rows.outcome.message();
    const Outcome changed = Write(file, SingleChange());
    EXPECT_NE(changed.message().find(said), std::string::npos) << changed.message();
    EXPECT_EQ(test::ReadBytes(file), bytes);
  }
}

// Parts planned on one version of a package never go into another: a package another program
// put in place between the plan and the write is refused and keeps what that program wrote.
TEST(PackageProperties, RefusesToWriteIntoAPackageChangedAfterThePlan) {
  const test::TempDir dir;
  const fs::path file = dir.Copy(test::DataFile("lo-ja-full.docx"));
  const fs::path other = dir.Path() / "other.docx";
  fs::copy_file(test::DataFile("pandoc-ja.docx"), other);
  const auto bytes = test::ReadBytes(other);
  PackageProperties packages;
  kestrel::fs::OpenResult opened = kestrel::fs::OpenForReading(file.string());
  const std::optional<kestrel::fs::FileRecord> record = kestrel::fs::RecordOf(opened, file.string());
  ASSERT_TRUE(record);
  const auto document = packages.Open(std::move(opened), file.string());
  ASSERT_TRUE(document->Plan(SingleChange()));
  fs::rename(other, file);
  const Outcome written = document->Write(*record);
  EXPECT_EQ(written.kind(), FailureKind::HeldOpen);
  EXPECT_NE(written.message().find("another program changed the package after it was read"), std::string::npos)
      << written.message();
  EXPECT_EQ(test::ReadBytes(file), bytes);
}

// A package whose relationships name no extended-properties part reads with that part's rows empty.
TEST(ReadOoxmlProperties, ReadsAPackageWithoutTheExtendedPart) {
  if (!test::OlefilePython()) GTEST_SKIP() << "Debian's python3 is not installed";
  const test::TempDir dir;
  const auto file = dir.Path() / "no-app.docx";
  const std::string script =
      "import zipfile,sys\n"
      "src=zipfile.ZipFile(sys.argv[1]); dst=zipfile.ZipFile(sys.argv[2],'w',zipfile.ZIP_DEFLATED)\n"
      "for i in src.infolist():\n"
      "  d=src.read(i)\n"
      "  if i.filename=='_rels/.rels':\n"
      "    import re; d=re.sub(rb'<Relationship[^>]*extended-properties[^>]*/>',b'',d)\n"
      "  dst.writestr(i,d)\n"
      "dst.close()\n";
  const auto python = test::OlefilePython();
  if (!python) GTEST_SKIP() << "Debian's python3 is not installed";
  ASSERT_EQ(test::RunCommand(*python + " -c " + test::ShellQuote(script) + " " +
                             test::ShellQuote(test::DataFile("lo-ja-full.docx").string()) + " " + test::ShellQuote(file.string()))
                .exitCode,
            0);
  zip::Package package;
  xml::XmlDocument partDocument;
  const auto located = LocatePropertyParts(package, partDocument, file.string());
  ASSERT_TRUE(located);
  EXPECT_EQ(located->extendedPart, "");
  Rows expected = ReadRows(test::DataFile("lo-ja-full.docx"));
  for (int row : {catalogue::kManager, catalogue::kCompany, catalogue::kEditingTime}) expected[static_cast<std::size_t>(row)].clear();
  EXPECT_EQ(ReadRows(file), expected);

  const auto parts = LocatePropertyParts(package, partDocument, test::DataFile("lo-ja-full.docx").string());
  ASSERT_TRUE(parts);
  EXPECT_EQ(parts->extendedPart, "docProps\\app.xml");
  EXPECT_EQ(parts->corePart, "docProps\\core.xml");
  EXPECT_EQ(parts->customPart, "docProps\\custom.xml");
}


const std::string kCp = "http://schemas.openxmlformats.org/package/2006/metadata/core-properties";
const std::string kDc = "http://purl.org/dc/elements/1.1/";
const std::string kDcterms = "http://purl.org/dc/terms/";
const std::string kExtended = "http://schemas.openxmlformats.org/officeDocument/2006/extended-properties";

// A copy of lo-ja-full.docx whose two property parts hold the given texts, made by Python's zipfile.
fs::path PackageWithParts(const test::TempDir& dir, const std::string& core, const std::string& app) {
  static int made = 0;
  const fs::path file = dir.Path() / ("built" + std::to_string(++made) + ".docx");
  std::ofstream(dir.Path() / "core.xml", std::ios::binary) << core;
  std::ofstream(dir.Path() / "app.xml", std::ios::binary) << app;
  const std::string script =
      "import zipfile,sys,os\n"
      "src=zipfile.ZipFile(sys.argv[1]); dst=zipfile.ZipFile(sys.argv[2],'w',zipfile.ZIP_DEFLATED)\n"
      "for i in src.infolist():\n"
      "  n=os.path.join(sys.argv[3],os.path.basename(i.filename))\n"
      "  dst.writestr(i,open(n,'rb').read() if i.filename in ('docProps/core.xml','docProps/app.xml') else src.read(i))\n"
      "dst.close()\n";
  const auto result = test::RunCommand(*test::OlefilePython() + " -c " + test::ShellQuote(script) + " " +
                                       test::ShellQuote(test::DataFile("lo-ja-full.docx").string()) + " " +
                                       test::ShellQuote(file.string()) + " " + test::ShellQuote(dir.Path().string()));
  EXPECT_EQ(result.exitCode, 0) << result.output;
  return file;
}

// ElementTree's reading by namespace: "dc:title" -> text, "(none)" for an absent element.
std::map<std::string, std::string> OracleProperties(const fs::path& file) {
  const auto result = test::RunCommand(*test::OlefilePython() + " " +
                                       test::ShellQuote(test::TestScript("oracle/package_props.py").string()) + " " +
                                       test::ShellQuote(file.string()));
  std::map<std::string, std::string> properties;
  std::istringstream lines(result.output);
  for (std::string line; std::getline(lines, line);) {
    const std::size_t equals = line.find('=');
    if (equals != std::string::npos) properties[line.substr(0, equals)] = line.substr(equals + 1);
  }
  return properties;
}

Result<std::vector<PartUpdate>> Plan(const fs::path& file, const catalogue::PropertyRows& rows) {
  zip::Package package;
  xml::XmlDocument partDocument;
  return PlanOoxmlProperties(package, partDocument, file.string(), rows);
}

// Parts that bind other prefixes, default namespaces, or only cp: every row is found by its
// namespace, written in it, and read back by ElementTree as stored.
TEST(ChangeOoxmlProperties, FindsAndWritesElementsByNamespace) {
  if (!test::OlefilePython()) GTEST_SKIP() << "Debian's python3 is not installed";
  const test::ScopedTimeZone tokyo("Asia/Tokyo");
  const struct {
    std::string core, app;
    std::string title, company;  // as read before the change
  } cases[] = {
      {"<cp:coreProperties xmlns:cp='" + kCp + "'><cp:lastModifiedBy>x</cp:lastModifiedBy></cp:coreProperties>",
       "<ap:Properties xmlns:ap='" + kExtended + "'><ap:Company>C</ap:Company></ap:Properties>", "", "C"},
      {"<?xml version='1.0'?><coreProperties xmlns='" + kCp + "' xmlns:d='" + kDc + "'><d:title>T</d:title>"
       "<keywords>k</keywords></coreProperties>", "<Properties xmlns='" + kExtended + "'><Company>C</Company></Properties>", "T", "C"},
      {"<c:coreProperties xmlns:c='" + kCp + "' xmlns:dc='urn:not-dc' xmlns:dcterms='urn:not-terms'><dc:title>no</dc:title>"
       "<title xmlns='" + kDc + "'>T</title></c:coreProperties>",
       "<e:Properties xmlns:e='" + kExtended + "' xmlns='urn:other'><Company>no</Company></e:Properties>", "T", ""},
  };
  const std::map<std::string, std::string> stored = {
      {"dc:title", " 月次報告書"}, {"dc:subject", "売上の集計"}, {"dc:creator", "山田太郎"}, {"cp:keywords", "報告書 テスト"},
      {"dc:description", "一行目\\n二行目"}, {"cp:category", "技術資料"}, {"cp:revision", "13"},
      {"cp:lastModifiedBy", "鈴木花子"}, {"ep:Manager", "佐藤一郎"}, {"ep:Company", "株式会社テスト"},
      {"dcterms:created", "2021-04-01T00:15:30Z"}, {"dcterms:modified", "2023-06-15T09:45:10Z"},
      {"ep:TotalTime", "95"}, {"cp:lastPrinted", "2023-06-10T03:00:00Z"}, {"testzip", "None"}};
  const test::TempDir dir;
  for (const auto& example : cases) {
    SCOPED_TRACE(example.core);
    const auto file = PackageWithParts(dir, example.core, example.app);
    const auto before = Read(file);
    ASSERT_TRUE(before);
    EXPECT_EQ((*before)[catalogue::kTitle], example.title);
    EXPECT_EQ((*before)[catalogue::kCompany], example.company);
    ASSERT_TRUE(Write(file, SingleChange()));
    EXPECT_EQ(ReadRows(file), SingleChange().values);
    EXPECT_EQ(OracleProperties(file), stored);
  }
}

// A core part that cannot be changed leaves no change planned: the extended part is not stored
// either, and the failure names the part and the place. The reading refuses it for the same
// reason, unless only its document element is of another kind: it reads elements by namespace.
TEST(PlanOoxmlProperties, AFailingCorePartPlansNothing) {
  if (!test::OlefilePython()) GTEST_SKIP() << "Debian's python3 is not installed";
  const std::string root = "<cp:coreProperties xmlns:cp='" + kCp + "' xmlns:dc='" + kDc + "'>";
  const struct {
    std::string core;
    FailureKind kind;
    std::string said;
    bool readable;
  } cases[] = {
      {root + "<dc:title>x</dc:title>", FailureKind::Damaged, "docProps/core.xml: ", false},
      {"<!DOCTYPE r><r/>", FailureKind::Damaged, "docProps/core.xml: Document type declarations are not allowed", false},
      {"<cp:coreProperties xmlns:cp='" + kCp + "'><dc:title>x</dc:title></cp:coreProperties>",
       FailureKind::Damaged, "docProps/core.xml: Reference to undeclared namespace prefix", false},
      {root + "<dc:title>a<b/></dc:title></cp:coreProperties>", FailureKind::Unsupported, "docProps/core.xml: dc:title: ",
       false},
      {"<coreProperties xmlns='urn:other'/>", FailureKind::Unsupported, "docProps/core.xml: the document element", true},
  };
  const test::TempDir dir;
  const std::string app = "<Properties xmlns='" + kExtended + "'><Company>C</Company></Properties>";
  for (const auto& [core, kind, said, readable] : cases) {
    SCOPED_TRACE(core);
    const auto file = PackageWithParts(dir, core, app);
    const auto bytes = test::ReadBytes(file);
    const auto planned = Plan(file, SingleChange());
    ASSERT_FALSE(planned);
    EXPECT_EQ(planned.outcome().kind(), kind);
    EXPECT_TRUE(planned.outcome().message().starts_with(said)) << planned.outcome().message();
    EXPECT_EQ(Write(file, SingleChange()).message(), planned.outcome().message());
    EXPECT_EQ(test::ReadBytes(file), bytes);
    const Result<Rows> read = Read(file);
    EXPECT_EQ(read.ok(), readable);
    if (!readable) {
      EXPECT_EQ(read.outcome().kind(), kind);
      EXPECT_TRUE(read.outcome().message().starts_with(said)) << read.outcome().message();
    }
  }
}

TEST(PlanOoxmlProperties, RefusesValuesThatCannotBeStored) {
  const test::ScopedTimeZone tokyo("Asia/Tokyo");
  const struct {
    int row;
    std::string value;
    std::string said;
  } cases[] = {
      {catalogue::kCompany, "a\x01z", "docProps/app.xml: Company: Character U+1 is not allowed in XML"},
      {catalogue::kTitle, "\xC3", "docProps/core.xml: dc:title: Text is not valid UTF-8"},
      {catalogue::kCreated, "yesterday", "docProps/core.xml: dcterms:created: 'yesterday' is not a valid date and time"},
      {catalogue::kLastPrinted, "2023/13/01", "docProps/core.xml: cp:lastPrinted: '2023/13/01' is not"},
  };
  const test::TempDir dir;
  const auto file = dir.Copy(test::DataFile("lo-ja-full.docx"));
  const auto bytes = test::ReadBytes(file);
  for (const auto& [row, value, said] : cases) {
    catalogue::PropertyRows rows = SingleChange();
    rows.values[static_cast<std::size_t>(row)] = value;
    const auto planned = Plan(file, rows);
    ASSERT_FALSE(planned) << said;
    EXPECT_EQ(planned.outcome().kind(), FailureKind::InvalidValue);
    EXPECT_TRUE(planned.outcome().message().starts_with(said)) << planned.outcome().message();
    EXPECT_EQ(Write(file, rows).kind(), FailureKind::InvalidValue);
  }
  EXPECT_EQ(test::ReadBytes(file), bytes);
}

// Dates with an offset or a fraction read as their instant; a change of other rows keeps every
// stored date as written, one that cannot be read included.
TEST(ChangeOoxmlProperties, OtherRowsKeepStoredDatesAsWritten) {
  if (!test::OlefilePython()) GTEST_SKIP() << "Debian's python3 is not installed";
  const test::ScopedTimeZone tokyo("Asia/Tokyo");
  const test::TempDir dir;
  const auto file = PackageWithParts(
      dir,
      "<cp:coreProperties xmlns:cp='" + kCp + "' xmlns:dcterms='" + kDcterms +
          "'><dcterms:created>2009-05-12T12:04:05+09:00</dcterms:created><dcterms:modified>2010-01-01T00:00:00.25Z"
          "</dcterms:modified><cp:lastPrinted>soon</cp:lastPrinted></cp:coreProperties>",
      "<Properties xmlns='" + kExtended + "'/>");
  auto rows = catalogue::PropertyRows::AllIncluded(ReadRows(file));
  EXPECT_EQ(rows.Value(catalogue::kCreated), "2009/05/12 12:04:05");
  EXPECT_EQ(rows.Value(catalogue::kLastSaved), "2010/01/01 9:00:00");
  EXPECT_EQ(rows.Value(catalogue::kLastPrinted), "");
  const auto unchanged = Plan(file, rows);
  ASSERT_TRUE(unchanged);
  EXPECT_TRUE(unchanged->empty());
  rows.values[catalogue::kTitle] = "New";
  ASSERT_TRUE(Write(file, rows));
  const auto stored = OracleProperties(file);
  EXPECT_EQ(stored.at("dc:title"), "New");
  EXPECT_EQ(stored.at("dcterms:created"), "2009-05-12T12:04:05+09:00");
  EXPECT_EQ(stored.at("dcterms:modified"), "2010-01-01T00:00:00.25Z");
  EXPECT_EQ(stored.at("cp:lastPrinted"), "soon");
}

}  // namespace
}  // namespace kestrel::ooxml
