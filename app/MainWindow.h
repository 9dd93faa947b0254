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
class HintsDialog;
class AboutDialog;
class BatchChangeDialog;
class CsvExportDialog;

class MainWindow : public QMainWindow {
 public:
  // Runs SetUpContents, which fills the batch tab from the stored presets.
  MainWindow(Dialogs& dialogs, const StatusIcons& icons);
  ~MainWindow() override;
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // The hint window and the about box, created after this window.
  void SetHelpWindows(HintsDialog& hints, AboutDialog& about);
  // The progress dialogs of the batch change and of the CSV export, created after this window.
  void SetProgressDialogs(BatchChangeDialog& batch, CsvExportDialog& csv);

  FileListModel& Files() { return *files_; }

  // Commands (tool buttons, menus, push buttons).
  void AddFiles();
  void AddFolder();
  void RemoveSelectedFile();
  void RemoveAllFiles();
  void ChangeSelectedFile();
  void ExportSelectedFile();
  void SavePreset();
  void LoadPreset();
  void ImportFromSelectedFile();
  void ChangeAllFiles();
  void ExportAllFiles();
  void ShowHints();
  void ShowHintsFromMenu();
  void ShowAbout();
  void ShowHelp();
  void ShowOnlineHelp();
  void ShowHomePage();
  void EmailSupport();
  void CloseEditors();

  // The selection change of the file list.
  void ShowSelectedFile();
  // Files dropped on the file list.
  void FilesDropped(const QStringList& paths);
  // A click on the single tab's property list.
  void EditSingleValueAt(QPoint pointer);
  // A click and a double click on the batch tab's property list.
  void EditBatchValueAt(QPoint pointer);
  void ToggleBatchRowAt(QPoint pointer);

  // Fills singleProperties, the file-time pickers and the attribute boxes of the single tab from
  // the document. When it could not be read (or put back as it was) they are left empty and the
  // outcome says why.
  Outcome ReadDocumentIntoPanel(const QString& path);

  // The controls, public for the tests that drive the window.
  QStatusBar* statusLine = nullptr;
  QWidget* fileSide = nullptr;
  QWidget* fileTools = nullptr;
  QToolButton* addFilesButton = nullptr;
  QToolButton* addFolderButton = nullptr;
  QToolButton* removeButton = nullptr;
  QToolButton* removeAllButton = nullptr;
  FileListView* fileList = nullptr;
  QWidget* tabsGap = nullptr;
  QTabWidget* tabs = nullptr;
  QWidget* singleTab = nullptr;
  QWidget* batchTab = nullptr;

  PropertyListView* singleProperties = nullptr;
  QGroupBox* fileTimesGroup = nullptr;
  QDateEdit* creationDate = nullptr;
  QTimeEdit* creationTime = nullptr;
  QDateEdit* lastWriteDate = nullptr;
  QTimeEdit* lastWriteTime = nullptr;
  QDateEdit* lastAccessDate = nullptr;
  QTimeEdit* lastAccessTime = nullptr;
  QGroupBox* attributesGroup = nullptr;
  QCheckBox* readOnlyBox = nullptr;
  QCheckBox* archiveBox = nullptr;
  QCheckBox* hiddenBox = nullptr;
  QCheckBox* systemBox = nullptr;
  QWidget* singleButtons = nullptr;
  QCheckBox* singleBackupBox = nullptr;
  QPushButton* changeSelectedButton = nullptr;
  QPushButton* exportSelectedButton = nullptr;
  QPushButton* singleHintsButton = nullptr;
  QPushButton* singleCloseButton = nullptr;

  QWidget* presetTools = nullptr;
  QToolButton* savePresetButton = nullptr;
  QToolButton* loadPresetButton = nullptr;
  QToolButton* importFromSelectedButton = nullptr;
  PropertyListView* batchProperties = nullptr;
  QGroupBox* batchFileTimesGroup = nullptr;
  QCheckBox* batchCreationDateBox = nullptr;
  QDateEdit* batchCreationDate = nullptr;
  QCheckBox* batchCreationTimeBox = nullptr;
  QTimeEdit* batchCreationTime = nullptr;
  QCheckBox* batchLastWriteDateBox = nullptr;
  QDateEdit* batchLastWriteDate = nullptr;
  QCheckBox* batchLastWriteTimeBox = nullptr;
  QTimeEdit* batchLastWriteTime = nullptr;
  QCheckBox* batchLastAccessDateBox = nullptr;
  QDateEdit* batchLastAccessDate = nullptr;
  QCheckBox* batchLastAccessTimeBox = nullptr;
  QTimeEdit* batchLastAccessTime = nullptr;
  QGroupBox* batchAttributesGroup = nullptr;
  QCheckBox* batchReadOnlyBox = nullptr;
  QCheckBox* batchArchiveBox = nullptr;
  QCheckBox* batchHiddenBox = nullptr;
  QCheckBox* batchSystemBox = nullptr;
  QWidget* batchButtons = nullptr;
  QCheckBox* batchBackupBox = nullptr;
  QPushButton* changeAllButton = nullptr;
  QPushButton* exportAllButton = nullptr;
  QPushButton* batchHintsButton = nullptr;
  QPushButton* batchCloseButton = nullptr;

  InPlaceEditors* editors = nullptr;

  QMenuBar* mainMenu = nullptr;
  QAction* exitAction = nullptr;
  QAction* helpAction = nullptr;
  QAction* onlineHelpAction = nullptr;
  QAction* hintsAction = nullptr;
  QAction* homePageAction = nullptr;
  QAction* emailSupportAction = nullptr;
  QAction* aboutAction = nullptr;
  QMenu* fileListMenu = nullptr;
  QAction* addFilesAction = nullptr;
  QAction* addFolderAction = nullptr;
  QAction* removeAction = nullptr;
  QAction* removeAllAction = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void SetUpContents();
  void EnableRemoveButtons();

  // Layout (MainWindowLayout.cpp).
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

  // The long runs and the CSV export (MainWindowLongRuns.cpp). SelectFirstFile clears the
  // selection, then selects the first file, which is read again.
  void SelectFirstFile();
  // AskCsvTarget: the CSV file to write, with the default extension, an existing file replaced only
  // when the user agrees. nullopt when the user cancels.
  std::optional<QString> AskCsvTarget();

  Dialogs& dialogs_;
  const StatusIcons& icons_;
  FileListModel* files_ = nullptr;
  HintsDialog* hints_ = nullptr;
  AboutDialog* about_ = nullptr;
  BatchChangeDialog* batchChange_ = nullptr;
  CsvExportDialog* csvExport_ = nullptr;
  bool selectionBusy_ = false;  // the selection change is being handled
  bool longRunBusy_ = false;    // a batch change or CSV export is under way
  ooxml::PackageProperties packages_;
  // The single tab as it was filled from the selected document; nullopt while no document is
  // shown (none selected, or its read failed), when no change may be made.
  std::optional<change::SingleTab> shownSingleTab_;
};

}  // namespace kestrel::app
