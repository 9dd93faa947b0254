// The real main window, offscreen, over every document of one folder: listed through
// "フォルダからファイル追加", then either the batch change ("変更" on the batch tab: two properties)
// or the batch CSV export ("CSV出力"), each under its progress dialog. Prints the resident and
// peak resident memory (VmRSS, VmHWM) after start-up, after listing and after the run, so that
// bench/gui_memory.py can tell what a document costs. The presets live in a temporary folder.
//
// usage: gui_memory_bench batch|export FOLDER CSV_FILE
#include <cstdio>
#include <fstream>
#include <string>

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>

#include "app/Dialogs.h"
#include "app/FileListModel.h"
#include "app/ProgramWindows.h"
#include "app/ProgramSetup.h"
#include "app/PropertyListView.h"
#include "app/dialogs/ProgressDialog.h"

namespace {

// The folder and save dialogs answered, the progress dialogs run, everything else only printed.
class BenchDialogs final : public kestrel::app::Dialogs {
 public:
  BenchDialogs(QString folder, QString csvFile) : folder_(std::move(folder)), csvFile_(std::move(csvFile)) {}

  std::optional<QStringList> ChooseFiles(QWidget*, const QString&) override { return std::nullopt; }
  std::optional<QString> ChooseFolder(QWidget*, const QString&) override { return folder_; }
  std::optional<QString> ChooseSaveFile(QWidget*, const QString&) override { return csvFile_; }
  void ShowMessage(QWidget*, const QString& text, const QString&) override {
    std::fprintf(stderr, "message: %s\n", qPrintable(text));
  }
  bool AskYesNo(QWidget*, const QString&, const QString&) override { return true; }
  void ShowModal(QDialog& dialog) override {
    if (dynamic_cast<kestrel::app::ProgressDialog*>(&dialog) != nullptr) dialog.exec();
  }
  void OpenWithDefaultHandler(const QUrl&) override {}

 private:
  QString folder_;
  QString csvFile_;
};

// "VmRSS" and "VmHWM" of /proc/self/status, in KiB.
void Report(const char* moment) {
  std::ifstream status("/proc/self/status");
  std::string line;
  long rss = -1;
  long peak = -1;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) rss = std::stol(line.substr(6));
    if (line.rfind("VmHWM:", 0) == 0) peak = std::stol(line.substr(6));
  }
  std::printf("%-8s rss_kib=%ld peak_kib=%ld\n", moment, rss, peak);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  const QStringList arguments = QApplication::arguments();
  if (arguments.size() != 4 || (arguments[1] != QStringLiteral("batch") && arguments[1] != QStringLiteral("export"))) {
    std::fprintf(stderr, "usage: gui_memory_bench batch|export FOLDER CSV_FILE\n");
    return 2;
  }
  kestrel::app::SetUpProgram(application);
  const QTemporaryDir settings;
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());

  BenchDialogs dialogs(arguments[2], arguments[3]);
  kestrel::app::ProgramWindows windows(dialogs);
  kestrel::app::MainWindow& window = windows.mainWindow;
  window.show();
  QApplication::processEvents();
  Report("started");

  window.AddFolder();
  const kestrel::app::FileListModel& files = window.Files();
  std::printf("listed %d documents\n", files.rowCount());
  Report("listed");

  if (arguments[1] == QStringLiteral("batch")) {
    // The batch tab's list, found by its object name.
    auto& batch = *window.findChild<kestrel::app::PropertyListView*>(QStringLiteral("batchProperties"));
    batch.SetValue(0, QStringLiteral("ベンチマークの題名"));
    batch.SetIncluded(0, true);
    batch.SetValue(2, QStringLiteral("ベンチマーク"));
    batch.SetIncluded(2, true);
    window.ChangeAllFiles();
  } else {
    window.ExportAllFiles();
  }
  int changed = 0;
  for (int row = 0; row < files.rowCount(); ++row) changed += files.Status(row) == kestrel::app::FileStatus::Changed;
  std::printf("changed %d documents\n", changed);
  Report("after");
  return 0;
}
