// Reading an edited sheet and planning its lines: what each line asks of a document showing
// kShown, or why the sheet or the line is refused.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "export/CsvLines.h"
#include "platform/text/CodePage.h"
#include "sheet/LinePlan.h"
#include "sheet/SheetFile.h"
#include "tests/support/TestSupport.h"

namespace kestrel::sheet {
namespace {

// What the export shows of the document every line is compared with.
const csv::ShownFields kShown = {"Old", "", "", "", "", "", "3", "", "", "", "2020/01/02 3:04:05", "", "10",
                                 "2020/01/02", "2021/01/01 1:00:00", "2021/02/02 2:00:00", "", "", "", "Y", ""};

// The request as the change sees it: included rows, checked time boxes, attribute choices.
std::string RequestText(const change::ChangeRequest& request) {
  std::string text = " {";
  for (int row = 0; row < catalogue::kRowCount; ++row) {
    if (request.rows.Included(row)) text += "row " + std::to_string(row) + "=" + request.rows.Value(row) + ";";
  }
  const catalogue::FileTimeChoices& t = request.times;
  for (const bool checked : {t.creationDate.checked, t.creationTime.checked, t.lastWriteDate.checked,
                             t.lastWriteTime.checked, t.lastAccessDate.checked, t.lastAccessTime.checked}) {
    text += checked ? "T" : "-";
  }
  const catalogue::AttributeChoices& a = request.attributes;
  for (const catalogue::AttributeChoice choice : {a.readOnly, a.archive, a.hidden, a.system}) {
    text += "CKS"[static_cast<int>(choice)];  // Clear, Keep, Set
  }
  return text + "}";
}

// "line N: CAPTION: OLD -> NEW, ... {request}" per line, or why a line or the sheet is refused.
std::string Summary(std::string_view bytes) {
  const Result<Sheet> sheet = ParseSheet(bytes);
  if (!sheet) return "sheet: " + sheet.outcome().message();
  std::string summary;
  for (const SheetLine& line : sheet->lines) {
    summary += "line " + std::to_string(line.number) + ": ";
    const Result<LinePlan> plan = PlanAgainst(*sheet, line, kShown);
    if (!plan) {
      summary += plan.outcome().message() + "\n";
      continue;
    }
    for (const Difference& d : plan->differences) summary += d.caption + ": " + d.before + " -> " + d.after + ", ";
    summary += RequestText(plan->request) + "\n";
  }
  return summary;
}

// The export's own line of kShown: the sheet a user saved without editing.
std::string ExportedLine() {
  std::string line;
  csv::AppendField(line, "/x.doc", false);
  csv::AppendField(line, "x.doc", false);
  for (std::size_t i = 0; i < kShown.size(); ++i) csv::AppendField(line, kShown[i], i + 1 == kShown.size());
  return line;
}

std::string Cp932(const std::string& utf8) { return text::FromUtf8(utf8, text::kCodePageShiftJis).value(); }

TEST(SheetPlan, ChangesExactlyTheCellsThatDifferOrSaysWhyNot) {
  const std::string header = "File full name,改訂番号,前回印刷日時,Modify Time,Hidden\r\n";
  const std::string unchanged = " {------KKKK}\n";
  const struct {
    const char* name;
    std::string sheet;
    std::string expected;
  } cases[] = {
      {"the unedited export", csv::CsvHeaderLine() + "\r\n" + ExportedLine() + "\r\n", "line 2: " + unchanged},
      {"moved and missing columns", "Hidden,タイトル,File full name\n,New,/x.doc\n",
       "line 2: タイトル: Old -> New, Hidden: Y -> ,  {row 0=New;------KKCK}\n"},
      {"equal values written otherwise", header + "/x.doc,0003,2020/1/2 0:00,2021/2/2 2:00,Y\r\n",
       "line 2: " + unchanged},
      {"new values as set takes them", header + "/x.doc,7,,2022/3/4 5:06:07,Y\r\n",
       "line 2: 改訂番号: 3 -> 7, 前回印刷日時: 2020/01/02 -> , Modify Time: 2021/02/02 2:00:00 -> 2022/03/04 "
       "5:06:07,  {row 6=7;row 13=;--TT--KKKK}\n"},
      {"not a whole number", header + "/x.doc,abc,,,Y\n",
       "line 2: 改訂番号 takes a whole number from 0 to 32767, not \"abc\"\n"},
      {"above the editor's range", header + "/x.doc,32768,2020/01/02,2021/02/02 2:00:00,Y\n",
       "line 2: 改訂番号 takes a whole number from 0 to 32767, not \"32768\"\n"},
      {"no date", header + "/x.doc,3,soon,2021/02/02 2:00:00,Y\n",
       "line 2: 前回印刷日時 takes a date and time (yyyy/MM/dd H:mm:ss), not \"soon\"\n"},
      {"a file time before 1601", header + "/x.doc,3,2020/01/02,1600/12/31,Y\n",
       "line 2: Modify Time takes a date and time from 1601 on (yyyy/MM/dd H:mm:ss), not \"1600/12/31\"\n"},
      {"an attribute neither Y nor empty", header + "/x.doc,3,2020/01/02,2021/02/02 2:00:00,yes\n",
       "line 2: Hidden takes \"Y\" or nothing, not \"yes\"\n"},
      {"too many fields", header + "/x.doc,3,2020/01/02,2021/02/02 2:00:00,Y,\n",
       "line 2: has 6 fields where the header line has 5\n"},
      {"quoted fields and line breaks; blank lines skipped",
       "\"File full name\",\"タイトル\"\n\n\"/x.doc\",\"a \"\"b\"\"\r\nc\"\n,\n/y.doc,Old\n",
       "line 3: タイトル: Old -> a \"b\"\r\nc,  {row 0=a \"b\"\r\nc;------KKKK}\nline 6: " + unchanged},
      {"UTF-8 after a byte-order mark", "\xEF\xBB\xBF" "File full name,タイトル\n/x.doc,新しい\n",
       "line 2: タイトル: Old -> 新しい,  {row 0=新しい;------KKKK}\n"},
      {"code page 932", Cp932("File full name,タイトル\r\n/x.doc,新しい\r\n"),
       "line 2: タイトル: Old -> 新しい,  {row 0=新しい;------KKKK}\n"},
      {"an unknown column", "File full name,Titel\n/x.doc,New\n", "sheet: unknown column \"Titel\" in the header line"},
      {"no full name column", "タイトル\nNew\n", "sheet: no \"File full name\" column in the header line"},
      {"a column named twice", "File full name,Hidden,Hidden\n", "sheet: column \"Hidden\" named twice"},
      {"an open quote", "File full name\n\"/x.doc\n", "sheet: line 2: a quoted field is not closed"},
      {"neither UTF-8 nor code page 932", "File full name\n\x82\x20\n",
       "sheet: neither UTF-8 nor Shift-JIS (code page 932) text"},
  };
  for (const auto& c : cases) EXPECT_EQ(Summary(c.sheet), c.expected) << c.name;
}

// A code page 932 sheet holds what the export wrote for a value it cannot hold as it is: that is
// no edit. The same text in a UTF-8 sheet is one.
TEST(SheetPlan, ALookAlikeTheExportWroteIsNoEdit) {
  csv::ShownFields shown = kShown;
  shown[0] = "波〜";  // U+301C, written as the code page's U+FF5E
  const std::string bytes = Cp932("File full name,タイトル\r\n/x.doc,波～\r\n");
  const Result<Sheet> sheet = ParseSheet(bytes);
  ASSERT_TRUE(sheet && sheet->codePage932);
  EXPECT_TRUE(PlanAgainst(*sheet, sheet->lines.at(0), shown)->differences.empty());
  const Result<Sheet> utf8 = ParseSheet("File full name,タイトル\n/x.doc,波～\n");
  EXPECT_EQ(PlanAgainst(*utf8, utf8->lines.at(0), shown)->differences.size(), 1U);
}

TEST(SheetPlan, ADocumentMissingOrNamedAgainIsRefused) {
  const test::TempDir dir;
  const std::string file = dir.Copy(test::DataFile("lo-ascii-full.docx"), "a.docx").string();
  const std::string missing = (dir.Path() / "missing.docx").string();
  const Result<Sheet> sheet = ParseSheet("File full name\n" + file + "\n" + missing + "\n" +
                                         (dir.Path() / "." / "a.docx").string() + "\n");
  ASSERT_TRUE(sheet);
  ooxml::PackageProperties packages;
  const Result<LinePlan> plan = PlanLine(packages, *sheet, sheet->lines.at(0));
  ASSERT_TRUE(plan) << plan.outcome().message();
  EXPECT_TRUE(plan->differences.empty());
  const Result<LinePlan> refused = PlanLine(packages, *sheet, sheet->lines.at(1));
  EXPECT_EQ(refused.outcome().kind(), FailureKind::NotFound);
  EXPECT_EQ(refused.outcome().message().rfind(missing + ": ", 0), 0U) << refused.outcome().message();
  EXPECT_EQ(EarlierLinesOfSameDocument(*sheet), (std::vector<std::optional<std::size_t>>{{}, {}, 2}));
}

}  // namespace
}  // namespace kestrel::sheet
