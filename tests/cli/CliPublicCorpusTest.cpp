// kestrelpad-cli set and show over real documents from other producers, checked with independent
// readers: only the properties and the file time asked for change, every other stream, part and
// property keeps its bytes, and LibreOffice still opens the result.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "tests/cli/CliRun.h"
#include "tests/support/ExpectedRows.h"
#include "tests/support/LibreOffice.h"
#include "tests/support/Oracles.h"
#include "tests/support/TestSupport.h"

namespace kestrel::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr const char* kNoCorpus = "the public corpus (../shared/corpus-public/docs) is absent";
constexpr const char* kTitle = "Corpus title";
constexpr const char* kAuthor = "Corpus author";
constexpr const char* kCompany = "Corpus company";
constexpr std::int64_t kDaySeconds = 86400;
constexpr std::int64_t kTokyoOffset = 9 * 3600;
constexpr std::size_t kDopRunOffset = 20;  // the dates, revision and editing time within the DOP
constexpr std::size_t kDopRunSize = 18;

const std::vector<std::string> kSetWords = {"set",       "--title",   kTitle, "--author", kAuthor, "--company",
                                            kCompany, "--file-modified-date", "2019/11/12"};

bool IsPackage(const fs::path& file) { return file.extension() == ".docx"; }

// The corpus documents, by name.
std::vector<std::string> CorpusNames(const fs::path& corpus) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(corpus)) {
    const auto extension = entry.path().extension();
    if (extension == ".doc" || extension == ".docx") names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Before and after the change, as the independent readers see it.
struct Observed {
  std::vector<std::uint8_t> bytes;
  std::int64_t mtimeNs = 0;
  std::optional<DocumentSnapshot> snapshot;             // binary documents
  std::optional<std::string> tableOutsideDop;           // table stream bytes around the DOP run
  std::map<std::string, std::string> entries;           // packages
  std::map<std::string, std::string> core, app;
};

// The table stream named by the FIB, with the DOP run's offset in it, as olefile reads them.
struct TableStream {
  std::string name;
  std::uint64_t size = 0;
  std::uint64_t dopRun = 0;
};

// Word 97 and later keep the DOP in the table stream the FIB names; Word 6 and 95 (nFib below
// 0xC1) in the main stream, with fcDop at 0x150.
std::optional<TableStream> FindTableStream(const fs::path& file, const StreamHashes& streams) {
  const auto nFib = StreamNumber(file, "WordDocument", 2, 2);
  const auto flags = StreamNumber(file, "WordDocument", 10, 2);
  if (!nFib || !flags) return std::nullopt;
  const bool word6 = *nFib < 0xC1;
  const auto fcDop = StreamNumber(file, "WordDocument", word6 ? 0x150 : 402, 4);
  if (!fcDop) return std::nullopt;
  const bool one = (*flags & 0x0200) != 0;
  TableStream table{word6 ? "WordDocument" : one ? "1Table" : "0Table", 0, *fcDop + kDopRunOffset};
  const auto found = streams.find(table.name);
  if (found == streams.end()) return std::nullopt;
  table.size = std::stoull(found->second);
  if (table.dopRun + kDopRunSize > table.size) return std::nullopt;
  return table;
}

Observed Observe(const fs::path& file) {
  Observed seen;
  seen.bytes = ReadBytes(file);
  seen.mtimeNs = ReadFileState(file).mtimeNs;
  if (IsPackage(file)) {
    seen.entries = ZipEntries(file);
    if (!seen.entries.empty()) {
      seen.core = PartTexts(file, "docProps/core.xml");
      seen.app = PartTexts(file, "docProps/app.xml");
    }
    return seen;
  }
  seen.snapshot = TakeSnapshot(file);
  if (!seen.snapshot) return seen;
  if (const auto table = FindTableStream(file, seen.snapshot->streams)) {
    const auto head = StreamBytes(file, table->name, 0, table->dopRun);
    const auto tail = StreamBytes(file, table->name, table->dopRun + kDopRunSize,
                                  table->size - table->dopRun - kDopRunSize);
    if (head && tail) seen.tableOutsideDop = table->name + " " + *head + " " + *tail;
  }
  return seen;
}

void ExpectOnlyTheSetPropertiesChanged(const std::string& name, const Observed& before, const Observed& after) {
  SCOPED_TRACE(name);
  if (!IsPackage(name) && !before.snapshot) {
    ADD_FAILURE() << "olefile cannot open the original; nothing to compare against";
    return;
  }
  if (before.snapshot) {
    ASSERT_TRUE(after.snapshot) << "olefile cannot open the changed document";
    StreamHashes expectedStreams = before.snapshot->streams;
    StreamHashes actualStreams = after.snapshot->streams;
    for (const char* changing : {"\\x05SummaryInformation", "\\x05DocumentSummaryInformation"}) {
      expectedStreams.erase(changing);
      actualStreams.erase(changing);
    }
    if (before.tableOutsideDop) {
      const std::string table = before.tableOutsideDop->substr(0, before.tableOutsideDop->find(' '));
      expectedStreams.erase(table);
      actualStreams.erase(table);
      EXPECT_EQ(after.tableOutsideDop, before.tableOutsideDop) << "the table stream changed outside the DOP run";
    }
    EXPECT_EQ(actualStreams, expectedStreams);

    PropertyDump summary = before.snapshot->summary;
    summary.properties[{0, 2}] = DumpedText(TextType(summary, 2), kTitle);
    summary.properties[{0, 4}] = DumpedText(TextType(summary, 4), kAuthor);
    EXPECT_EQ(after.snapshot->summary, summary);
    ASSERT_TRUE(after.snapshot->docSummary) << "no DocumentSummaryInformation after writing the company";
    if (before.snapshot->docSummary) {
      PropertyDump docSummary = *before.snapshot->docSummary;
      docSummary.properties[{0, 15}] = DumpedText(TextType(docSummary, 15), kCompany);
      EXPECT_EQ(after.snapshot->docSummary, docSummary);
    } else {
      const PropertyDump& created = *after.snapshot->docSummary;
      const auto company = created.properties.find({0, 15});
      ASSERT_NE(company, created.properties.end());
      EXPECT_EQ(company->second, DumpedText(TextType(created, 15), kCompany));
    }
    return;
  }
  ASSERT_FALSE(after.entries.empty()) << "zipfile cannot open the changed package";
  auto expectedEntries = before.entries;
  auto actualEntries = after.entries;
  for (const char* part : {"docProps/core.xml", "docProps/app.xml"}) {
    EXPECT_TRUE(actualEntries.contains(Hex(part))) << part;
    expectedEntries.erase(Hex(part));
    actualEntries.erase(Hex(part));
  }
  EXPECT_EQ(actualEntries, expectedEntries);
  auto core = before.core;
  core["title"] = kTitle;
  core["creator"] = kAuthor;
  EXPECT_EQ(after.core, core);
  auto app = before.app;
  app["Company"] = kCompany;
  EXPECT_EQ(after.app, app);
}

// The new last-write time: the given Tokyo date with the file's own time of day.
void ExpectModifiedDateSet(const std::string& name, const Observed& before, const Observed& after) {
  const std::int64_t seconds = before.mtimeNs / 1'000'000'000;
  const std::int64_t timeOfDay = ((seconds + kTokyoOffset) % kDaySeconds + kDaySeconds) % kDaySeconds;
  EXPECT_EQ(after.mtimeNs / 1'000'000'000, TokyoSeconds(2019y / 11 / 12, std::chrono::seconds(timeOfDay))) << name;
}

TEST(CliPublicCorpus, SetChangesOnlyWhatItIsAskedAndShowPrintsTheNewValues) {
  const auto root = PublicCorpusDir();
  if (!root) GTEST_SKIP() << kNoCorpus;
  const fs::path corpus = *root / "docs";
  if (!OlefilePython()) GTEST_SKIP() << "python3-olefile is not installed";
  const auto expectedRows = LoadExpectedRows(*root / "expected-rows.jsonl");
  const TempDir dir;
  const std::vector<std::string> names = CorpusNames(corpus);
  ASSERT_FALSE(names.empty());
  std::map<std::string, Observed> before;
  for (const std::string& name : names) {
    const fs::path file = dir.Copy(corpus / name);
    // Whole seconds, so that the kept time of day compares exactly.
    SetTimes(file, Nanoseconds(TokyoSeconds(2022y / 3 / 4, 5h + 6min + 7s)),
             Nanoseconds(TokyoSeconds(2021y / 2 / 3, 13h + 14min + 15s)));
    before[name] = Observe(file);
  }

  const CliResult set = RunCli(Concat(kSetWords, names), dir.Path());
  const CliResult show = RunCli(Concat({"show"}, names), dir.Path());

  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    const Observed after = Observe(dir.Path() / name);
    const auto expected = expectedRows.find(name);
    const bool readable = expected == expectedRows.end() || expected->second.has_value();
    if (!readable) {
      EXPECT_NE(set.out.find("change error: " + name + "\n"), std::string::npos) << set.out;
      EXPECT_EQ(after.bytes, before[name].bytes) << "a document that cannot be read was written";
      EXPECT_EQ(after.mtimeNs, before[name].mtimeNs);
      EXPECT_FALSE(ShownRows(show.out, name));
      continue;
    }
    if (set.out.find("change error: " + name + "\n") != std::string::npos) {
      // No third outcome: a refused document keeps every byte and its time, and the reason is said.
      EXPECT_FALSE(IsPackage(name)) << "refused: " << set.err;
      EXPECT_EQ(after.bytes, before[name].bytes) << "a refused change wrote";
      EXPECT_EQ(after.mtimeNs, before[name].mtimeNs);
      const std::size_t reason = set.err.find(name + ": ");
      ASSERT_NE(reason, std::string::npos) << "no reason given: " << set.err;
      std::cout << "[          ] refused " << set.err.substr(reason, set.err.find('\n', reason) - reason) << "\n";
      continue;
    }
    ASSERT_NE(set.out.find("changed: " + name + "\n"), std::string::npos) << set.out << set.err;
    ExpectOnlyTheSetPropertiesChanged(name, before[name], after);
    ExpectModifiedDateSet(name, before[name], after);
    const auto shown = ShownRows(show.out, name);
    ASSERT_TRUE(shown) << show.out;
    if (expected == expectedRows.end()) {  // a result left open: only what was set is sure
      EXPECT_EQ((*shown)[0], kTitle);
      EXPECT_EQ((*shown)[2], kAuthor);
      EXPECT_EQ((*shown)[9], kCompany);
      continue;
    }
    std::array<std::string, 14> rows = *expected->second;
    rows[0] = kTitle;
    rows[2] = kAuthor;
    rows[9] = kCompany;
    EXPECT_EQ(*shown, rows);
  }
}

TEST(CliPublicCorpus, LibreOfficeStillOpensChangedDocuments) {
  const auto root = PublicCorpusDir();
  if (!root) GTEST_SKIP() << kNoCorpus;
  const fs::path corpus = *root / "docs";
  if (!Soffice()) GTEST_SKIP() << "LibreOffice is not installed";
  // A few documents only: each conversion starts LibreOffice anew.
  const std::vector<std::string> names = {"SampleDoc.doc", "mac-roman-biosketch.doc", "SampleDoc.docx"};
  const TempDir originals;
  const TempDir dir;
  for (const std::string& name : names) dir.Copy(corpus / name);

  const CliResult set = RunCli(Concat(kSetWords, names), dir.Path());

  EXPECT_EQ(set.exitCode, 0) << set.out << set.err;
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    const auto text = ConvertToText(originals.Copy(corpus / name));
    ASSERT_TRUE(text) << "LibreOffice cannot open the original";
    EXPECT_EQ(ConvertToText(dir.Path() / name), text);
  }
}

}  // namespace
}  // namespace kestrel::test
