// "既定保存" and "既定のインポート": the batch tab's settings as string values in the user's settings
// (organisation norvale, application kestrelPadJP), read back by the import, by a restart and by
// QSettings itself; the first start with nothing stored.
#include <QCheckBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QSettings>
#include <QTabWidget>
#include <QStatusBar>
#include <QTest>
#include <QTimeEdit>
#include <QToolButton>

#include "app/InPlaceEditors.h"
#include "app/PickerValues.h"
#include "app/PropertyListView.h"
#include "platform/time/DateTimeText.h"
#include "tests/app/MainWindowFixture.h"

namespace kestrel::app::test {
namespace {

// Texts that INI files and registries like to mangle.
const QString kAwkwardTitle = QStringLiteral("a, \"b\" @Variant(x) \\ ; #c = 題名\n二行目");

class PresetTest : public MainWindowFixture {
 protected:
  PropertyListView& Batch() { return *View().batchProperties; }

  // Everything stored, as QSettings reads it back.
  static std::map<QString, QString> Stored() {
    const QSettings settings(QStringLiteral("norvale"), QStringLiteral("kestrelPadJP"));
    std::map<QString, QString> stored;
    for (const QString& key : settings.allKeys()) stored[key] = settings.value(key).toString();
    return stored;
  }

  // A batch tab unlike the first-start state in every part.
  void FillBatchTab() {
    View().tabs->setCurrentIndex(1);
    Batch().SetValue(0, kAwkwardTitle);
    Batch().SetIncluded(0, true);
    Batch().SetValue(2, QStringLiteral("作成者の名前"));
    Batch().SetValue(6, QStringLiteral("007"));
    Batch().SetIncluded(6, true);
    Batch().SetValue(10, QString());
    Batch().SetValue(11, QStringLiteral("2010/03/15 9:05:30"));
    Batch().SetIncluded(11, true);
    Batch().SetValue(12, QStringLiteral("abc"));
    Batch().SetValue(13, QString());
    Batch().SetIncluded(13, true);
    View().batchCreationDate->setDate(QDate(2021, 4, 1));
    View().batchCreationTime->setTime(QTime(10, 20, 30));
    View().batchLastWriteDate->setDate(QDate(2022, 5, 6));
    View().batchLastWriteTime->setTime(QTime(0, 0, 0));
    View().batchLastAccessDate->setDate(QDate(2023, 7, 8));
    View().batchLastAccessTime->setTime(QTime(23, 59, 58));
    View().batchCreationDateBox->setChecked(false);
    View().batchLastAccessTimeBox->setChecked(false);
    View().batchReadOnlyBox->setCheckState(Qt::PartiallyChecked);
    View().batchArchiveBox->setCheckState(Qt::Checked);
    View().batchHiddenBox->setCheckState(Qt::Unchecked);
    View().batchSystemBox->setCheckState(Qt::Checked);
    View().batchBackupBox->setChecked(false);
  }
};

TEST_F(PresetTest, DefaultSaveStoresEveryValueUnderItsName) {
  FillBatchTab();
  // A value still in its editor is stored too: the command closes the editor first.
  QTest::mouseClick(Batch().viewport(), Qt::LeftButton, Qt::NoModifier,
                    Batch().visualRect(Batch().model()->index(7, 1)).center());
  ASSERT_FALSE(View().editors->textEditor->isHidden());
  View().editors->textEditor->setText(QStringLiteral("typed last"));
  QTest::mouseClick(View().savePresetButton, Qt::LeftButton);
  EXPECT_TRUE(View().editors->textEditor->isHidden());

  std::map<QString, QString> expected = {
      {"createtime", "2021/04/01 10:20:30"}, {"createtimecheckdate", "0"}, {"createtimechecktime", "1"},
      {"modifytime", "2022/05/06"},          {"modifytimecheckdate", "1"}, {"modifytimechecktime", "1"},
      {"accesstime", "2023/07/08 23:59:58"}, {"accesstimecheckdate", "1"}, {"accesstimechecktime", "0"},
      {"readonly", "0"},                     {"archive", "1"},             {"hidden", "2"},
      {"contentindex", "1"},                 {"backupold", ""},
  };
  const std::array<const char*, 14> captions = {"タイトル", "表題",     "作成者",     "キーワード",   "コメント",
                                                "カテゴリー", "改訂番号", "前回保存者", "管理者",       "会社名",
                                                "作成日時", "前回保存日時", "編集時間", "前回印刷日時"};
  for (int row = 0; row < 14; ++row) {
    const QString caption = QString::fromUtf8(captions.at(static_cast<std::size_t>(row)));
    expected[caption + "string"] = Batch().Value(row);
    expected[caption + "check"] = Batch().Included(row) ? "1" : "0";
  }
  EXPECT_EQ(expected[QStringLiteral("タイトルstring")], kAwkwardTitle);
  EXPECT_EQ(expected[QStringLiteral("前回保存者string")], QStringLiteral("typed last"));
  EXPECT_EQ(expected[QStringLiteral("改訂番号string")], QStringLiteral("007"));
  EXPECT_EQ(Stored(), expected);
  EXPECT_TRUE(std::filesystem::exists(settings_.PresetFile()));

  // Saving again replaces every value.
  View().batchBackupBox->setChecked(true);
  Window().SavePreset();
  EXPECT_EQ(Stored()[QStringLiteral("backupold")], QStringLiteral("1"));
  EXPECT_EQ(Stored().size(), expected.size());
}

TEST_F(PresetTest, TheStoredPresetsComeBackAfterARestartNormalised) {
  FillBatchTab();
  View().batchBackupBox->setChecked(true);
  Window().SavePreset();
  Restart();

  PropertyListView& batch = Batch();
  EXPECT_EQ(batch.Value(0), kAwkwardTitle);
  EXPECT_EQ(batch.Value(2), QStringLiteral("作成者の名前"));
  EXPECT_EQ(batch.Value(6), QStringLiteral("7"));
  EXPECT_EQ(batch.Value(11), QStringLiteral("2010/03/15 9:05:00"));
  EXPECT_EQ(batch.Value(12), QStringLiteral("1"));
  EXPECT_EQ(batch.Value(13), QString());
  // Saved empty, the creation row comes back as now, to the minute (at midnight the date alone).
  const QString now = QString::fromStdString(time::FormatDateTimeText(CurrentLocalDateTime()));
  EXPECT_EQ(batch.Value(10).left(10), now.left(10));
  EXPECT_TRUE(batch.Value(10).endsWith(u":00") || !batch.Value(10).contains(u' ')) << batch.Value(10).toStdString();
  for (int row = 0; row < 14; ++row) {
    EXPECT_EQ(batch.Included(row), row == 0 || row == 6 || row == 11 || row == 13) << row;
  }
  EXPECT_EQ(View().batchCreationDate->date(), QDate(2021, 4, 1));
  EXPECT_EQ(View().batchCreationTime->time(), QTime(10, 20, 30));
  EXPECT_EQ(View().batchLastWriteTime->time(), QTime(0, 0, 0));
  EXPECT_EQ(View().batchLastAccessDate->date(), QDate(2023, 7, 8));
  EXPECT_EQ(View().batchLastAccessTime->time(), QTime(23, 59, 58));
  EXPECT_FALSE(View().batchCreationDateBox->isChecked());
  EXPECT_FALSE(View().batchCreationDate->isEnabled());
  EXPECT_FALSE(View().batchLastAccessTimeBox->isChecked());
  EXPECT_FALSE(View().batchLastAccessTime->isEnabled());
  for (QCheckBox* box : {View().batchCreationTimeBox, View().batchLastWriteDateBox, View().batchLastWriteTimeBox,
                         View().batchLastAccessDateBox}) {
    EXPECT_TRUE(box->isChecked()) << box->objectName().toStdString();
  }
  EXPECT_EQ(View().batchReadOnlyBox->checkState(), Qt::PartiallyChecked);
  EXPECT_EQ(View().batchArchiveBox->checkState(), Qt::Checked);
  EXPECT_EQ(View().batchHiddenBox->checkState(), Qt::Unchecked);
  EXPECT_EQ(View().batchSystemBox->checkState(), Qt::Checked);
  EXPECT_TRUE(View().batchBackupBox->isChecked());
}

TEST_F(PresetTest, TheImportPutsBackWhatWasSaved) {
  FillBatchTab();
  Window().SavePreset();
  EXPECT_EQ(View().statusLine->currentMessage(), QStringLiteral("一括変更の値を既定として保存しました"));
  EXPECT_EQ(View().statusLine->toolTip(), View().statusLine->currentMessage()) << "read whole where the bar is short";
  Batch().SetValue(0, QStringLiteral("changed since"));
  Batch().SetIncluded(0, false);
  View().batchHiddenBox->setCheckState(Qt::Checked);
  View().batchCreationDateBox->setChecked(true);
  // An open editor closes first; then its row, like every other, gets the stored value.
  QTest::mouseClick(Batch().viewport(), Qt::LeftButton, Qt::NoModifier,
                    Batch().visualRect(Batch().model()->index(2, 1)).center());
  View().editors->textEditor->setText(QStringLiteral("typed"));
  QTest::mouseClick(View().loadPresetButton, Qt::LeftButton);
  EXPECT_TRUE(View().editors->textEditor->isHidden());
  EXPECT_EQ(Batch().Value(0), kAwkwardTitle);
  EXPECT_TRUE(Batch().Included(0));
  EXPECT_EQ(Batch().Value(2), QStringLiteral("作成者の名前"));
  EXPECT_EQ(View().batchHiddenBox->checkState(), Qt::Unchecked);
  EXPECT_FALSE(View().batchCreationDateBox->isChecked());
  EXPECT_EQ(View().statusLine->currentMessage(), QStringLiteral("既定の値を一括変更に読み込みました"));
}

TEST_F(PresetTest, StringsWrittenByHandAreReadAsTheProgramReadsThem) {
  {
    QSettings settings(QStringLiteral("norvale"), QStringLiteral("kestrelPadJP"));
    settings.setValue(QStringLiteral("readonly"), QStringLiteral("7"));
    settings.setValue(QStringLiteral("archive"), QStringLiteral("2"));
    settings.setValue(QStringLiteral("createtime"), QStringLiteral("not a date"));
    settings.setValue(QStringLiteral("modifytimecheckdate"), QStringLiteral("0"));
    settings.setValue(QStringLiteral("accesstimechecktime"), QStringLiteral("yes"));
    settings.setValue(QStringLiteral("改訂番号string"), QStringLiteral(" 12 "));
    settings.setValue(QStringLiteral("前回印刷日時string"), QStringLiteral("2001/02/03 4:05:06"));
    settings.setValue(QStringLiteral("表題check"), QStringLiteral("yes"));
    settings.setValue(QStringLiteral("backupold"), QStringLiteral("1"));
  }
  Window().LoadPreset();
  EXPECT_EQ(View().batchReadOnlyBox->checkState(), Qt::PartiallyChecked);
  EXPECT_EQ(View().batchArchiveBox->checkState(), Qt::Unchecked);
  EXPECT_EQ(View().batchCreationDate->date(), QDate::currentDate());
  EXPECT_FALSE(View().batchLastWriteDateBox->isChecked());
  EXPECT_TRUE(View().batchLastAccessTimeBox->isChecked());
  EXPECT_EQ(Batch().Value(6), QStringLiteral("12"));
  EXPECT_EQ(Batch().Value(13), QStringLiteral("2001/02/03 4:05:00"));
  EXPECT_FALSE(Batch().Included(1));
  EXPECT_TRUE(View().batchBackupBox->isChecked());
}

TEST_F(PresetTest, AtTheFirstStartNothingIsStoredAndTheDefaultsShow) {
  EXPECT_TRUE(Stored().empty());
  EXPECT_FALSE(View().batchBackupBox->isChecked());
  for (int row = 0; row < 14; ++row) EXPECT_FALSE(Batch().Included(row)) << row;
  EXPECT_EQ(Batch().Value(6), QStringLiteral("1"));
  EXPECT_EQ(Batch().Value(13), QString());
  for (QCheckBox* box :
       {View().batchReadOnlyBox, View().batchArchiveBox, View().batchHiddenBox, View().batchSystemBox}) {
    EXPECT_EQ(box->checkState(), Qt::PartiallyChecked);
  }
  for (const QDateEdit* date :
       {View().batchCreationDate, View().batchLastWriteDate, View().batchLastAccessDate}) {
    EXPECT_TRUE(date->isEnabled()) << date->objectName().toStdString();
  }
  for (const QTimeEdit* time :
       {View().batchCreationTime, View().batchLastWriteTime, View().batchLastAccessTime}) {
    EXPECT_TRUE(time->isEnabled()) << time->objectName().toStdString();
  }
  // Importing an empty store gives the same state again.
  Batch().SetIncluded(3, true);
  Window().LoadPreset();
  EXPECT_FALSE(Batch().Included(3));
  EXPECT_TRUE(Stored().empty());
}

}  // namespace
}  // namespace kestrel::app::test
