#include <QAction>
#include <QCheckBox>
#include <QTableWidget>

#include "app/FileListModel.h"
#include "app/MainWindow.h"
#include "app/dialogs/SheetPreviewDialog.h"
#include "export/CsvDocumentLine.h"
#include "export/CsvLines.h"
#include "reading/DocumentReading.h"
#include "tests/app/MainWindowFixture.h"

namespace kestrel::app::test {
namespace {

using SheetChangeTest = MainWindowFixture;

// 「CSVから変更」: the preview shows each cell the sheet changes and each line it refuses, and the
// run changes only those documents, listing them first.
TEST_F(SheetChangeTest, AnEditedSheetIsPreviewedThenApplied) {
  const QString edited = CopyOf("lo-ja-full.docx");
  const QString untouched = CopyOf("lo-ja-full.doc");
  std::vector<std::string> lines{csv::CsvHeaderLine()};
  ooxml::PackageProperties packages;
  for (const QString& path : {edited, untouched}) {
    ASSERT_TRUE(csv::AppendDocumentLine(packages, path.toStdString(), path.toStdString(), lines));
  }
  const std::string title = "\"" + reading::ReadDocumentRows(packages, edited.toStdString()).value()[0] + "\"";
  lines[1].replace(lines[1].find(title), title.size(), "\"新しい題名\"");
  lines.push_back("\"" + (dir_.Path() / "missing.docx").string() + "\"");
  const std::string sheet = (dir_.Path() / "sheet.csv").string();
  ASSERT_TRUE(csv::WriteCsvLines(sheet, lines));
  const std::vector<std::uint8_t> before = kestrel::test::ReadBytes(untouched.toStdString());
  View().batchBackupBox->setChecked(false);
  dialogs_.fileAnswers = {QStringList{QString::fromStdString(sheet)}};
  dialogs_.modalAnswers = {[](QDialog& shown) {
    auto& preview = dynamic_cast<SheetPreviewDialog&>(shown);
    ASSERT_EQ(preview.changes->rowCount(), 1);
    EXPECT_EQ(preview.changes->item(0, 1)->text(), QStringLiteral("タイトル"));
    EXPECT_EQ(preview.changes->item(0, 3)->text(), QStringLiteral("新しい題名"));
    ASSERT_EQ(preview.refused->rowCount(), 1);
    EXPECT_EQ(preview.refused->item(0, 0)->text(), QStringLiteral("4"));
    preview.accept();
  }};
  Window().findChild<QAction*>(QStringLiteral("changeFromSheetAction"))->trigger();
  ASSERT_EQ(ListedPaths(), QStringList{edited});
  EXPECT_EQ(StatusOf(0), FileStatus::Changed) << ToolTipOf(0).toStdString();
  EXPECT_EQ(reading::ReadDocumentRows(packages, edited.toStdString()).value()[0], "新しい題名");
  EXPECT_EQ(kestrel::test::ReadBytes(untouched.toStdString()), before);
}

}  // namespace
}  // namespace kestrel::app::test
