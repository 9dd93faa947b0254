#include "app/MainWindow.h"

#include <array>
#include <utility>

#include <QAction>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QStyle>
#include <QTabWidget>

#include "app/ApplicationTitle.h"
#include "app/AttributeBoxes.h"
#include "app/Dialogs.h"
#include "app/FileListModel.h"
#include "app/FileListView.h"
#include "app/FileTimesGroup.h"
#include "app/InPlaceEditors.h"
#include "app/PropertyListView.h"
#include "catalogue/PropertyCatalogue.h"

namespace kestrel::app {

MainWindow::MainWindow(Dialogs& dialogs, const StatusIcons& icons) : dialogs_(dialogs), icons_(icons) {
  BuildWindow();
  SetUpContents();
  ConnectCommands();
}

MainWindow::~MainWindow() = default;

void MainWindow::SetHelpWindows(HintsDialog& hints, AboutDialog& about) {
  hints_ = &hints;
  about_ = &about;
}

void MainWindow::SetProgressDialogs(BatchChangeDialog& batch, CsvExportDialog& csv) {
  batchChange_ = &batch;
  csvExport_ = &csv;
}

void MainWindow::SetUpContents() {
  SetApplicationTitle(QStringLiteral("Kestrelpad"));
  setWindowTitle(ApplicationTitle());
  setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), screen()->availableGeometry()));
  // The editors float inside the batch list until a click moves them.
  editors_ = new InPlaceEditors(*this, *batchProperties_);
  editors_->setObjectName(QStringLiteral("editors"));
  const catalogue::PropertyCatalogue catalogue;
  batchProperties_->FillCatalogueRows(catalogue);
  singleProperties_->FillCatalogueRows(catalogue);
  // Scrolling a property list first closes the editors, so none floats over the wrong row.
  for (PropertyListView* list : {batchProperties_, singleProperties_}) {
    connect(list, &PropertyListView::AboutToScroll, this, [this] { editors_->CloseEditors(); });
  }
  // The stored presets fill the batch tab before the window is shown.
  LoadPreset();
  connect(fileList_, &FileListView::FilesDropped, this, &MainWindow::FilesDropped);
  tabs_->setCurrentIndex(0);
}

void MainWindow::ConnectCommands() {
  const std::array<std::pair<QAction*, void (MainWindow::*)()>, 8> commands = {{
      {addFilesAction_, &MainWindow::AddFiles},
      {addFolderAction_, &MainWindow::AddFolder},
      {removeAction_, &MainWindow::RemoveSelectedFile},
      {removeAllAction_, &MainWindow::RemoveAllFiles},
      {savePresetAction_, &MainWindow::SavePreset},
      {loadPresetAction_, &MainWindow::LoadPreset},
      {importFromSelectedAction_, &MainWindow::ImportFromSelectedFile},
      {changeFromSheetAction_, &MainWindow::ChangeFromSheet},
  }};
  for (const auto& [action, command] : commands) connect(action, &QAction::triggered, this, command);
  connect(fileList_, &QWidget::customContextMenuRequested, this,
          [this](QPoint at) { fileListMenu_->popup(fileList_->viewport()->mapToGlobal(at)); });
  connect(fileList_->selectionModel(), &QItemSelectionModel::selectionChanged, this, &MainWindow::ShowSelectedFile);
  connect(singleProperties_, &PropertyListView::ClickedAt, this, &MainWindow::EditSingleValueAt);
  connect(batchProperties_, &PropertyListView::ClickedAt, this, &MainWindow::EditBatchValueAt);
  connect(batchProperties_, &PropertyListView::DoubleClickedAt, this, &MainWindow::ToggleBatchRowAt);
  connect(changeSelectedButton_, &QPushButton::clicked, this, &MainWindow::ChangeSelectedFile);
  connect(exportSelectedButton_, &QPushButton::clicked, this, &MainWindow::ExportSelectedFile);
  connect(changeAllButton_, &QPushButton::clicked, this, &MainWindow::ChangeAllFiles);
  connect(exportAllButton_, &QPushButton::clicked, this, &MainWindow::ExportAllFiles);
}

void MainWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!event->spontaneous()) EnableRemoveCommands();
}

void MainWindow::EnableRemoveCommands() {
  removeAllAction_->setEnabled(files_->rowCount() > 0);
  removeAction_->setEnabled(fileList_->SelectedRow() >= 0);
}

void MainWindow::CloseEditors() { editors_->CloseEditors(); }

void MainWindow::EnableListCommands(bool enabled) {
  for (QWidget* control : std::initializer_list<QWidget*>{changeAllButton_, exportAllButton_}) {
    control->setEnabled(enabled);
  }
  removeAllAction_->setEnabled(enabled);
}

void MainWindow::EnableAfterAdding() {
  EnableListCommands(true);
  removeAction_->setEnabled(true);
}

void MainWindow::EnableForSelection(bool fileSelected, bool documentShown) {
  // What would write to the selected document, or take its values, needs them read first.
  for (QWidget* control : std::initializer_list<QWidget*>{changeSelectedButton_, exportSelectedButton_, singleTimes_,
                                                          singleAttributes_}) {
    control->setEnabled(documentShown);
  }
  importFromSelectedAction_->setEnabled(documentShown);
  removeAction_->setEnabled(fileSelected);
  if (fileSelected) EnableListCommands(true);
}

void MainWindow::ShowMessage(const QString& text) { dialogs_.ShowMessage(this, text, ApplicationTitle()); }

}  // namespace kestrel::app
