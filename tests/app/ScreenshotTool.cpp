// Screenshots of the program as a user sees it, for looking at the layout: the main window with
// the given documents listed (the last one selected), each in-place editor open (the text editor
// also with a comment of several lines), the batch tab
// filled (and with its date editor open), both progress dialogs halfway through their runs, the
// window after the batch run with the tooltip of a document that failed, the hint window and the
// about box. The program has no command line, so this separate tool drives
// the same windows; scripts/screenshots.sh runs it under Xvfb. The batch run changes the
// documents, so give it copies. The settings go to a temporary folder, never the user's own.
//
// usage: kestrelpad_screenshots OUTPUT_FOLDER DOCUMENT...
#include <cstdio>

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QGuiApplication>
#include <QScreen>
#include <QLabel>
#include <QSettings>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolTip>

#include "app/Dialogs.h"
#include "app/FileListModel.h"
#include "app/FileListView.h"
#include "app/InPlaceEditors.h"
#include "app/ProgramWindows.h"
#include "app/ProgramSetup.h"
#include "app/PropertyListView.h"
#include "app/dialogs/ProgressDialog.h"
#include "tests/app/MainWindowView.h"

namespace {

using kestrel::app::PropertyListView;

void Save(QWidget& window, const QString& folder, const char* name) {
  QApplication::processEvents();
  const QString file = QDir(folder).filePath(QString::fromLatin1(name));
  if (!window.grab().save(file)) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
  } else {
    std::printf("%s\n", qPrintable(file));
  }
}

// Answers the open dialog with the documents and the save dialog with a file of the temporary
// folder, and photographs the modal windows instead of waiting for the user to close them: a
// progress dialog when its run is halfway.
class PhotographingDialogs final : public kestrel::app::Dialogs {
 public:
  PhotographingDialogs(QString folder, QStringList documents, QString csvFile)
      : folder_(std::move(folder)), documents_(std::move(documents)), csvFile_(std::move(csvFile)) {}

  std::optional<QStringList> ChooseFiles(QWidget*, const QString&) override { return documents_; }
  std::optional<QString> ChooseFolder(QWidget*, const QString&) override { return std::nullopt; }
  std::optional<QString> ChooseSaveFile(QWidget*, const QString&) override { return csvFile_; }
  void ShowMessage(QWidget*, const QString& text, const QString&) override {
    std::fprintf(stderr, "message: %s\n", qPrintable(text));
  }
  bool AskYesNo(QWidget*, const QString&, const QString&) override { return true; }
  void ShowModal(QDialog& dialog) override {
    if (auto* progress = dynamic_cast<kestrel::app::ProgressDialog*>(&dialog)) {
      PhotographHalfway(*progress);
      return;
    }
    dialog.show();
    if (!QTest::qWaitForWindowExposed(&dialog)) std::fprintf(stderr, "%s was not shown\n", qPrintable(dialog.windowTitle()));
    Save(dialog, folder_, dialog.windowTitle() == QStringLiteral("ヘルプヒント") ? "hint.png" : "about.png");
    dialog.hide();
  }
  bool OpenWithDefaultHandler(const QUrl&) override { return true; }

 private:
  // The run lets pending events through between its steps; a zero timer looks in each time.
  void PhotographHalfway(kestrel::app::ProgressDialog& dialog) {
    QTimer look;
    look.setInterval(0);
    const char* name = dialog.windowTitle() == QStringLiteral("変更中...") ? "progress-batch.png" : "progress-csv.png";
    QObject::connect(&look, &QTimer::timeout, [&] {
      if (dialog.isVisible() && dialog.percentLabel->text() == QStringLiteral("50%")) {
        look.stop();
        Save(dialog, folder_, name);
      }
    });
    look.start();
    dialog.exec();
    if (look.isActive()) std::fprintf(stderr, "%s: the run never showed 50%%\n", name);
  }

  QString folder_;
  QStringList documents_;
  QString csvFile_;
};

// The tooltip of the first listed file that failed, photographed with the window beneath it (a
// tooltip is a window of its own, so the screen is grabbed).
void ShowFailureTooltip(kestrel::app::MainWindow& window, const QString& folder) {
  kestrel::app::FileListModel& files = window.Files();
  const kestrel::app::test::MainWindowView view(window);
  for (int row = 0; row < files.rowCount(); ++row) {
    if (files.Status(row) != kestrel::app::FileStatus::ChangeError) continue;
    QWidget* viewport = view.fileList->viewport();
    const QPoint at = viewport->mapToGlobal(view.fileList->visualRect(files.index(row, 0)).center());
    QToolTip::showText(at, files.data(files.index(row, 0), Qt::ToolTipRole).toString(), viewport);
    QTest::qWait(300);
    const QRect frame = window.frameGeometry();
    const QString file = QDir(folder).filePath(QStringLiteral("tooltip.png"));
    if (QGuiApplication::primaryScreen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height()).save(file)) {
      std::printf("%s\n", qPrintable(file));
    }
    QToolTip::hideText();
    return;
  }
  std::fprintf(stderr, "no document failed, so there is no tooltip to show\n");
}

void ClickValue(PropertyListView& list, int row) {
  QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::NoModifier, list.visualRect(list.model()->index(row, 1)).center());
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  if (argc < 3) {
    std::fprintf(stderr, "usage: kestrelpad_screenshots OUTPUT_FOLDER DOCUMENT...\n");
    return 2;
  }
  kestrel::app::SetUpProgram(application);
  const QString folder = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(folder);
  QStringList documents;
  for (int i = 2; i < argc; ++i) documents << QDir(QString::fromLocal8Bit(argv[i])).absolutePath();

  const QTemporaryDir scratch;
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, scratch.filePath(QStringLiteral("settings")));
  PhotographingDialogs dialogs(folder, documents, scratch.filePath(QStringLiteral("list.CSV")));
  kestrel::app::ProgramWindows windows(dialogs);
  kestrel::app::MainWindow& window = windows.mainWindow;
  const kestrel::app::test::MainWindowView view(window);
  // A screen smaller than the window (a large scale) gets it as a user would: as large as it fits.
  window.resize(window.size().boundedTo(window.screen()->availableGeometry().size()));
  window.show();
  window.activateWindow();
  if (!QTest::qWaitForWindowActive(&window)) std::fprintf(stderr, "the main window did not become active\n");
  window.AddFiles();
  Save(window, folder, "single.png");

  PropertyListView& list = *view.singleProperties;
  ClickValue(list, 0);
  Save(window, folder, "editor-text.png");
  ClickValue(list, 13);
  Save(window, folder, "editor-date.png");
  ClickValue(list, 12);
  Save(window, folder, "editor-number.png");
  // A comment of several lines opens in a taller editor that keeps its line breaks.
  list.SetValue(4, QStringLiteral("月次の売上をまとめた報告書です。\n第2四半期の数字を反映済み。\n確認: 鈴木"));
  ClickValue(list, 4);
  Save(window, folder, "editor-multiline.png");
  window.CloseEditors();
  // What the document stores beyond the 14 rows, on the page beside them.
  auto* pages = window.findChild<QTabWidget*>(QStringLiteral("propertyPages"));
  if (pages != nullptr) {
    pages->setCurrentIndex(1);
    Save(window, folder, "single-other.png");
    pages->setCurrentIndex(0);
  }

  // The batch tab as a user prepares it: the selected file's values, some rows and boxes chosen.
  view.tabs->setCurrentIndex(1);
  window.ImportFromSelectedFile();
  PropertyListView& batch = *view.batchProperties;
  for (const int row : {0, 2, 9, 11, 13}) batch.SetIncluded(row, true);
  view.batchCreationDateBox->setChecked(false);
  view.batchLastAccessTimeBox->setChecked(false);
  view.batchReadOnlyBox->setCheckState(Qt::Checked);
  view.batchHiddenBox->setCheckState(Qt::Unchecked);
  view.batchBackupBox->setChecked(true);
  Save(window, folder, "batch.png");
  ClickValue(batch, 13);
  Save(window, folder, "batch-editor.png");
  window.CloseEditors();

  // After the run: the counts in the status bar, and why a document failed in its tooltip.
  window.ChangeAllFiles();
  Save(window, folder, "batch-done.png");
  ShowFailureTooltip(window, folder);
  window.ExportAllFiles();
  view.tabs->setCurrentIndex(0);
  window.ShowHintsFromMenu();
  window.ShowAbout();
  return 0;
}
