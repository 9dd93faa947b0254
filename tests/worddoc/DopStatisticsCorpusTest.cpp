// The statistics run of real documents from other producers (../shared/corpus-public), used in
// place, against what independent readers find: the corpus manifest's own FIB and DOP reader,
// olefile's SummaryInformation, and LibreOffice opening a changed Word 6/95 document.
#include <gtest/gtest.h>

#include <iostream>
#include <sstream>

#include "platform/LittleEndian.h"
#include "tests/support/LibreOffice.h"
#include "tests/support/Oracles.h"
#include "tests/support/TestSupport.h"
#include "worddoc/DopStatistics.h"

namespace kestrel::worddoc {
namespace {

namespace fs = std::filesystem;
using storage::CompoundFile;

constexpr int kWord97FirstVersion = 0xC1;

struct CorpusDocument {
  std::string name;
  int version = 0;         // nFib
  bool encrypted = false;  // fEncrypted or fObfuscated
  std::string run;         // the manifest's statistics run in hex; "-" when it found none
  std::uint64_t offset = 0;
};

// The binary documents of the manifest, as its reader saw them.
std::vector<CorpusDocument> CorpusDocuments(const fs::path& root) {
  static const char* const kList = R"(import json, sys
for name, doc in sorted(json.load(open(sys.argv[1]))['docs'].items()):
    fib = doc.get('fib')
    if not fib:
        continue
    word6 = fib['nFib'] < 0xC1
    dop = fib.get('w95_dop' if word6 else 'dop') or {}
    fc = fib.get('w95_fcDop_0x150' if word6 else 'fcDop_402', 0)
    print(name, fib['nFib'], int(fib['fEncrypted_0x0100'] or fib['fObfuscated_0x8000']), dop.get('bytes_hex', '-'), fc + 20))";
  const auto python = test::OlefilePython();
  std::vector<CorpusDocument> documents;
  if (!python) return documents;
  const auto listed = test::RunCommand(*python + " -c " + test::ShellQuote(kList) + " " +
                                       test::ShellQuote((root / "manifest.json").string()));
  EXPECT_EQ(listed.exitCode, 0) << listed.output;
  std::istringstream lines(listed.output);
  CorpusDocument d;
  while (lines >> d.name >> d.version >> d.encrypted >> d.run >> d.offset) documents.push_back(d);
  return documents;
}

std::string Hex(const std::array<std::uint8_t, kDopDatesSize>& bytes) {
  std::ostringstream text;
  for (const std::uint8_t b : bytes) text << "0123456789abcdef"[b >> 4] << "0123456789abcdef"[b & 0xF];
  return text.str();
}

// Days since 0000-03-01 of a proleptic Gregorian date.
std::int64_t DaysFromCivil(std::int64_t year, std::int64_t month, std::int64_t day) {
  year -= month <= 2;
  const std::int64_t era = year / 400;
  const std::int64_t yearOfEra = year - era * 400;
  const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  return era * 146097 + yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
}

// Minutes since 1601-01-01 of a calendar date and time, no zone applied.
std::int64_t MinutesSince1601(std::int64_t year, std::int64_t month, std::int64_t day, std::int64_t hour,
                              std::int64_t minute) {
  return ((DaysFromCivil(year, month, day) - DaysFromCivil(1601, 1, 1)) * 24 + hour) * 60 + minute;
}

std::int64_t DttmMinutes(const std::array<std::uint8_t, kDopDatesSize>& run, std::size_t at) {
  const std::uint32_t v = le::Get32(&run[at]);
  return MinutesSince1601(1900 + (v >> 20 & 0x1FF), v >> 16 & 0xF, v >> 11 & 0x1F, v >> 6 & 0x1F, v & 0x3F);
}

class DopStatisticsCorpus : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = test::PublicCorpusDir();
    if (!root_) GTEST_SKIP() << "the public corpus (../shared/corpus-public) is absent";
    if (!test::OlefilePython()) GTEST_SKIP() << "python3-olefile is not installed";
    documents_ = CorpusDocuments(*root_);
    ASSERT_FALSE(documents_.empty());
  }
  fs::path Path(const CorpusDocument& d) const { return *root_ / "docs" / d.name; }

  std::optional<fs::path> root_;
  std::vector<CorpusDocument> documents_;
};

// Encrypted documents are refused before anything is located; every other document either plans
// the run the manifest found, where it found it, unchanged, or is one a fuzzer made.
TEST_F(DopStatisticsCorpus, EveryDocumentPlansTheRunTheManifestFinds) {
  int word6 = 0, encrypted = 0;
  for (const CorpusDocument& d : documents_) {
    SCOPED_TRACE(d.name);
    const auto opened = CompoundFile::Open(Path(d), kestrel::fs::OpenMode::Read);
    ASSERT_TRUE(opened) << opened.outcome().message();
    const CompoundFile& file = **opened;
    const auto patch = PlanDopDates(file, catalogue::PropertyRows{});
    if (d.encrypted) {
      ++encrypted;
      EXPECT_EQ(patch.outcome().kind(), FailureKind::Encrypted);
      EXPECT_EQ(CheckWordDocumentWritable(file).kind(), FailureKind::Encrypted);
      EXPECT_EQ(ReadEditingMinutes(file), 0);
      continue;
    }
    if (!patch) {
      std::cout << "[          ] refused " << d.name << ": " << patch.outcome().message() << "\n";
      EXPECT_TRUE(d.run == "-" || d.name.starts_with("clusterfuzz")) << patch.outcome().message();
      continue;
    }
    word6 += d.version < kWord97FirstVersion;
    EXPECT_EQ(Hex(patch->bytes), d.run);
    EXPECT_EQ(patch->offset, d.offset);
    EXPECT_FALSE(patch->changed);
  }
  EXPECT_GE(word6, 2) << "Word6.doc and word95err.doc";
  EXPECT_GE(encrypted, 1) << "PasswordProtected.doc";
}

// A DTTM is the author's local time, the property set's dates are UTC, and the file does not say
// where the author was: the two agree to the minute once moved by one whole zone offset, and
// the created and revised dates by offsets at most a daylight-saving hour apart.
TEST_F(DopStatisticsCorpus, Word6And95DatesAgreeWithSummaryInformation) {
  constexpr std::int64_t kUnitsPerMinute = 600'000'000;
  for (const CorpusDocument& d : documents_) {
    if (d.version >= kWord97FirstVersion || d.encrypted) continue;
    SCOPED_TRACE(d.name);
    const auto opened = CompoundFile::Open(Path(d), kestrel::fs::OpenMode::Read);
    ASSERT_TRUE(opened) << opened.outcome().message();
    const CompoundFile& file = **opened;
    const auto patch = PlanDopDates(file, catalogue::PropertyRows{});
    ASSERT_TRUE(patch) << patch.outcome().message();
    const auto summary = test::DumpPropertySet(Path(d), "SummaryInformation");
    ASSERT_TRUE(summary);
    std::vector<std::int64_t> offsets;
    for (const auto& [pid, at] : {std::pair{12u, std::size_t{0}}, {13u, std::size_t{4}}}) {
      const std::string& dumped = summary->properties.at({0, pid});
      ASSERT_TRUE(dumped.starts_with("64 ")) << dumped;
      const std::int64_t utc = std::stoll(dumped.substr(3)) / kUnitsPerMinute;
      offsets.push_back(DttmMinutes(patch->bytes, at) - utc);
      EXPECT_EQ(offsets.back() % 15, 0) << offsets.back();
      EXPECT_TRUE(offsets.back() >= -12 * 60 && offsets.back() <= 14 * 60) << offsets.back();
    }
    EXPECT_LE(std::abs(offsets[0] - offsets[1]), 60);
    std::cout << "[          ] " << d.name << ": the author's clock ran " << offsets[0] << " and " << offsets[1]
              << " minutes from UTC\n";
  }
}

// The planned run written into a copy: LibreOffice still opens it and reads the same text.
TEST_F(DopStatisticsCorpus, LibreOfficeOpensChangedWord6And95Documents) {
  if (!test::Soffice()) GTEST_SKIP() << "LibreOffice is not installed";
  const test::TempDir dir;
  const auto rows = catalogue::PropertyRows::AllIncluded(
      {"", "", "", "", "", "", "13", "", "", "", "2021/04/01 9:15:30", "2023/06/15 18:45:10", "95", "2024/01/02"});
  for (const CorpusDocument& d : documents_) {
    if (d.version >= kWord97FirstVersion || d.encrypted) continue;
    SCOPED_TRACE(d.name);
    const auto copy = dir.Copy(Path(d));
    std::string planned;
    {
      auto opened = CompoundFile::Open(copy, kestrel::fs::OpenMode::ReadWrite);
      ASSERT_TRUE(opened) << opened.outcome().message();
      CompoundFile& file = **opened;
      const auto patch = PlanDopDates(file, rows);
      ASSERT_TRUE(patch) << patch.outcome().message();
      ASSERT_TRUE(patch->changed);
      planned = Hex(patch->bytes);
      storage::StreamEdits edits;
      edits.Patch(patch->stream, patch->offset, {patch->bytes.begin(), patch->bytes.end()});
      ASSERT_TRUE(file.Commit(edits));
    }
    EXPECT_EQ(test::StreamBytes(copy, "WordDocument", d.offset, kDopDatesSize), planned);
    const auto before = test::ConvertToText(Path(d));
    const auto after = test::ConvertToText(copy);
    ASSERT_TRUE(before && after);
    EXPECT_FALSE(before->empty());
    EXPECT_EQ(*after, *before);
  }
}

}  // namespace
}  // namespace kestrel::worddoc
