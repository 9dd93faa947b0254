// kestrelpad-cli apply: an exported sheet edited by Python's csv module, as a spreadsheet saves it,
// written back, and read again by show.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/cli/CliRun.h"
#include "tests/support/TestSupport.h"

namespace kestrel::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using ::testing::HasSubstr;

// Edits the first and third document's lines by column name and saves the sheet in an encoding:
// code page 932 with CR LF and every field quoted, or UTF-8 with its mark, LF, quoted as needed.
constexpr const char* kEditScript = R"(import csv, sys
source, target, encoding = sys.argv[1:4]
with open(source, encoding="cp932", newline="") as f:
    rows = list(csv.reader(f))
def put(row, column, value):
    rows[row][rows[0].index(column)] = value
put(1, "タイトル", "新しい題名")
put(1, "会社名", "北浜商事")
put(1, "Modify Time", "2020/01/02 3:04:05")
put(1, "Hidden", "Y")
put(3, "作成日時", "2011/04/05 6:07:00")
put(3, "改訂番号", sys.argv[4] if len(sys.argv) > 4 else "3")
crlf = encoding == "cp932"
with open(target, "w", encoding=encoding, newline="") as f:
    csv.writer(f, lineterminator="\r\n" if crlf else "\n", quoting=csv.QUOTE_ALL if crlf else csv.QUOTE_MINIMAL).writerows(rows)
)";

// The records of a CSV file as Python's csv module reads them, a line of hex fields each.
std::string PythonRecords(const fs::path& file, const std::string& encoding) {
  const CommandResult read = RunCommand(
      "/usr/bin/python3 -c 'import csv, sys\nfor r in csv.reader(open(sys.argv[1], encoding=sys.argv[2], newline=\"\")): "
      "print(\" \".join(f.encode().hex() for f in r))' " + ShellQuote(file.string()) + " " + encoding);
  EXPECT_EQ(read.exitCode, 0) << read.output;
  return read.output;
}

struct Documents {
  fs::path folder;  // as the sheet's full names show it
  std::vector<std::string> names = {"a.doc", "b.docx", "c.docx"};
};

// Copies with whole-second times and an attribute store, exported, and the sheet edited.
std::optional<Documents> PrepareSheet(const TempDir& dir, const std::string& encoding, const std::string& revision) {
  Documents documents{fs::canonical(dir.Path())};
  const std::vector<std::string> sources = {"lo-ja-full.doc", "lo-ja-full.docx", "lo-ascii-full.docx"};
  for (std::size_t i = 0; i < sources.size(); ++i) {
    const fs::path file = dir.Copy(DataFile(sources[i]), documents.names[i]);
    if (!SetDosAttrib(file, 0x20, FileTimeOfSeconds(TokyoSeconds(2020y / 1 / 2, 3h)))) return std::nullopt;
    SetTimes(file, Nanoseconds(TokyoSeconds(2022y / 3 / 4, 5h + 6min + 7s)),
             Nanoseconds(TokyoSeconds(2021y / 2 / 3, 4h + 5min + 6s)));
  }
  EXPECT_EQ(RunCli(Concat({"export", "-o", "out.csv"}, documents.names), dir.Path()).exitCode, 0);
  std::ofstream(dir.Path() / "edit.py") << kEditScript;
  const CommandResult edited = RunCommand("cd " + ShellQuote(dir.Path().string()) + " && /usr/bin/python3 edit.py out.csv sheet.csv " +
                                          encoding + " " + ShellQuote(revision));
  EXPECT_EQ(edited.exitCode, 0) << edited.output;
  return documents;
}

TEST(CliApply, AnEditedSheetInEitherEncodingIsWhatShowReadsAfterwards) {
  if (RunCommand("/usr/bin/python3 -c 'import csv'").exitCode != 0) GTEST_SKIP() << "no python3 to edit the sheet";
  for (const std::string encoding : {"cp932", "utf-8-sig"}) {
    SCOPED_TRACE(encoding);
    const TempDir dir;
    const std::optional<Documents> documents = PrepareSheet(dir, encoding, "3");
    if (!documents) GTEST_SKIP() << "the temporary folder's file system keeps no user.* extended attributes";
    const std::string a = (documents->folder / "a.doc").string();
    const std::string b = (documents->folder / "b.docx").string();
    const std::string c = (documents->folder / "c.docx").string();
    std::vector<FileState> before;
    for (const std::string& name : documents->names) before.push_back(ReadFileState(dir.Path() / name));

    const CliResult dry = RunCli({"apply", "--dry-run", "sheet.csv"}, dir.Path());
    EXPECT_EQ(dry.exitCode, 0) << dry.err;
    EXPECT_EQ(dry.out, a + "\n  タイトル: タイトル：月次報告書 -> 新しい題名\n  会社名:  -> 北浜商事\n"
                           "  Modify Time: 2021/02/03 4:05:06 -> 2020/01/02 3:04:05\n  Hidden:  -> Y\n" +
                           b + "\n  (no change)\n" + c + "\n  作成日時: 2019/11/05 17:30:00 -> 2011/04/05 6:07:00\n");
    for (std::size_t i = 0; i < before.size(); ++i) EXPECT_EQ(ReadFileState(dir.Path() / documents->names[i]), before[i]);
    const std::vector<std::uint8_t> untouched = ReadBytes(dir.Path() / "b.docx");
    SetTimes(dir.Path() / "b.docx", before[1].atimeNs, before[1].mtimeNs);  // as before the read above

    const CliResult applied = RunCli({"apply", "sheet.csv"}, dir.Path());
    EXPECT_EQ(applied.exitCode, 0) << applied.err;
    EXPECT_EQ(applied.out, "changed: " + a + "\nalready so: " + b + "\nchanged: " + c + "\n");
    EXPECT_EQ(ReadFileState(dir.Path() / "b.docx"), before[1]);
    const CliResult shown = RunCli(Concat({"show"}, documents->names), dir.Path());
    EXPECT_EQ(shown.exitCode, 0) << shown.err;
    std::ofstream(dir.Path() / "shown.csv") << shown.out;
    EXPECT_EQ(PythonRecords(dir.Path() / "shown.csv", "utf-8"), PythonRecords(dir.Path() / "sheet.csv", encoding));
    EXPECT_EQ(ReadBytes(dir.Path() / "b.docx"), untouched);  // last: reading it moves its last access
  }
}

// A refused line is told with its line number and leaves its document as it was; the others go on.
TEST(CliApply, ARefusedLineIsToldAndTheOthersAreApplied) {
  if (RunCommand("/usr/bin/python3 -c 'import csv'").exitCode != 0) GTEST_SKIP() << "no python3 to edit the sheet";
  const TempDir dir;
  const std::optional<Documents> documents = PrepareSheet(dir, "utf-8-sig", "three");
  if (!documents) GTEST_SKIP() << "the temporary folder's file system keeps no user.* extended attributes";
  const std::vector<std::uint8_t> refused = ReadBytes(dir.Path() / "c.docx");

  const CliResult applied = RunCli({"apply", "--backup", "sheet.csv"}, dir.Path());

  EXPECT_EQ(applied.exitCode, 1);
  EXPECT_EQ(applied.err, "kestrelpad-cli: sheet.csv:4: 改訂番号 takes a whole number from 0 to 32767, not \"three\"; "
                         "the line is not applied\n");
  EXPECT_EQ(applied.out, "changed: " + (documents->folder / "a.doc").string() + "\nalready so: " +
                             (documents->folder / "b.docx").string() + "\n");
  EXPECT_TRUE(fs::exists(dir.Path() / "a.doc.bak"));
  EXPECT_EQ(ReadBytes(dir.Path() / "c.docx"), refused);
}

}  // namespace
}  // namespace kestrel::test
