#include "tests/app/MainWindowView.h"

#include <QAction>
#include <QCheckBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimeEdit>
#include <QToolButton>

#include "app/FileListView.h"
#include "app/InPlaceEditors.h"
#include "app/PropertyListView.h"

namespace kestrel::app::test {
namespace {

template <typename Control>
Control* Find(MainWindow& window, const char* name) {
  // Looked up as a QObject: some of the window's classes have no meta-object of their own to cast by.
  auto* control = static_cast<Control*>(window.findChild<QObject*>(QString::fromLatin1(name)));
  if (control == nullptr) qFatal("the window has no control named %s", name);
  return control;
}

}  // namespace

MainWindowView::MainWindowView(MainWindow& window)
    : statusLine(Find<QStatusBar>(window, "statusLine")),
      mainMenu(Find<QMenuBar>(window, "mainMenu")),
      fileListMenu(Find<QMenu>(window, "fileListMenu")),
      addFilesAction(Find<QAction>(window, "addFilesAction")),
      addFolderAction(Find<QAction>(window, "addFolderAction")),
      removeAction(Find<QAction>(window, "removeAction")),
      removeAllAction(Find<QAction>(window, "removeAllAction")),
      helpAction(Find<QAction>(window, "helpAction")),
      onlineHelpAction(Find<QAction>(window, "onlineHelpAction")),
      hintsAction(Find<QAction>(window, "hintsAction")),
      homePageAction(Find<QAction>(window, "homePageAction")),
      emailSupportAction(Find<QAction>(window, "emailSupportAction")),
      aboutAction(Find<QAction>(window, "aboutAction")),
      addFilesButton(Find<QToolButton>(window, "addFilesButton")),
      addFolderButton(Find<QToolButton>(window, "addFolderButton")),
      removeButton(Find<QToolButton>(window, "removeButton")),
      removeAllButton(Find<QToolButton>(window, "removeAllButton")),
      savePresetButton(Find<QToolButton>(window, "savePresetButton")),
      loadPresetButton(Find<QToolButton>(window, "loadPresetButton")),
      importFromSelectedButton(Find<QToolButton>(window, "importFromSelectedButton")),
      fileList(Find<FileListView>(window, "fileList")),
      tabs(Find<QTabWidget>(window, "tabs")),
      editors(Find<InPlaceEditors>(window, "editors")),
      singleProperties(Find<PropertyListView>(window, "singleProperties")),
      fileTimesGroup(Find<QGroupBox>(window, "fileTimesGroup")),
      creationDate(Find<QDateEdit>(window, "creationDate")),
      creationTime(Find<QTimeEdit>(window, "creationTime")),
      lastWriteDate(Find<QDateEdit>(window, "lastWriteDate")),
      lastWriteTime(Find<QTimeEdit>(window, "lastWriteTime")),
      lastAccessDate(Find<QDateEdit>(window, "lastAccessDate")),
      lastAccessTime(Find<QTimeEdit>(window, "lastAccessTime")),
      attributesGroup(Find<QGroupBox>(window, "attributesGroup")),
      readOnlyBox(Find<QCheckBox>(window, "readOnlyBox")),
      archiveBox(Find<QCheckBox>(window, "archiveBox")),
      hiddenBox(Find<QCheckBox>(window, "hiddenBox")),
      systemBox(Find<QCheckBox>(window, "systemBox")),
      singleBackupBox(Find<QCheckBox>(window, "singleBackupBox")),
      changeSelectedButton(Find<QPushButton>(window, "changeSelectedButton")),
      exportSelectedButton(Find<QPushButton>(window, "exportSelectedButton")),
      singleHintsButton(Find<QPushButton>(window, "singleHintsButton")),
      batchProperties(Find<PropertyListView>(window, "batchProperties")),
      batchCreationDateBox(Find<QCheckBox>(window, "batchCreationDateBox")),
      batchCreationDate(Find<QDateEdit>(window, "batchCreationDate")),
      batchCreationTimeBox(Find<QCheckBox>(window, "batchCreationTimeBox")),
      batchCreationTime(Find<QTimeEdit>(window, "batchCreationTime")),
      batchLastWriteDateBox(Find<QCheckBox>(window, "batchLastWriteDateBox")),
      batchLastWriteDate(Find<QDateEdit>(window, "batchLastWriteDate")),
      batchLastWriteTimeBox(Find<QCheckBox>(window, "batchLastWriteTimeBox")),
      batchLastWriteTime(Find<QTimeEdit>(window, "batchLastWriteTime")),
      batchLastAccessDateBox(Find<QCheckBox>(window, "batchLastAccessDateBox")),
      batchLastAccessDate(Find<QDateEdit>(window, "batchLastAccessDate")),
      batchLastAccessTimeBox(Find<QCheckBox>(window, "batchLastAccessTimeBox")),
      batchLastAccessTime(Find<QTimeEdit>(window, "batchLastAccessTime")),
      batchReadOnlyBox(Find<QCheckBox>(window, "batchReadOnlyBox")),
      batchArchiveBox(Find<QCheckBox>(window, "batchArchiveBox")),
      batchHiddenBox(Find<QCheckBox>(window, "batchHiddenBox")),
      batchSystemBox(Find<QCheckBox>(window, "batchSystemBox")),
      batchBackupBox(Find<QCheckBox>(window, "batchBackupBox")),
      changeAllButton(Find<QPushButton>(window, "changeAllButton")),
      exportAllButton(Find<QPushButton>(window, "exportAllButton")),
      batchHintsButton(Find<QPushButton>(window, "batchHintsButton")) {}

QString EnabledControls(const MainWindowView& window) {
  QStringList enabled;
  for (QWidget* control : std::initializer_list<QWidget*>{
           window.addFilesButton, window.addFolderButton, window.removeButton, window.removeAllButton,
           window.changeAllButton, window.exportAllButton, window.changeSelectedButton, window.exportSelectedButton,
           window.importFromSelectedButton, window.fileTimesGroup, window.attributesGroup}) {
    if (control->isEnabled()) enabled << control->objectName();
  }
  for (QAction* action : {window.removeAction, window.removeAllAction}) {
    if (action->isEnabled()) enabled << action->objectName();
  }
  return enabled.join(u' ');
}

}  // namespace kestrel::app::test
