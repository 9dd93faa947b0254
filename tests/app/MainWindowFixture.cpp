#include "tests/app/MainWindowFixture.h"

#include <QAction>
#include <QApplication>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QCheckBox>
#include <QGroupBox>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include <stdexcept>
#include <vector>

#include "app/FileListModel.h"
#include "app/FileListView.h"
#include "app/InPlaceEditors.h"
#include "app/PropertyListView.h"

namespace kestrel::app::test {

void MainWindowFixture::SetUp() { Restart(); }

void MainWindowFixture::Restart() {
  view_.reset();
  windows_.reset();
  windows_ = std::make_unique<ProgramWindows>(dialogs_);
  view_.emplace(windows_->mainWindow);
  Window().show();
  Window().activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&Window()));
}

void MainWindowFixture::TearDown() {
  view_.reset();
  windows_.reset();
  EXPECT_TRUE(dialogs_.fileAnswers.empty()) << "an open-dialog answer was not asked for";
  EXPECT_TRUE(dialogs_.folderAnswers.empty()) << "a folder-dialog answer was not asked for";
  EXPECT_TRUE(dialogs_.saveAnswers.empty()) << "a save-dialog answer was not asked for";
  EXPECT_TRUE(dialogs_.yesNoAnswers.empty()) << "an answer to a question was not asked for";
}

QString MainWindowFixture::CopyOf(const std::string& dataName, const std::string& name) {
  return QString::fromStdString(dir_.Copy(kestrel::test::DataFile(dataName), name).string());
}

void MainWindowFixture::AddByDialog(const QStringList& paths) {
  dialogs_.fileAnswers.push_back(paths);
  QTest::mouseClick(View().addFilesButton, Qt::LeftButton);
}

void MainWindowFixture::Drop(QWidget& target, const QList<QUrl>& urls) {
  QMimeData data;
  data.setUrls(urls);
  const QPointF at(10, 10);
  QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&target, &enter);
  QDragMoveEvent move(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&target, &move);
  QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&target, &drop);
}

void MainWindowFixture::SelectFile(int row) {
  FileListView& list = *View().fileList;
  const QRect cell = list.visualRect(list.model()->index(row, 0));
  QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
}

int MainWindowFixture::SelectedFile() { return View().fileList->SelectedRow(); }

QStringList MainWindowFixture::ListedPaths() {
  QStringList paths;
  for (int row = 0; row < Window().Files().rowCount(); ++row) paths << Window().Files().Path(row);
  return paths;
}

FileStatus MainWindowFixture::StatusOf(int row) { return Window().Files().Status(row); }

QString MainWindowFixture::ToolTipOf(int row) {
  return Window().Files().data(Window().Files().index(row, 0), Qt::ToolTipRole).toString();
}

QString MainWindowFixture::CopyWithUnknownMethod(const std::string& dataName, const std::string& name) {
  const QString path = CopyOf(dataName, name);
  std::vector<std::uint8_t> zip = kestrel::test::ReadBytes(path.toStdString());
  const auto u16 = [&zip](std::size_t at) { return static_cast<std::size_t>(zip.at(at) | (zip.at(at + 1) << 8)); };
  const auto u32 = [&u16](std::size_t at) { return u16(at) | (u16(at + 2) << 16); };
  // The central-directory record of the core part and its local header.
  for (std::size_t at = 0; at + 46 <= zip.size(); ++at) {
    if (u32(at) != 0x02014b50U) continue;
    const std::string stored(zip.begin() + static_cast<std::ptrdiff_t>(at + 46),
                             zip.begin() + static_cast<std::ptrdiff_t>(at + 46 + u16(at + 28)));
    if (stored != "docProps/core.xml") continue;
    const std::size_t local = u32(at + 42);
    zip.at(at + 10) = 99;
    zip.at(at + 11) = 0;
    zip.at(local + 8) = 99;
    zip.at(local + 9) = 0;
    kestrel::test::WriteBytes(path.toStdString(), zip);
    return path;
  }
  throw std::runtime_error("no core part in " + dataName);
}

void MainWindowFixture::Type(QWidget* widget, const QString& text) {
  for (const QChar c : text) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
    QApplication::sendEvent(widget, &release);
  }
}

void MainWindowFixture::ClickValue(int row) {
  PropertyListView& list = *View().singleProperties;
  QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::NoModifier, list.visualRect(list.model()->index(row, 1)).center());
}

void MainWindowFixture::EditText(int row, const QString& text) {
  ClickValue(row);
  View().editors->textEditor->clear();
  Type(View().editors->textEditor, text);
  QTest::keyClick(View().editors->textEditor, Qt::Key_Return);
}

void MainWindowFixture::ClickCaption(int row) {
  PropertyListView& list = *View().singleProperties;
  QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::NoModifier, list.visualRect(list.model()->index(row, 0)).center());
}

QString MainWindowFixture::Value(int row) { return View().singleProperties->Value(row); }

std::array<std::string, catalogue::kRowCount> MainWindowFixture::Values() {
  return View().singleProperties->Values();
}

}  // namespace kestrel::app::test
