// The file list: its three doors with their filters, removals, the enabling after each of them,
// and the selection that reads the selected file.
#include <fstream>

#include <QAction>
#include <QCheckBox>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include "app/FileListModel.h"
#include "app/FileListView.h"
#include "app/PropertyListView.h"
#include "platform/fs/FileOps.h"
#include "tests/app/MainWindowFixture.h"

namespace kestrel::app::test {
namespace {

using FileListTest = MainWindowFixture;

const QString kAllEnabled = QStringLiteral(
    "addFilesButton addFolderButton removeButton removeAllButton changeAllButton exportAllButton changeSelectedButton "
    "exportSelectedButton importFromSelectedButton fileTimesGroup attributesGroup "
    "removeAction removeAllAction");
const QString kNothingListed = QStringLiteral("addFilesButton addFolderButton fileTimesGroup attributesGroup");

QString Touch(const std::filesystem::path& path) {
  std::ofstream(path).put('x');
  return QString::fromStdString(path.string());
}

QUrl Local(const QString& path) { return QUrl::fromLocalFile(path); }

TEST_F(FileListTest, TheDialogDoorTakesExistingFilesOfAnyNameOnceAndSelectsTheLast) {
  const QString a = CopyOf("lo-ascii-full.doc", "a.doc");
  const QString b = CopyOf("lo-ja-full.docx", "b.docx");
  const QString text = Touch(dir_.Path() / "notes.txt");
  const QString missing = QString::fromStdString((dir_.Path() / "missing.doc").string());
  AddByDialog({a, missing, b, a, QString::fromStdString(dir_.Path().string()), text});
  EXPECT_EQ(ListedPaths(), (QStringList{a, b, text}));
  // Word documents first, as always; then every Office file; then every OpenDocument file.
  EXPECT_EQ(dialogs_.filters,
            std::vector<QString>{QStringLiteral(
                "Microsoft Word document Files|*.DOC;*.DOCX|Microsoft Office document Files|*.DOC;*.DOT;*.DOCX;*.DOCM;"
                "*.DOTX;*.DOTM;*.XLS;*.XLT;*.XLSX;*.XLSM;*.XLTX;*.XLTM;*.XLSB;*.PPT;*.POT;*.PPS;*.PPTX;*.PPTM;*.POTX;"
                "*.POTM;*.PPSX;*.PPSM|OpenDocument Files|*.ODT;*.OTT;*.ODS;*.OTS;*.ODP;*.OTP;*.ODG;*.OTG")});
  EXPECT_EQ(SelectedFile(), 2);
  EXPECT_EQ(EnabledControls(View()), kAllEnabled);
  for (int row = 0; row < 3; ++row) EXPECT_EQ(StatusOf(row), FileStatus::NotChanged);

  // The same path again through the same door adds nothing; in another letter case it is another file.
  const QString upper = QString::fromStdString((dir_.Path() / "A.doc").string());
  std::filesystem::copy_file(dir_.Path() / "a.doc", dir_.Path() / "A.doc");
  AddByDialog({a, upper});
  EXPECT_EQ(ListedPaths(), (QStringList{a, b, text, upper}));
  EXPECT_EQ(SelectedFile(), 3);
}

TEST_F(FileListTest, TheDialogDoorEnablesTheListCommandsEvenWhenItAddsNothing) {
  AddByDialog({QString::fromStdString((dir_.Path() / "missing.doc").string())});
  EXPECT_EQ(Window().Files().rowCount(), 0);
  EXPECT_EQ(EnabledControls(View()),
            QStringLiteral("addFilesButton addFolderButton removeButton removeAllButton changeAllButton "
                           "exportAllButton fileTimesGroup attributesGroup removeAction removeAllAction"));
  // The commands find nothing to do and say so or stay silent, as each one's own check decides.
  QTest::mouseClick(View().removeButton, Qt::LeftButton);
  Window().ChangeSelectedFile();
  ASSERT_EQ(dialogs_.messages.size(), 1U);
  EXPECT_EQ(dialogs_.messages[0].text, QStringLiteral("変更したいファイルを選択する!"));
}

TEST_F(FileListTest, CancellingEitherDialogChangesNothing) {
  dialogs_.fileAnswers.push_back(std::nullopt);
  QTest::mouseClick(View().addFilesButton, Qt::LeftButton);
  dialogs_.folderAnswers.push_back(std::nullopt);
  QTest::mouseClick(View().addFolderButton, Qt::LeftButton);
  EXPECT_EQ(Window().Files().rowCount(), 0);
  EXPECT_EQ(EnabledControls(View()), kNothingListed);
  EXPECT_EQ(dialogs_.prompts, std::vector<QString>{QStringLiteral("フォルダを選択してください")});
}

TEST_F(FileListTest, TheFolderDoorAddsTheOfficeFilesOfTheFolderOnly) {
  const std::filesystem::path folder = dir_.Path() / "docs";
  std::filesystem::create_directories(folder / "sub.doc");
  for (const char* name : {"a.doc", "B.DOCX", "c.xlsm", "~$a.doc", ".hidden.Doc", "d.doc.bak", "e", "f.txt"}) {
    Touch(folder / name);
  }
  std::filesystem::permissions(folder / "a.doc", std::filesystem::perms::owner_read);
  // In name order, letter case ignored.
  QStringList expected;
  for (const char* name : {".hidden.Doc", "a.doc", "B.DOCX", "c.xlsm"}) {
    expected << QString::fromStdString((folder / name).string());
  }
  // The trailing delimiter of the chosen folder is dropped.
  dialogs_.folderAnswers.push_back(QString::fromStdString(folder.string()) + u'/');
  QTest::mouseClick(View().addFolderButton, Qt::LeftButton);
  EXPECT_EQ(ListedPaths(), expected);
  EXPECT_EQ(SelectedFile(), 3);
  // The selected file is no package (one byte): nothing can be changed or taken from it.
  EXPECT_EQ(EnabledControls(View()), QStringLiteral("addFilesButton addFolderButton removeButton removeAllButton "
                                                    "changeAllButton exportAllButton removeAction removeAllAction"));

  // The same folder again finds every file listed: nothing changes, not even the selection.
  SelectFile(0);
  dialogs_.folderAnswers.push_back(QString::fromStdString(folder.string()));
  QTest::mouseClick(View().addFolderButton, Qt::LeftButton);
  EXPECT_EQ(ListedPaths(), expected);
  EXPECT_EQ(SelectedFile(), 0);
}

TEST_F(FileListTest, ThePopupItemsAddAsTheirToolButtonsDo) {
  const QString a = CopyOf("lo-ascii-full.doc", "a.doc");
  dialogs_.fileAnswers.push_back(QStringList{a});
  View().addFilesAction->trigger();
  const std::filesystem::path folder = dir_.Path() / "more";
  std::filesystem::create_directories(folder);
  const QString b = Touch(folder / "b.doc");
  dialogs_.folderAnswers.push_back(QString::fromStdString(folder.string()));
  View().addFolderAction->trigger();
  EXPECT_EQ(ListedPaths(), (QStringList{a, b}));
  EXPECT_EQ(dialogs_.filters.size(), 1U);
  EXPECT_EQ(dialogs_.prompts.size(), 1U);
}

TEST_F(FileListTest, AFolderWithoutDocumentsChangesNothing) {
  const std::filesystem::path folder = dir_.Path() / "empty";
  std::filesystem::create_directories(folder / "inner");
  Touch(folder / "readme.txt");
  dialogs_.folderAnswers.push_back(QString::fromStdString(folder.string()));
  QTest::mouseClick(View().addFolderButton, Qt::LeftButton);
  EXPECT_EQ(Window().Files().rowCount(), 0);
  EXPECT_EQ(EnabledControls(View()), kNothingListed);
}

TEST_F(FileListTest, AnOwnerMarkInTheFolderPathStopsTheFolderAndDropDoorsButNotTheDialog) {
  const std::filesystem::path folder = dir_.Path() / "~$owned";
  std::filesystem::create_directories(folder);
  const QString inside = Touch(folder / "a.doc");
  dialogs_.folderAnswers.push_back(QString::fromStdString(folder.string()));
  QTest::mouseClick(View().addFolderButton, Qt::LeftButton);
  Drop(*View().fileList->viewport(), {Local(inside)});
  EXPECT_EQ(Window().Files().rowCount(), 0);
  AddByDialog({inside});
  EXPECT_EQ(ListedPaths(), QStringList{inside});
}

TEST_F(FileListTest, DroppedFilesAreFilteredAndTheLastOneIsRead) {
  const QString a = CopyOf("lo-ascii-full.doc", "a.doc");
  const QString b = CopyOf("lo-ascii-full.docx", "b.DocX");
  const QString owner = CopyOf("lo-ascii-full.doc", "~$a.doc");
  const QString text = Touch(dir_.Path() / "c.txt");
  const QString show = Touch(dir_.Path() / "d.Pps");
  Drop(*View().fileList->viewport(),
       {Local(a), Local(QString::fromStdString(dir_.Path().string())), Local(owner), Local(text), Local(a),
        QUrl(QStringLiteral("https://www.norvale.example/x.doc")), Local(show), Local(b),
        Local(QString::fromStdString((dir_.Path() / "gone.doc").string()))});
  EXPECT_EQ(ListedPaths(), (QStringList{a, show, b}));
  EXPECT_EQ(SelectedFile(), 2);
  EXPECT_EQ(Value(0), QStringLiteral("Quarterly Report"));
  EXPECT_EQ(Value(5), QStringLiteral("Finance"));  // only the package has a category
  EXPECT_EQ(EnabledControls(View()), kAllEnabled);
}

TEST_F(FileListTest, DropsOnOtherWindowsAddNothing) {
  const QString a = CopyOf("lo-ascii-full.doc", "a.doc");
  Drop(*View().singleProperties->viewport(), {Local(a)});
  Drop(*View().batchProperties->viewport(), {Local(a)});
  Drop(Window(), {Local(a)});
  EXPECT_EQ(Window().Files().rowCount(), 0);
  EXPECT_EQ(EnabledControls(View()), kNothingListed);
}

TEST_F(FileListTest, RemovingSelectsTheFileBeforeOrTheNewFirst) {
  const QString a = CopyOf("lo-ascii-full.doc", "a.doc");
  const QString b = CopyOf("lo-ja-full.doc", "b.doc");
  const QString c = CopyOf("lo-ascii-noprint-multiline.doc", "c.doc");
  AddByDialog({a, b, c});
  SelectFile(1);
  QTest::mouseClick(View().removeButton, Qt::LeftButton);
  EXPECT_EQ(ListedPaths(), (QStringList{a, c}));
  EXPECT_EQ(SelectedFile(), 0);
  EXPECT_EQ(Value(0), QStringLiteral("Quarterly Report"));  // a was read
  EXPECT_EQ(EnabledControls(View()), kAllEnabled);

  View().removeAction->trigger();  // the popup twin removes the first
  EXPECT_EQ(ListedPaths(), QStringList{c});
  EXPECT_EQ(SelectedFile(), 0);
  EXPECT_EQ(Value(0), QStringLiteral("Meeting notes"));

  QTest::mouseClick(View().removeButton, Qt::LeftButton);
  EXPECT_EQ(Window().Files().rowCount(), 0);
  // With nothing selected the single tab shows nothing and what needs a file is disabled.
  EXPECT_EQ(EnabledControls(View()), QStringLiteral("addFilesButton addFolderButton"));
  EXPECT_EQ(Values(), (std::array<std::string, 14>{}));
}

TEST_F(FileListTest, RemoveAllEmptiesTheListAndDisablesWhatNeedsIt) {
  AddByDialog({CopyOf("lo-ascii-full.doc", "a.doc"), CopyOf("lo-ja-full.doc", "b.doc")});
  View().removeAllAction->trigger();
  EXPECT_EQ(Window().Files().rowCount(), 0);
  EXPECT_EQ(EnabledControls(View()), QStringLiteral("addFilesButton addFolderButton"));
  // The list can be filled again: paths removed are no longer taken for listed.
  AddByDialog({QString::fromStdString((dir_.Path() / "a.doc").string())});
  EXPECT_EQ(Window().Files().rowCount(), 1);
}

TEST_F(FileListTest, ClearingTheSelectionEmptiesTheSingleTab) {
  AddByDialog({CopyOf("lo-ascii-full.doc", "a.doc")});
  ASSERT_EQ(Value(0), QStringLiteral("Quarterly Report"));
  View().fileList->clearSelection();
  EXPECT_EQ(Values(), (std::array<std::string, 14>{}));
  EXPECT_EQ(
      EnabledControls(View()),
      QStringLiteral("addFilesButton addFolderButton removeAllButton changeAllButton exportAllButton removeAllAction"));
  // The commands that need a selected file check for it themselves.
  QTest::mouseClick(View().removeButton, Qt::LeftButton);
  EXPECT_EQ(Window().Files().rowCount(), 1);
}

// The list's commands from the keyboard: Delete removes only where the file list has the focus
// (in a property list it is left to the editors), Ctrl+O opens the file door.
TEST_F(FileListTest, KeysReachTheListCommands) {
  AddByDialog({CopyOf("lo-ascii-full.doc", "a.doc"), CopyOf("lo-ja-full.doc", "b.doc")});
  View().singleProperties->setFocus();
  QTest::keyClick(View().singleProperties, Qt::Key_Delete);
  EXPECT_EQ(Window().Files().rowCount(), 2);
  View().fileList->setFocus();
  QTest::keyClick(View().fileList, Qt::Key_Delete);
  EXPECT_EQ(Window().Files().rowCount(), 1);
  dialogs_.fileAnswers.push_back(std::nullopt);
  QTest::keyClick(View().fileList, Qt::Key_O, Qt::ControlModifier);
  EXPECT_EQ(dialogs_.filters.size(), 2U) << "the file door was opened";
}

TEST_F(FileListTest, AFolderOfAHundredThousandDocumentsIsListedOnceEach) {
  const std::filesystem::path folder = dir_.Path() / "many";
  std::filesystem::create_directories(folder);
  constexpr int kCount = 100000;
  for (int i = 0; i < kCount; ++i) {
    std::ofstream(folder / ("f" + std::to_string(i) + ".doc"));
  }
  for (int pass = 0; pass < 2; ++pass) {
    dialogs_.folderAnswers.push_back(QString::fromStdString(folder.string()));
    QTest::mouseClick(View().addFolderButton, Qt::LeftButton);
  }
  ASSERT_EQ(Window().Files().rowCount(), kCount);
  // Numbers in names by their value, as a file browser lists them.
  for (const int i : {0, 1, 9, 10, 99, 100, kCount - 1}) {
    EXPECT_EQ(Window().Files().Path(i).toStdString(), (folder / ("f" + std::to_string(i) + ".doc")).string());
  }
  EXPECT_EQ(SelectedFile(), kCount - 1);
}

}  // namespace
}  // namespace kestrel::app::test
