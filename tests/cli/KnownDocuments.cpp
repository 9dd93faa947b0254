#include "tests/cli/KnownDocuments.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>

#include "tests/cli/CliRun.h"
#include "tests/support/ExpectedRows.h"
#include "tests/support/TestSupport.h"

namespace kestrel::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Written out here rather than taken from the program.
constexpr std::string_view kHeader =
    "\"File full name\",\"File Name\",\"タイトル\",\"表題\",\"作成者\",\"キーワード\",\"コメント\","
    "\"カテゴリー\",\"改訂番号\",\"前回保存者\",\"管理者\",\"会社名\",\"作成日時\",\"前回保存日時\","
    "\"編集時間\",\"前回印刷日時\",\"Creation Time\",\"Modify Time\",\"Last Access Time\","
    "\"Read-only\",\"Archive\",\"Hidden\",\"System\"";

struct Copy {
  std::string source;
  std::string name;
  std::int64_t creation;    // seconds since 1970
  std::int64_t lastWrite;
  std::int64_t lastAccess;
  std::uint32_t attributes;  // in the attribute store
  bool readOnly;             // owner write bit cleared
  // What the line shows for the three times and the four attribute columns.
  std::vector<std::string> tail;
};

// The fields between quotes, a quote in them written twice.
std::string Quoted(const std::vector<std::string>& fields) {
  std::string line;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    line += '"';
    for (const char c : fields[i]) line += c == '"' ? std::string(2, c) : std::string(1, c);
    line += i + 1 < fields.size() ? "\"," : "\"";
  }
  return line;
}

}  // namespace

std::optional<KnownDocuments> PrepareKnownDocuments(const fs::path& folder) {
  const std::vector<Copy> copies = {
      {"lo-ascii-full.doc", "report.doc", TokyoSeconds(2015y / 6 / 7, 8h + 9min + 10s),
       TokyoSeconds(2021y / 2 / 3, 4h + 5min + 6s), TokyoSeconds(2022y / 3 / 4, 5h + 6min + 7s), 0x20, false,
       {"2015/06/07 8:09:10", "2021/02/03 4:05:06", "2022/03/04 5:06:07", "", "Y", "", ""}},
      {"lo-ja-full.docx", "報告書.docx", TokyoSeconds(2016y / 1 / 2, 3h + 4min + 5s), TokyoSeconds(2021y / 2 / 3, 0s),
       TokyoSeconds(2023y / 1 / 1, 1s), 0x26, true,
       {"2016/01/02 3:04:05", "2021/02/03", "2023/01/01 0:00:01", "Y", "Y", "Y", "Y"}},
      // 1903 lies before the last-access threshold of 1904-05-20.
      {"lo-ascii-noprint-multiline.docx", "notes.docx", TokyoSeconds(2017y / 12 / 31, 23h + 59min + 59s),
       TokyoSeconds(2020y / 2 / 29, 12h), TokyoSeconds(1903y / 5 / 6, 7h), 0x00, false,
       {"2017/12/31 23:59:59", "2020/02/29 12:00:00", "", "", "", "", ""}},
  };
  const auto expectedRows = LoadExpectedRows(DataFile("expected-rows.jsonl"));
  const fs::path physical = fs::canonical(folder);  // what the program's working folder reads as

  KnownDocuments documents;
  documents.lines.emplace_back(kHeader);
  for (const Copy& copy : copies) {
    const fs::path file = folder / copy.name;
    fs::copy_file(DataFile(copy.source), file);
    if (!SetDosAttrib(file, copy.attributes, FileTimeOfSeconds(copy.creation))) return std::nullopt;
    SetTimes(file, Nanoseconds(copy.lastAccess), Nanoseconds(copy.lastWrite));
    fs::permissions(file, copy.readOnly ? fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read
                                        : fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                              fs::perms::others_read);
    const ExpectedRows& rows = expectedRows.at(copy.source);
    EXPECT_TRUE(rows.has_value()) << copy.source;
    std::vector<std::string> fields = {(physical / copy.name).string(), copy.name};
    if (rows) fields.insert(fields.end(), rows->begin(), rows->end());
    fields.insert(fields.end(), copy.tail.begin(), copy.tail.end());
    documents.names.push_back(copy.name);
    documents.sources.push_back(copy.source);
    documents.lines.push_back(Quoted(fields));
  }
  return documents;
}

}  // namespace kestrel::test
