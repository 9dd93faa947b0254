#pragma once
// The main window: the file list on the left, the tabs "単一変更" (single change) and "一括変更"
// (batch change) on the right, the menus, the tool buttons and the commands behind them.
//
// The window owns everything that lives longer than one call: both property lists with their
// values, the pickers and boxes of both tabs, the in-place editors, the file list, and the one
// ZIP component and XML document the document services work with. The handlers read like the
// steps of the commands they carry out; the work itself is done by the services.

#include <array>
#include <optional>
#include <utility>

#include <QMainWindow>
#include <QString>

#include "app/FileStatus.h"
#include "catalogue/ChangeChoices.h"
#include "change/ApplyChange.h"
#include "ooxml/PackageProperties.h"
#include "platform/time/FileTime.h"

class QAction;
class QCheckBox;
class QDateEdit;
class QGroupBox;
class QMenu;
class QMenuBar;
class QPushButton;
class QStatusBar;
class QTabWidget;
class QTimeEdit;
class QToolButton;

namespace kestrel::app {

class Dialogs;
class FileListModel;
class FileListView;
class InPlaceEditors;
class PropertyListView;
class StatusIcons;
class TForm4;
class TForm5;
class TForm7;
class TForm9;

class TForm1 : public QMainWindow {
 public:
  // Runs FormCreate, which fills the batch tab from the stored presets.
  TForm1(Dialogs& dialogs, const StatusIcons& icons);
  ~TForm1() override;
  TForm1(const TForm1&) = delete;
  TForm1& operator=(const TForm1&) = delete;

  // The hint window and the about box, created after this window.
  void SetHelpWindows(TForm4& hints, TForm5& about);
  // The progress dialogs of the batch change and of the CSV export, created after this window.
  void SetProgressDialogs(TForm7& batch, TForm9& csv);

  FileListModel& Files() { return *files_; }

  // Commands (tool buttons, menus, push buttons).
  void ToolButton1Click();
  void ToolButton5Click();
  void ToolButton2Click();
  void ToolButton3Click();
  void BitBtn6Click();
  void BitBtn9Click();
  void ToolButton9Click();
  void ToolButton10Click();
  void ToolButton12Click();
  void BitBtn2Click();
  void BitBtn8Click();
  void ShowHints();
  void Showhint1Click();
  void about1Click();
  void help2Click();
  void Helponline1Click();
  void HomepageClick();
  void Emailsupport1Click();
  void CloseEditors();

  // The selection change of the file list.
  void ListView1Change();
  // Files dropped on the file list.
  void FilesDropped(const QStringList& paths);
  // A click on the single tab's property list.
  void ListView3Click(QPoint pointer);
  // A click and a double click on the batch tab's property list.
  void ListView2Click(QPoint pointer);
  void ListView2DblClick(QPoint pointer);

  // Fills ListView3, the file-time pickers and the attribute boxes of the single tab from the
  // document. When it could not be read (or put back as it was) they are left empty and the
  // outcome says why.
  Outcome ReadDocumentIntoPanel(const QString& path);

  // Controls, named as in the window's design.
  QStatusBar* StatusBar1 = nullptr;
  QWidget* Panel9 = nullptr;
  QWidget* ToolBar2 = nullptr;
  QToolButton* ToolButton1 = nullptr;
  QToolButton* ToolButton5 = nullptr;
  QToolButton* ToolButton2 = nullptr;
  QToolButton* ToolButton3 = nullptr;
  FileListView* ListView1 = nullptr;
  QWidget* Panel1 = nullptr;
  QTabWidget* PageControl1 = nullptr;
  QWidget* TabSheet2 = nullptr;
  QWidget* TabSheet1 = nullptr;

  PropertyListView* ListView3 = nullptr;
  QGroupBox* GroupBox3 = nullptr;
  QDateEdit* DateTimePicker9 = nullptr;
  QTimeEdit* DateTimePicker10 = nullptr;
  QDateEdit* DateTimePicker11 = nullptr;
  QTimeEdit* DateTimePicker12 = nullptr;
  QDateEdit* DateTimePicker13 = nullptr;
  QTimeEdit* DateTimePicker14 = nullptr;
  QGroupBox* GroupBox1 = nullptr;
  QCheckBox* CheckBox16 = nullptr;
  QCheckBox* CheckBox17 = nullptr;
  QCheckBox* CheckBox18 = nullptr;
  QCheckBox* CheckBox23 = nullptr;
  QWidget* Panel4 = nullptr;
  QCheckBox* CheckBox5 = nullptr;
  QPushButton* BitBtn6 = nullptr;
  QPushButton* BitBtn9 = nullptr;
  QPushButton* BitBtn5 = nullptr;
  QPushButton* BitBtn7 = nullptr;

  QWidget* ToolBar3 = nullptr;
  QToolButton* ToolButton9 = nullptr;
  QToolButton* ToolButton10 = nullptr;
  QToolButton* ToolButton12 = nullptr;
  PropertyListView* ListView2 = nullptr;
  QGroupBox* GroupBox5 = nullptr;
  QCheckBox* CheckBox9 = nullptr;
  QDateEdit* DateTimePicker1 = nullptr;
  QCheckBox* CheckBox10 = nullptr;
  QTimeEdit* DateTimePicker2 = nullptr;
  QCheckBox* CheckBox11 = nullptr;
  QDateEdit* DateTimePicker3 = nullptr;
  QCheckBox* CheckBox12 = nullptr;
  QTimeEdit* DateTimePicker4 = nullptr;
  QCheckBox* CheckBox13 = nullptr;
  QDateEdit* DateTimePicker5 = nullptr;
  QCheckBox* CheckBox14 = nullptr;
  QTimeEdit* DateTimePicker6 = nullptr;
  QGroupBox* GroupBox2 = nullptr;
  QCheckBox* CheckBox1 = nullptr;
  QCheckBox* CheckBox2 = nullptr;
  QCheckBox* CheckBox3 = nullptr;
  QCheckBox* CheckBox8 = nullptr;
  QWidget* Panel2 = nullptr;
  QCheckBox* CheckBox4 = nullptr;
  QPushButton* BitBtn2 = nullptr;
  QPushButton* BitBtn8 = nullptr;
  QPushButton* BitBtn3 = nullptr;
  QPushButton* BitBtn4 = nullptr;

  InPlaceEditors* editors = nullptr;

  QMenuBar* MainMenu1 = nullptr;
  QAction* Exit1 = nullptr;
  QAction* help2 = nullptr;
  QAction* Helponline1 = nullptr;
  QAction* Showhint1 = nullptr;
  QAction* Homepage1 = nullptr;
  QAction* Emailsupport1 = nullptr;
  QAction* about1 = nullptr;
  QMenu* PopupMenu1 = nullptr;
  QAction* AddFiles1 = nullptr;
  QAction* AddFilesfromfloder1 = nullptr;
  QAction* Remove1 = nullptr;
  QAction* RemoveAll1 = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void FormCreate();
  void FormShow();

  // Layout (TForm1Layout.cpp).
  void BuildWindow();
  QWidget* BuildFileSide();
  QWidget* BuildSingleTab();
  QWidget* BuildBatchTab();
  void BuildMenus();
  void ConnectCommands();

  // The enabling rules.
  void EnableAfterAdding();
  void EnableForSelection(bool fileSelected, bool documentShown);

  // Appends the staged files of a door; when any was appended, selects the last item.
  int AppendStagedFiles();
  void SelectFile(int row);

  // What the tabs hold, as the services take it.
  change::SingleTab SingleTabNow() const;
  std::array<std::pair<QDateEdit*, QTimeEdit*>, 3> SingleTabTimePickers() const;
  // Empties the single tab's rows, pickers and boxes; nothing is shown for a document then.
  void ForgetSingleTab();
  // The icon of a listed file and why, in its tooltip and, while it is selected, the status bar.
  void ShowFileOutcome(int row, FileStatus status, const QString& text);
  catalogue::BatchValues BatchTabValues() const;
  void ShowBatchValues(const catalogue::BatchValues& values);
  void SetFileTimePickers(QDateEdit* date, QTimeEdit* time, time::LocalDateTime value);

  void ShowMessage(const QString& text);

  // The long runs and the CSV export (TForm1LongRuns.cpp). SelectFirstFile clears the selection,
  // then selects the first file, which is read again.
  void SelectFirstFile();
  // SaveDialog1: the CSV file to write, with the default extension, an existing file replaced only
  // when the user agrees. nullopt when the user cancels.
  std::optional<QString> SaveDialog1Execute();

  Dialogs& dialogs_;
  const StatusIcons& icons_;
  FileListModel* files_ = nullptr;
  TForm4* hints_ = nullptr;
  TForm5* about_ = nullptr;
  TForm7* form7_ = nullptr;
  TForm9* form9_ = nullptr;
  bool selectionBusy_ = false;  // the selection change is being handled
  bool longRunBusy_ = false;    // a batch change or CSV export is under way
  ooxml::PackageProperties packages_;
  // The single tab as it was filled from the selected document; nullopt while no document is
  // shown (none selected, or its read failed), when no change may be made.
  std::optional<change::SingleTab> shownSingleTab_;
};

}  // namespace kestrel::app
