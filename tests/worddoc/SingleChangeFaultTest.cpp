// A whole single change stopped at every one of its writes, as if the program died there: the
// document must still open in an independent reader, and both property sets and the statistics
// block must be old together or new together, never a mix.
#include <gtest/gtest.h>

#include <iostream>

#include "tests/support/FaultyFiles.h"
#include "tests/support/Oracles.h"
#include "tests/support/TestSupport.h"
#include "worddoc/BinaryChange.h"

namespace kestrel::worddoc {
namespace {

namespace fs = std::filesystem;

const catalogue::PropertyRows& ChangedRows() {
  static const auto rows = catalogue::PropertyRows::AllIncluded(
      {"月次報告書（改訂）", "売上の集計", "山田太郎", "報告書, テスト", "説明文です。", "技術資料", "13", "鈴木花子",
       "佐藤一郎", "株式会社テスト", "2021/04/01 9:15:30", "2023/06/15 18:45:10", "95", ""});
  return rows;
}

void CheckEveryStop(const std::string& name) {
  SCOPED_TRACE(name);
  const test::TempDir dir;
  const auto source = dir.Copy(test::DataFile(name), "source.doc");
  const auto before = test::TakeSnapshot(source);
  ASSERT_TRUE(before);
  const auto reference = dir.Copy(source, "reference.doc");
  std::size_t writes = 0;
  std::size_t syncs = 0;
  {
    const test::FaultyFiles counting(0);
    ASSERT_TRUE(ChangeBinaryProperties(reference.string(), ChangedRows()));
    writes = test::CommitWrites(counting.Log());
    for (const auto& event : counting.Log()) syncs += event.sync ? 1 : 0;
  }
  EXPECT_LE(syncs, 2u) << "one commit";
  const auto after = test::TakeSnapshot(reference);
  ASSERT_TRUE(after);
  ASSERT_NE(after->summary, before->summary);
  std::cout << "[          ] " << name << ": stopped at each of " << writes << " writes (" << syncs << " syncs)\n";
  for (std::size_t stop = 1; stop <= writes; ++stop) {
    const auto file = dir.Copy(source, "stopped.doc");
    {
      const test::FaultyFiles faults(stop);
      EXPECT_FALSE(ChangeBinaryProperties(file.string(), ChangedRows())) << "a failed write is a failed change";
    }
    const auto stopped = test::TakeSnapshot(file);
    ASSERT_TRUE(stopped) << "olefile cannot open the document stopped at write " << stop;
    const test::DocumentSnapshot& whole = stopped->summary == before->summary ? *before : *after;
    EXPECT_EQ(stopped->summary, whole.summary) << "SummaryInformation mixed at write " << stop;
    EXPECT_EQ(stopped->docSummary, whole.docSummary) << "DocumentSummaryInformation mixed at write " << stop;
    EXPECT_EQ(stopped->streams, whole.streams) << "some stream, the statistics block's among them, mixed at write "
                                               << stop;
  }
}

TEST(SingleChangeFaults, EveryStopLeavesTheOldDocumentOrTheNewOne) {
  if (!test::OlefilePython()) GTEST_SKIP() << "python3-olefile is not installed";
  test::ScopedTimeZone tokyo("Asia/Tokyo");
  // Mini stream sets; a set switching from 1252; a set above the mini stream cutoff; a missing
  // set created on the way.
  for (const char* name : {"lo-ja-full.doc", "poi-ascii-cp1252.doc", "lo-long-values.doc", "poi-no-dsi.doc"}) {
    CheckEveryStop(name);
  }
}

}  // namespace
}  // namespace kestrel::worddoc
