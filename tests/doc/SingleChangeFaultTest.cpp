// A single change stopped at every one of its writes, as if the program died there: the document
// must still open in an independent reader, and each property set must hold the content it had
// before or after one of the change's property writes, never a mix of two.
#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>

#include "doc/DopStatistics.h"
#include "doc/PropertyText.h"
#include "tests/support/FaultyFiles.h"
#include "tests/support/Oracles.h"
#include "tests/support/TestSupport.h"

namespace kestrel::doc {
namespace {

namespace fs = std::filesystem;

const catalogue::PropertyRows& ChangedRows() {
  static const auto rows = catalogue::PropertyRows::AllIncluded(
      {"月次報告書（改訂）", "売上の集計", "山田太郎", "報告書, テスト", "説明文です。", "技術資料", "13", "鈴木花子",
       "佐藤一郎", "株式会社テスト", "2021/04/01 9:15:30", "2023/06/15 18:45:10", "95", ""});
  return rows;
}

// The writes of one single change: every row, then the statistics block. After each step the
// snapshot of the document is recorded when `states` is given.
void ApplySingleChange(const fs::path& file, std::vector<test::DocumentSnapshot>* states) {
  for (int row = 0; row < catalogue::kRowCount; ++row) {
    const auto& r = catalogue::Catalogue().Row(row);
    WritePropertyText(file, FmtidOf(r.propertySet), static_cast<std::uint32_t>(r.propertyId), r.valueType,
                      ChangedRows().Value(row),
                      row == catalogue::kEditingTime ? FileTimeStyle::Minutes : FileTimeStyle::DateTime);
    if (states) states->push_back(*test::TakeSnapshot(file));
  }
  BuildDopDates(file, ChangedRows());
  if (states) states->push_back(*test::TakeSnapshot(file));
}

template <typename T>
bool OneOf(const T& value, const std::vector<T>& allowed) {
  return std::find(allowed.begin(), allowed.end(), value) != allowed.end();
}

void CheckEveryStop(const std::string& name) {
  SCOPED_TRACE(name);
  const test::TempDir dir;
  const auto reference = dir.Copy(test::DataFile(name), "reference.doc");
  std::vector<test::DocumentSnapshot> states{*test::TakeSnapshot(reference)};
  std::size_t writes = 0;
  {
    const test::FaultyFiles counting(0);
    ApplySingleChange(reference, &states);
    writes = counting.Writes();
  }
  ASSERT_GT(writes, 15u);
  std::cout << "[          ] " << name << ": stopped at each of " << writes << " writes\n";
  std::vector<test::PropertyDump> summaries;
  std::vector<std::optional<test::PropertyDump>> docSummaries;
  std::vector<test::StreamHashes> streams;
  for (const auto& state : states) {
    summaries.push_back(state.summary);
    docSummaries.push_back(state.docSummary);
    streams.push_back(state.streams);
  }
  for (std::size_t stop = 1; stop <= writes; ++stop) {
    const auto file = dir.Copy(test::DataFile(name), "stopped.doc");
    {
      const test::FaultyFiles faults(stop);
      ApplySingleChange(file, nullptr);
    }
    const auto after = test::TakeSnapshot(file);
    ASSERT_TRUE(after) << "olefile cannot open the document stopped at write " << stop;
    EXPECT_TRUE(OneOf(after->summary, summaries)) << "SummaryInformation mixed at write " << stop;
    EXPECT_TRUE(OneOf(after->docSummary, docSummaries)) << "DocumentSummaryInformation mixed at write " << stop;
    for (const auto& [path, hash] : after->streams) {
      if (path.find("SummaryInformation") != std::string::npos) continue;
      const bool known = std::any_of(streams.begin(), streams.end(), [&, &p = path, &h = hash](const auto& s) {
        return s.count(p) && s.at(p) == h;
      });
      EXPECT_TRUE(known) << path << " holds neither old nor new content at write " << stop;
    }
  }
}

TEST(SingleChangeFaults, EveryStopLeavesAReadableDocument) {
  if (!test::OlefilePython()) GTEST_SKIP() << "python3-olefile is not installed";
  test::ScopedTimeZone tokyo("Asia/Tokyo");
  // Mini stream sets in UTF-8; a set switching from 1252; a set above the mini stream cutoff;
  // a missing set created on the way.
  for (const char* name : {"lo-ja-full.doc", "poi-ascii-cp1252.doc", "lo-long-values.doc", "poi-no-dsi.doc"}) {
    CheckEveryStop(name);
  }
}

}  // namespace
}  // namespace kestrel::doc
