#include "worddoc/BinaryPropertyRows.h"

#include <gtest/gtest.h>


#include "catalogue/DocumentKind.h"
#include "tests/support/ExpectedRows.h"
#include "tests/support/LockHolder.h"
#include "tests/support/TestSupport.h"
#include "worddoc/DopStatistics.h"
#include "worddoc/PropertyText.h"

namespace kestrel::worddoc {
namespace {

namespace fs = std::filesystem;
using Rows = std::array<std::string, catalogue::kRowCount>;

void ExpectRows(const Rows& actual, const Rows& expected, const std::string& name) {
  for (int row = 0; row < catalogue::kRowCount; ++row) {
    EXPECT_EQ(actual[static_cast<std::size_t>(row)], expected[static_cast<std::size_t>(row)])
        << name << ", row " << row << " " << catalogue::Catalogue().Row(row).caption;
  }
}

// Every binary document of a corpus folder reads as the independent readings say.
int CheckCorpus(const fs::path& folder, const fs::path& expectedRows) {
  int checked = 0;
  for (const auto& [name, rows] : test::LoadExpectedRows(expectedRows)) {
    if (catalogue::DocumentKindOf(name) != catalogue::DocumentKind::Binary) continue;
    EXPECT_TRUE(rows.has_value()) << name;
    if (!rows) continue;
    ExpectRows(ReadBinaryPropertyRows(folder / name), *rows, name);
    ++checked;
  }
  return checked;
}

Rows SeparateReads(const std::string& path) {
  Rows rows;
  for (int i = 0; i < catalogue::kRowCount; ++i) {
    const auto& row = catalogue::Catalogue().Row(i);
    rows[static_cast<std::size_t>(i)] =
        i == catalogue::kEditingTime ? std::to_string(ReadEditingMinutes(path))
                                     : ReadPropertyText(path, FmtidOf(row.propertySet), static_cast<std::uint32_t>(row.propertyId));
  }
  return rows;
}

Rows Unreadable() {
  Rows rows;
  rows[catalogue::kEditingTime] = "0";
  return rows;
}

TEST(BinaryPropertyRows, MatchTheIndependentReadingsOfOurDocuments) {
  test::ScopedTimeZone tokyo("Asia/Tokyo");
  EXPECT_GE(CheckCorpus(test::DataFile(""), test::DataFile("expected-rows.jsonl")), 12);
}

TEST(BinaryPropertyRows, MatchTheIndependentReadingsOfPublicDocuments) {
  const auto corpus = test::PublicCorpusDir();
  if (!corpus) GTEST_SKIP() << "../shared/corpus-public is not beside the checkout";
  test::ScopedTimeZone tokyo("Asia/Tokyo");
  EXPECT_GE(CheckCorpus(*corpus / "docs", *corpus / "expected-rows.jsonl"), 20);
}

// Reading all rows in one open must give what thirteen separate opens give.
TEST(BinaryPropertyRows, EqualSeparatePropertyReads) {
  test::ScopedTimeZone tokyo("Asia/Tokyo");
  std::vector<fs::path> files;
  // An OpenDocument file is never read as a compound file, nor named like a Word one.
  for (const auto& entry : fs::directory_iterator(test::DataFile(""))) {
    if (catalogue::DocumentKindOf(entry.path().string()) != catalogue::DocumentKind::OpenDocument) files.push_back(entry.path());
  }
  if (const auto corpus = test::PublicCorpusDir()) {
    for (const auto& entry : fs::directory_iterator(*corpus / "docs")) files.push_back(entry.path());
  }
  for (const auto& file : files) EXPECT_EQ(ReadBinaryPropertyRows(file), SeparateReads(file)) << file;
}

TEST(BinaryPropertyRows, UnreadableFilesGiveEmptyRowsAndZeroMinutes) {
  const test::TempDir dir;
  const auto truncated = dir.Path() / "truncated.doc";
  auto bytes = test::ReadBytes(test::DataFile("lo-ja-full.doc"));
  bytes.resize(1536);
  test::WriteBytes(truncated, bytes);
  for (const fs::path& file : {dir.Path() / "missing.doc", test::DataFile("x.doc"), truncated, dir.Path()}) {
    EXPECT_EQ(ReadBinaryPropertyRows(file), Unreadable()) << file;
  }
}

TEST(BinaryPropertyRows, DocumentHeldByAnotherProgramReadsAsEmpty) {
  const test::TempDir dir;
  const auto file = dir.Copy(test::DataFile("lo-ja-full.doc"));
  {
    const test::LockHolder writer(file, true);
    ASSERT_TRUE(writer.Holding());
    EXPECT_EQ(ReadBinaryPropertyRows(file), Unreadable());
  }
  // Another reader does not keep us out.
  const test::LockHolder reader(file, false);
  ASSERT_TRUE(reader.Holding());
  EXPECT_EQ(ReadBinaryPropertyRows(file)[catalogue::kAuthor], "山田太郎");
}

}  // namespace
}  // namespace kestrel::worddoc
