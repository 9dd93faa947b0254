#pragma once
// The main window: the file list on the left, the tabs "単一変更" (single change) and "一括変更"
// (batch change) on the right, the menus, the tool buttons and the commands behind them.
//
// The window owns everything that lives longer than one call: both property lists with their
// values, the pickers and boxes of both tabs, the in-place editors, the file list, and the one
// ZIP component and XML document the document services work with. The handlers read like the
// steps of the commands they carry out; the work itself is done by the services.

#include <optional>

#include <QMainWindow>
#include <QString>

#include "app/FileStatus.h"
#include "catalogue/ChangeChoices.h"
#include "change/ApplyChange.h"
#include "ooxml/PackageProperties.h"

class QAction;
class QCheckBox;
class QMenu;
class QPushButton;
class QStatusBar;
class QTabWidget;

namespace kestrel::app {

class AttributeBoxes;
class Dialogs;
class FileTimesGroup;
class FileListModel;
class FileListView;
class InPlaceEditors;
class OtherPropertiesPanel;
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
  void RemovePersonalInformation();
  void ChangeFromSheet();
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

  // Fills the property list, the file-time pickers and the attribute boxes of the single tab from
  // the document. When it could not be read (or put back as it was) they are left empty and the
  // outcome says why.
  Outcome ReadDocumentIntoPanel(const QString& path);

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void SetUpContents();
  void EnableRemoveCommands();

  // Layout (MainWindowLayout.cpp).
  void BuildWindow();
  void BuildCommands();
  QWidget* BuildFileSide();
  QWidget* BuildSingleTab();
  QWidget* BuildBatchTab();
  // The backup box above the buttons "変更", "CSV出力", "ヒント" and "終了" of a tab ("single" or
  // "batch", which begins the names of the box and the last two buttons); the last two are
  // connected here.
  struct TabButtons {
    QWidget* panel;
    QCheckBox* backup;
    QPushButton* change;
    QPushButton* exportCsv;
  };
  TabButtons BuildTabButtons(QWidget* tab, const char* tabName, const char* changeName, const char* exportName);
  void BuildMenus();
  void ConnectCommands();

  // The enabling rules.
  void EnableAfterAdding();
  void EnableForSelection(bool fileSelected, bool documentShown);
  // What needs a listed file: remove all, and the batch change and CSV export of every file.
  void EnableListCommands(bool enabled);

  // Appends the staged files of a door; when any was appended, selects the last item.
  int AppendStagedFiles();
  void SelectFile(int row);

  // What the tabs hold, as the services take it.
  change::SingleTab SingleTabNow() const;
  // Empties the single tab's rows, pickers and boxes; nothing is shown for a document then.
  void ForgetSingleTab();
  // The icon of a listed file and why, in its tooltip and, while it is selected, the status bar.
  void ShowFileOutcome(int row, FileStatus status, const QString& text);
  catalogue::BatchValues BatchTabValues() const;
  void ShowBatchValues(const catalogue::BatchValues& values);

  void ShowMessage(const QString& text);

  // The long runs and the CSV export (MainWindowLongRuns.cpp). SelectFirstFile clears the
  // selection, then selects the first file, which is read again.
  void SelectFirstFile();
  // The batch change of every listed file (or of `rows`, each with its own request) under the
  // progress dialog, then its counts.
  void RunBatch(const change::ChangeRequest& request, bool backup, std::vector<int> rows = {},
                std::vector<change::ChangeRequest> requests = {});
  // AskCsvTarget: the CSV file to write, with the default extension, an existing file replaced only
  // when the user agrees. nullopt when the user cancels.
  std::optional<QString> AskCsvTarget();

  // The controls that change at run time. Each carries an object name of its own (the group boxes
  // "fileTimesGroup", "attributesGroup" and their batch twins, the others their member's name),
  // by which the tests find them.
  QStatusBar* statusLine_ = nullptr;
  FileListView* fileList_ = nullptr;
  QMenu* fileListMenu_ = nullptr;
  QTabWidget* tabs_ = nullptr;
  PropertyListView* singleProperties_ = nullptr;
  OtherPropertiesPanel* singleOthers_ = nullptr;
  FileTimesGroup* singleTimes_ = nullptr;
  AttributeBoxes* singleAttributes_ = nullptr;
  QCheckBox* singleBackupBox_ = nullptr;
  QPushButton* changeSelectedButton_ = nullptr;
  QPushButton* exportSelectedButton_ = nullptr;
  PropertyListView* batchProperties_ = nullptr;
  OtherPropertiesPanel* batchOthers_ = nullptr;
  FileTimesGroup* batchTimes_ = nullptr;
  AttributeBoxes* batchAttributes_ = nullptr;
  QCheckBox* batchBackupBox_ = nullptr;
  QPushButton* changeAllButton_ = nullptr;
  QPushButton* exportAllButton_ = nullptr;
  InPlaceEditors* editors_ = nullptr;

  // The commands of the tool buttons, each shared with its menu items.
  QAction* addFilesAction_ = nullptr;
  QAction* addFolderAction_ = nullptr;
  QAction* removeAction_ = nullptr;
  QAction* removeAllAction_ = nullptr;
  QAction* savePresetAction_ = nullptr;
  QAction* loadPresetAction_ = nullptr;
  QAction* importFromSelectedAction_ = nullptr;
  QAction* changeFromSheetAction_ = nullptr;

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
