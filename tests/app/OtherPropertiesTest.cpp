// The 「その他のプロパティ」 group and 個人情報を削除: custom properties added, edited and removed
// through the dialog reach the document with 変更, and the removal of personal information runs
// over every listed document, leaving what the user kept.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>

#include "app/FileListModel.h"
#include "app/MainWindow.h"
#include "app/OtherPropertiesPanel.h"
#include "app/dialogs/CustomPropertyDialog.h"
#include "app/dialogs/PersonalInfoDialog.h"
#include "reading/DocumentReading.h"
#include "tests/app/MainWindowFixture.h"

namespace kestrel::app::test {
namespace {

using OtherPropertiesTest = MainWindowFixture;

// Fills the custom property dialog the next button opens, and presses OK.
std::function<void(QDialog&)> Answer(const QString& name, int type, const QString& value) {
  return [=](QDialog& shown) {
    auto& dialog = dynamic_cast<CustomPropertyDialog&>(shown);
    dialog.nameField->setText(name);
    dialog.typeBox->setCurrentIndex(type);
    dialog.valueField->setText(value);
    dialog.accept();
  };
}

std::vector<catalogue::OtherProperty> CustomOf(const QString& path) {
  ooxml::PackageProperties packages;
  const Result<reading::DocumentReading> reading = reading::ReadDocument(packages, path.toStdString(), true);
  std::vector<catalogue::OtherProperty> custom;
  if (!reading || !reading->others) {
    ADD_FAILURE() << "the document's other properties cannot be read";
    return custom;
  }
  std::copy_if(reading->others->begin(), reading->others->end(), std::back_inserter(custom),
               [](const catalogue::OtherProperty& p) { return p.custom; });
  return custom;
}

// The table row showing a property of that name; -1 when none does.
int RowNamed(const OtherPropertiesPanel& panel, const QString& name) {
  for (int row = 0; row < panel.table->rowCount(); ++row) {
    if (panel.table->item(row, 0)->text() == name) return row;
  }
  return -1;
}

catalogue::OtherProperty Custom(const char* name, catalogue::CustomType type, const char* value) {
  return {true, name, "", type, value};
}

TEST_F(OtherPropertiesTest, CustomPropertiesEditedInTheSingleTabReachTheDocumentWithTheChange) {
  for (const char* name : {"lo-ja-full.docx", "lo-ja-full.doc"}) {
    SCOPED_TRACE(name);
    const QString path = CopyOf(name);
    AddByDialog({path});
    auto* panel = Window().findChild<OtherPropertiesPanel*>(QStringLiteral("otherProperties"));
    ASSERT_NE(panel, nullptr);
    dialogs_.modalAnswers = {Answer(QStringLiteral("案件"), 0, QStringLiteral("A-12")),
                             Answer(QStringLiteral("件数"), 1, QStringLiteral("12a")),  // refused: stays open
                             Answer(QStringLiteral("期限"), 2, QStringLiteral("2015/04/02 9:30:00"))};
    for (int i = 0; i < 3; ++i) panel->addButton->click();
    // The table shows the edits before they are written; the refused number is not among them.
    const std::vector<catalogue::OtherProperty> stored = CustomOf(path);
    ASSERT_NE(RowNamed(*panel, QStringLiteral("案件")), -1);
    EXPECT_EQ(RowNamed(*panel, QStringLiteral("件数")), -1);
    EXPECT_EQ(panel->table->item(RowNamed(*panel, QStringLiteral("期限")), 2)->text(), QStringLiteral("2015/04/02 9:30:00"));
    View().singleBackupBox->setChecked(false);
    View().changeSelectedButton->click();
    const int row = static_cast<int>(ListedPaths().size()) - 1;
    EXPECT_EQ(StatusOf(row), FileStatus::Changed) << ToolTipOf(row).toStdString();
    std::vector<catalogue::OtherProperty> expected = stored;
    expected.push_back(Custom("案件", catalogue::CustomType::Text, "A-12"));
    expected.push_back(Custom("期限", catalogue::CustomType::Date, "2015/04/02 9:30:00"));
    EXPECT_EQ(CustomOf(path), expected);
    // Editing renames and retypes (the renamed one goes last); removing takes one out.
    panel->table->selectRow(RowNamed(*panel, QStringLiteral("案件")));
    dialogs_.modalAnswers = {Answer(QStringLiteral("件数"), 3, QStringLiteral("はい"))};
    panel->editButton->click();
    panel->table->selectRow(RowNamed(*panel, QStringLiteral("期限")));
    panel->removeButton->click();
    View().changeSelectedButton->click();
    expected = stored;
    expected.push_back(Custom("件数", catalogue::CustomType::YesNo, "はい"));
    EXPECT_EQ(CustomOf(path), expected);
  }
}

TEST_F(OtherPropertiesTest, TheBatchTabSetsAndRemovesCustomPropertiesOfEveryDocument) {
  const QStringList paths = {CopyOf("lo-ja-full.docx"), CopyOf("lo-ja-full.doc")};
  AddByDialog(paths);
  View().batchBackupBox->setChecked(false);
  auto* panel = Window().findChild<OtherPropertiesPanel*>(QStringLiteral("batchOtherProperties"));
  ASSERT_NE(panel, nullptr);
  dialogs_.modalAnswers = {Answer(QStringLiteral("部署"), 0, QStringLiteral("経理")),
                           Answer(QStringLiteral("Company"), 4, QString())};  // 削除
  panel->addButton->click();
  panel->addButton->click();
  ASSERT_EQ(panel->table->rowCount(), 2);
  EXPECT_EQ(panel->table->item(1, 1)->text(), QStringLiteral("削除"));
  View().changeAllButton->click();
  for (int row = 0; row < 2; ++row) {
    SCOPED_TRACE(paths[row].toStdString());
    EXPECT_EQ(StatusOf(row), FileStatus::Changed) << ToolTipOf(row).toStdString();
    const std::vector<catalogue::OtherProperty> custom = CustomOf(paths[row]);
    EXPECT_EQ(custom.back(), Custom("部署", catalogue::CustomType::Text, "経理"));
    EXPECT_TRUE(std::none_of(custom.begin(), custom.end(), [](const auto& p) { return p.name == "Company"; }));
  }
}

TEST_F(OtherPropertiesTest, RemovingPersonalInformationEmptiesTheCheckedItemsOfEveryDocument) {
  const QStringList paths = {CopyOf("lo-ja-full.docx"), CopyOf("lo-ja-full.doc")};
  std::vector<reading::PropertyTexts> before;
  for (const QString& path : paths) {
    ooxml::PackageProperties packages;
    before.push_back(reading::ReadDocumentRows(packages, path.toStdString()).value());
  }
  AddByDialog(paths);
  View().batchBackupBox->setChecked(false);
  dialogs_.modalAnswers = {[](QDialog& shown) {
    auto& dialog = dynamic_cast<PersonalInfoDialog&>(shown);
    dialog.items->item(3)->setCheckState(Qt::Unchecked);  // 会社名 stays
    dialog.accept();
  }};
  Window().findChild<QAction*>(QStringLiteral("removePersonalAction"))->trigger();
  for (int row = 0; row < 2; ++row) {
    SCOPED_TRACE(paths[row].toStdString());
    EXPECT_EQ(StatusOf(row), FileStatus::Changed) << ToolTipOf(row).toStdString();
    ooxml::PackageProperties packages;
    const std::optional<reading::PropertyTexts> rows = reading::ReadDocumentRows(packages, paths[row].toStdString());
    ASSERT_TRUE(rows);
    EXPECT_EQ((*rows)[catalogue::kAuthor], "");
    EXPECT_EQ((*rows)[catalogue::kComments], "");
    EXPECT_EQ((*rows)[catalogue::kCompany], before[row][catalogue::kCompany]);
    EXPECT_EQ((*rows)[catalogue::kTitle], before[row][catalogue::kTitle]);
    EXPECT_NE((*rows)[catalogue::kTitle], "");
  }
}

}  // namespace
}  // namespace kestrel::app::test
