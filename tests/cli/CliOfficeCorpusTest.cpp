// kestrelpad-cli over workbooks, presentations and Word variants from other producers
// (../shared/corpus-office): show prints the independent readings' rows, set writes the property
// sets or parts alone and leaves every other stream and entry as it was, and LibreOffice still
// opens what was changed.

#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "catalogue/DocumentKind.h"
#include "cli/HelpTexts.h"
#include "tests/cli/CliRun.h"
#include "tests/support/ExpectedRows.h"
#include "tests/support/LibreOffice.h"
#include "tests/support/Oracles.h"
#include "tests/support/TestSupport.h"

namespace kestrel::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr const char* kNoCorpus = "the Office corpus (../shared/corpus-office/docs) is absent";
constexpr const char* kTitle = "Office title";
constexpr const char* kCompany = "Office company";
const std::vector<std::string> kSetWords = {"set", "--title", kTitle, "--company", kCompany, "--editing-minutes", "42",
                                            "--created", "2001/02/03 4:05:06"};

// Readable files that a change refuses before writing anything, and why.
const std::map<std::string, std::string> kRefused = {
    {"Password_Protected-hello.ppt",
     "encrypted document: its properties are kept in the encrypted EncryptedSummary stream"},
    {"testEXCEL_4.xls", "not a compound file"},
    {"WithMacros.ppt", "damaged compound file: FAT sector 31 is not marked as one in the FAT"},
    {"bug55505.xls", "DocumentSummaryInformation: section 2 runs past the end of the stream"}};

// Packages lacking one of their two property parts, which the readings took for unreadable: they
// are read, the missing part's rows empty. Changing them adds the part, which the package tests
// check entry by entry; the set test below leaves them out.
const std::map<std::string, std::array<std::string, 14>> kWithoutAPart = {
    {"xlsx-jdbc.xlsx",
     {"", "", "Apache POI", "", "", "", "", "Yegor Kozlov", "", "", "2009/05/23 21:04:04", "2009/05/23 17:04:06", "", ""}},
    {"OPCCompliance_NoCoreProperties.xlsx", {}},
};

std::map<std::string, ExpectedRows> OfficeExpectations(const fs::path& corpus) {
  std::map<std::string, ExpectedRows> expected = LoadExpectedRows(corpus / "expected-rows.jsonl");
  for (const auto& [name, rows] : kWithoutAPart) expected[name] = rows;
  return expected;
}

bool IsPackage(const std::string& name) { return catalogue::DocumentKindOf(name) == catalogue::DocumentKind::Ooxml; }

// Copies of every corpus file in `dir`, by name.
std::vector<std::string> CopyCorpus(const fs::path& corpus, const TempDir& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(corpus / "docs")) {
    names.push_back(dir.Copy(entry.path()).filename().string());
  }
  return names;
}

// What the independent readers see of a file.
struct Observed {
  std::vector<std::uint8_t> bytes;
  std::optional<StreamHashes> streams;  // compound files
  std::optional<PropertyDump> summary, docSummary;
  std::map<std::string, std::string> entries, core, app;  // packages
  std::string appNamespaces;  // of the extended part's element and of its Company and TotalTime
};

std::string AppNamespaces(const fs::path& package) {
  return RunCommand("/usr/bin/python3 -c 'import sys, zipfile, xml.etree.ElementTree as E\n"
                    "r = E.fromstring(zipfile.ZipFile(sys.argv[1]).read(\"docProps/app.xml\"))\n"
                    "named = [e for e in r if e.tag.endswith((\"}Company\", \"}TotalTime\"))]\n"
                    "print(*sorted({e.tag.split(\"}\")[0] for e in [r, *named]}))' " +
                    ShellQuote(package.string()))
      .output;
}

// The bytes alone of a file the readings cannot read.
Observed Observe(const fs::path& file, bool readable) {
  Observed seen;
  seen.bytes = ReadBytes(file);
  if (!readable) return seen;
  if (IsPackage(file.filename().string())) {
    seen.entries = ZipEntries(file);
    seen.core = PartTexts(file, "docProps/core.xml");
    seen.app = PartTexts(file, "docProps/app.xml");
    seen.appNamespaces = AppNamespaces(file);
    return seen;
  }
  seen.streams = DumpStreams(file);
  if (!seen.streams) return seen;
  seen.summary = DumpPropertySet(file, "SummaryInformation");
  seen.docSummary = DumpPropertySet(file, "DocumentSummaryInformation");
  return seen;
}

// A set after the change: the values written, everything else as it was (a new set is compared
// on the values written alone).
void ExpectSetWritten(const std::optional<PropertyDump>& before, const std::optional<PropertyDump>& after,
                      const std::map<std::uint32_t, std::string>& written) {
  ASSERT_TRUE(after) << "the set is not readable after the change";
  PropertyDump expected = before.value_or(*after);
  for (const auto& [pid, value] : written) expected.properties[{0, pid}] = value;
  EXPECT_EQ(*after, expected);
}

void ExpectOnlyTheAskedChanged(const Observed& before, const Observed& after) {
  if (before.streams) {
    ASSERT_TRUE(after.streams) << "olefile cannot open the changed file";
    StreamHashes expected = *before.streams;
    StreamHashes actual = *after.streams;
    for (const char* set : {"\\x05SummaryInformation", "\\x05DocumentSummaryInformation"}) {
      expected.erase(set);
      actual.erase(set);
    }
    EXPECT_EQ(actual, expected) << "a stream other than the property sets changed";
    const std::uint64_t created = FileTimeOfSeconds(TokyoSeconds(2001y / 2 / 3, 4h + 5min + 6s));
    ExpectSetWritten(before.summary, after.summary,
                     {{2, DumpedText(before.summary ? TextType(*before.summary, 2) : 30, kTitle)},
                      {10, "64 " + std::to_string(42ULL * 600'000'000)},
                      {12, "64 " + std::to_string(created)}});
    ExpectSetWritten(before.docSummary, after.docSummary,
                     {{15, DumpedText(before.docSummary ? TextType(*before.docSummary, 15) : 30, kCompany)}});
    return;
  }
  ASSERT_FALSE(after.entries.empty()) << "zipfile cannot open the changed package";
  auto expected = before.entries;
  auto actual = after.entries;
  for (const char* part : {"docProps/core.xml", "docProps/app.xml"}) {
    expected.erase(Hex(part));
    actual.erase(Hex(part));
  }
  EXPECT_EQ(actual, expected) << "an entry other than the property parts changed";
  auto core = before.core;
  core["title"] = kTitle;
  core["created"] = "2001-02-02T19:05:06Z";
  EXPECT_EQ(after.core, core);
  auto app = before.app;
  app["Company"] = kCompany;
  app["TotalTime"] = "42";
  EXPECT_EQ(after.app, app);
  EXPECT_EQ(after.appNamespaces, before.appNamespaces) << "the extended part's elements left its namespace";
}

TEST(CliOfficeCorpus, ShowPrintsTheRowsOfTheReadingsAndRefusesTheUnreadableWithTheirReason) {
  const auto corpus = OfficeCorpusDir();
  if (!corpus) GTEST_SKIP() << kNoCorpus;
  const auto expected = OfficeExpectations(*corpus);
  const TempDir dir;
  const std::vector<std::string> names = CopyCorpus(*corpus, dir);
  ASSERT_EQ(names.size(), expected.size());

  const CliResult show = RunCli(Concat({"show"}, names), dir.Path());

  for (const auto& [name, rows] : expected) {
    SCOPED_TRACE(name);
    EXPECT_EQ(ShownRows(show.out, name), rows);
    if (!rows) {
      EXPECT_NE(show.err.find(name + ": cannot be read as a package: "), std::string::npos) << show.err;
    }
  }
}

TEST(CliOfficeCorpus, SetWritesTheAskedValuesAndNothingElse) {
  const auto corpus = OfficeCorpusDir();
  if (!corpus) GTEST_SKIP() << kNoCorpus;
  if (!OlefilePython()) GTEST_SKIP() << "python3-olefile is not installed";
  auto expected = OfficeExpectations(*corpus);
  for (const auto& [name, rows] : kWithoutAPart) expected.erase(name);
  const TempDir dir;
  std::vector<std::string> names = CopyCorpus(*corpus, dir);
  std::erase_if(names, [](const std::string& name) { return kWithoutAPart.contains(name); });
  std::map<std::string, Observed> before;
  for (const std::string& name : names) before[name] = Observe(dir.Path() / name, expected.at(name).has_value());

  const CliResult set = RunCli(Concat(kSetWords, names), dir.Path());
  const CliResult show = RunCli(Concat({"show"}, names), dir.Path());

  for (const auto& [name, rows] : expected) {
    SCOPED_TRACE(name);
    const Observed after = Observe(dir.Path() / name, rows.has_value());
    const auto refused = kRefused.find(name);
    if (!rows || refused != kRefused.end()) {
      EXPECT_NE(set.out.find("change error: " + name + "\n"), std::string::npos) << set.out;
      EXPECT_EQ(after.bytes, before[name].bytes) << "a refused change wrote";
      if (refused != kRefused.end()) {
        EXPECT_NE(set.err.find(name + ": " + refused->second), std::string::npos) << set.err;
      }
      continue;
    }
    if (set.out.find("changed: " + name + "\n") == std::string::npos) {
      ADD_FAILURE() << "not changed: " << set.err;
      continue;
    }
    ExpectOnlyTheAskedChanged(before[name], after);
    std::array<std::string, 14> changed = *rows;
    changed[0] = kTitle;
    changed[9] = kCompany;
    changed[10] = "2001/02/03 4:05:06";
    changed[12] = "42";
    EXPECT_EQ(ShownRows(show.out, name), changed);
  }
}

TEST(CliOfficeCorpus, LibreOfficeStillOpensChangedWorkbooksAndPresentations) {
  const auto corpus = OfficeCorpusDir();
  if (!corpus) GTEST_SKIP() << kNoCorpus;
  if (!Soffice()) GTEST_SKIP() << "LibreOffice is not installed";
  // A few files only: each conversion starts LibreOffice anew.
  const std::map<std::string, std::string> formats = {
      {"12561-1.xls", "ods"}, {"SampleShow.ppt", "odp"}, {"52716.xlsx", "ods"}, {"rain.pptx", "odp"}};
  const TempDir originals;
  const TempDir dir;
  std::vector<std::string> names;
  for (const auto& [name, format] : formats) names.push_back(dir.Copy(*corpus / "docs" / name).filename().string());

  const CliResult set = RunCli(Concat(kSetWords, names), dir.Path());

  EXPECT_EQ(set.exitCode, 0) << set.out << set.err;
  for (const auto& [name, format] : formats) {
    SCOPED_TRACE(name);
    const auto text = ConvertToOpenDocumentText(originals.Copy(*corpus / "docs" / name), format);
    if (!text) GTEST_SKIP() << "LibreOffice cannot open the original (scripts/setup.sh test installs Calc and Impress)";
    EXPECT_EQ(ConvertToOpenDocumentText(dir.Path() / name, format), text);
  }
}

// The help's list of extensions is the catalogue's.
TEST(CliOfficeCorpus, TheHelpNamesTheExtensionsOfTheCatalogue) {
  std::set<std::string> named;
  const std::string help(cli::kProgramHelp);
  // An extension stands alone: ".doc", not "OUT.csv".
  const std::regex extension(R"((?:^|[\s(])(\.[a-z]+)\b)");
  for (auto found = std::sregex_iterator(help.begin(), help.end(), extension); found != std::sregex_iterator();
       ++found) {
    named.insert((*found)[1].str());
  }
  std::set<std::string> known;
  for (const catalogue::KnownExtension& entry : catalogue::KnownExtensions()) {
    std::string lower(entry.extension);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    known.insert(lower);
  }
  EXPECT_EQ(named, known);
}

}  // namespace
}  // namespace kestrel::test
