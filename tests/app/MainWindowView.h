#pragma once
// The main window's controls as the tests drive them, found by the object names they carry.

#include <QString>

#include "app/MainWindow.h"

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
class FileListView;
class InPlaceEditors;
class PropertyListView;
}  // namespace kestrel::app

namespace kestrel::app::test {

struct MainWindowView {
  // Stops the program at a control the window does not carry.
  explicit MainWindowView(MainWindow& window);

  QStatusBar* statusLine;
  QMenuBar* mainMenu;
  QMenu* fileListMenu;
  QAction* addFilesAction;
  QAction* addFolderAction;
  QAction* removeAction;
  QAction* removeAllAction;
  QAction* helpAction;
  QAction* onlineHelpAction;
  QAction* hintsAction;
  QAction* homePageAction;
  QAction* emailSupportAction;
  QAction* aboutAction;
  QToolButton* addFilesButton;
  QToolButton* addFolderButton;
  QToolButton* removeButton;
  QToolButton* removeAllButton;
  QToolButton* savePresetButton;
  QToolButton* loadPresetButton;
  QToolButton* importFromSelectedButton;
  FileListView* fileList;
  QTabWidget* tabs;
  InPlaceEditors* editors;

  PropertyListView* singleProperties;
  QGroupBox* fileTimesGroup;
  QDateEdit* creationDate;
  QTimeEdit* creationTime;
  QDateEdit* lastWriteDate;
  QTimeEdit* lastWriteTime;
  QDateEdit* lastAccessDate;
  QTimeEdit* lastAccessTime;
  QGroupBox* attributesGroup;
  QCheckBox* readOnlyBox;
  QCheckBox* archiveBox;
  QCheckBox* hiddenBox;
  QCheckBox* systemBox;
  QCheckBox* singleBackupBox;
  QPushButton* changeSelectedButton;
  QPushButton* exportSelectedButton;
  QPushButton* singleHintsButton;

  PropertyListView* batchProperties;
  QCheckBox* batchCreationDateBox;
  QDateEdit* batchCreationDate;
  QCheckBox* batchCreationTimeBox;
  QTimeEdit* batchCreationTime;
  QCheckBox* batchLastWriteDateBox;
  QDateEdit* batchLastWriteDate;
  QCheckBox* batchLastWriteTimeBox;
  QTimeEdit* batchLastWriteTime;
  QCheckBox* batchLastAccessDateBox;
  QDateEdit* batchLastAccessDate;
  QCheckBox* batchLastAccessTimeBox;
  QTimeEdit* batchLastAccessTime;
  QCheckBox* batchReadOnlyBox;
  QCheckBox* batchArchiveBox;
  QCheckBox* batchHiddenBox;
  QCheckBox* batchSystemBox;
  QCheckBox* batchBackupBox;
  QPushButton* changeAllButton;
  QPushButton* exportAllButton;
  QPushButton* batchHintsButton;
};

// The enabling state of the controls that change at run time, by name, for messages.
QString EnabledControls(const MainWindowView& window);

}  // namespace kestrel::app::test
