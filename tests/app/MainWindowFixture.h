#pragma once
// The five windows of the program with scripted dialogs, the main window shown and active, in
// the time zone Asia/Tokyo, with a fresh folder for documents and a fresh configuration folder
// for the user's settings (the stored presets), empty at start.

#include <filesystem>
#include <memory>
#include <optional>

#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include "app/ProgramWindows.h"
#include "tests/app/MainWindowView.h"
#include "tests/app/ScopedSettingsFolder.h"
#include "tests/app/ScriptedDialogs.h"
#include "tests/support/TestSupport.h"

namespace kestrel::app::test {

class MainWindowFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  MainWindow& Window() { return windows_->mainWindow; }
  MainWindowView& View() { return *view_; }
  ProgramWindows& Windows() { return *windows_; }

  // A writable copy of a test document in the fresh folder.
  QString CopyOf(const std::string& dataName, const std::string& name = {});
  // CopyOf a package whose core part is marked as compressed with a method no reader knows (99).
  QString CopyWithUnknownMethod(const std::string& dataName, const std::string& name = {});
  // The given files through the open dialog ("ファイル追加").
  void AddByDialog(const QStringList& paths);
  // A drop of local files (and any other URLs) on `target`'s viewport.
  void Drop(QWidget& target, const QList<QUrl>& urls);
  void SelectFile(int row);
  int SelectedFile();
  QStringList ListedPaths();
  FileStatus StatusOf(int row);
  // What the file list tells of a file: its path, then what became of it and why.
  QString ToolTipOf(int row);

  // Key presses typing `text` (any characters, not only those of a keyboard's keys).
  static void Type(QWidget* widget, const QString& text);

  // A left click in the middle of a row's value cell (or of its caption cell) of the single list.
  void ClickValue(int row);
  // Types into the row's text editor and confirms with Enter.
  void EditText(int row, const QString& text);
  void ClickCaption(int row);
  QString Value(int row);
  // The row values as the list shows them.
  std::array<std::string, catalogue::kRowCount> Values();

  // Ends the program and starts it again, with the same settings and no file listed.
  void Restart();

  kestrel::test::ScopedTimeZone timeZone_{"Asia/Tokyo"};
  kestrel::test::TempDir dir_;
  ScopedSettingsFolder settings_;
  ScriptedDialogs dialogs_;
  std::unique_ptr<ProgramWindows> windows_;
  std::optional<MainWindowView> view_;
};

}  // namespace kestrel::app::test
