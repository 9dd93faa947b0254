#include "app/MainWindow.h"

#include <QAction>
#include <QGroupBox>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QStyle>
#include <QTabWidget>
#include <QToolButton>

#include "app/ApplicationTitle.h"
#include "app/Dialogs.h"
#include "app/FileListModel.h"
#include "app/FileListView.h"
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
  editors = new InPlaceEditors(*this, *batchProperties);
  const catalogue::PropertyCatalogue catalogue;
  batchProperties->FillCatalogueRows(catalogue);
  singleProperties->FillCatalogueRows(catalogue);
  // Scrolling a property list first closes the editors, so none floats over the wrong row.
  for (PropertyListView* list : {batchProperties, singleProperties}) {
    connect(list, &PropertyListView::AboutToScroll, this, [this] { editors->CloseEditors(); });
  }
  // The stored presets fill the batch tab before the window is shown.
  LoadPreset();
  connect(fileList, &FileListView::FilesDropped, this, &MainWindow::FilesDropped);
  tabs->setCurrentIndex(0);
  // The package component reports an entry it cannot decode; the user sees it here.
  packages_.SetOnMessage([this](const std::string& message, const std::string& title) {
    dialogs_.ShowMessage(this, QString::fromStdString(message), QString::fromStdString(title));
  });
}

void MainWindow::ConnectCommands() {
  connect(addFilesButton, &QToolButton::clicked, this, &MainWindow::AddFiles);
  connect(addFolderButton, &QToolButton::clicked, this, &MainWindow::AddFolder);
  connect(removeButton, &QToolButton::clicked, this, &MainWindow::RemoveSelectedFile);
  connect(removeAllButton, &QToolButton::clicked, this, &MainWindow::RemoveAllFiles);
  connect(addFilesAction, &QAction::triggered, this, &MainWindow::AddFiles);
  connect(addFolderAction, &QAction::triggered, this, &MainWindow::AddFolder);
  connect(removeAction, &QAction::triggered, this, &MainWindow::RemoveSelectedFile);
  connect(removeAllAction, &QAction::triggered, this, &MainWindow::RemoveAllFiles);
  connect(fileList, &QWidget::customContextMenuRequested, this,
          [this](QPoint at) { fileListMenu->popup(fileList->viewport()->mapToGlobal(at)); });
  connect(fileList->selectionModel(), &QItemSelectionModel::selectionChanged, this, &MainWindow::ShowSelectedFile);
  connect(singleProperties, &PropertyListView::ClickedAt, this, &MainWindow::EditSingleValueAt);
  connect(batchProperties, &PropertyListView::ClickedAt, this, &MainWindow::EditBatchValueAt);
  connect(batchProperties, &PropertyListView::DoubleClickedAt, this, &MainWindow::ToggleBatchRowAt);
  connect(savePresetButton, &QToolButton::clicked, this, &MainWindow::SavePreset);
  connect(loadPresetButton, &QToolButton::clicked, this, &MainWindow::LoadPreset);
  connect(importFromSelectedButton, &QToolButton::clicked, this, &MainWindow::ImportFromSelectedFile);

  connect(changeSelectedButton, &QPushButton::clicked, this, &MainWindow::ChangeSelectedFile);
  connect(exportSelectedButton, &QPushButton::clicked, this, &MainWindow::ExportSelectedFile);
  connect(changeAllButton, &QPushButton::clicked, this, &MainWindow::ChangeAllFiles);
  connect(exportAllButton, &QPushButton::clicked, this, &MainWindow::ExportAllFiles);
  for (QPushButton* hint : {singleHintsButton, batchHintsButton})
    connect(hint, &QPushButton::clicked, this, &MainWindow::ShowHints);
  // Closing asks nothing and saves nothing.
  for (QPushButton* exit : {singleCloseButton, batchCloseButton})
    connect(exit, &QPushButton::clicked, this, &QWidget::close);
  connect(exitAction, &QAction::triggered, this, &QWidget::close);

  connect(helpAction, &QAction::triggered, this, &MainWindow::ShowHelp);
  connect(onlineHelpAction, &QAction::triggered, this, &MainWindow::ShowOnlineHelp);
  connect(homePageAction, &QAction::triggered, this, &MainWindow::ShowHomePage);
  connect(emailSupportAction, &QAction::triggered, this, &MainWindow::EmailSupport);
  connect(hintsAction, &QAction::triggered, this, &MainWindow::ShowHintsFromMenu);
  connect(aboutAction, &QAction::triggered, this, &MainWindow::ShowAbout);
}

void MainWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!event->spontaneous()) EnableRemoveButtons();
}

void MainWindow::EnableRemoveButtons() {
  removeAllButton->setEnabled(files_->rowCount() > 0);
  removeButton->setEnabled(fileList->SelectedRow() >= 0);
}

void MainWindow::CloseEditors() { editors->CloseEditors(); }

void MainWindow::EnableAfterAdding() {
  for (QWidget* control :
       std::initializer_list<QWidget*>{removeButton, removeAllButton, changeAllButton, exportAllButton}) {
    control->setEnabled(true);
  }
  removeAllAction->setEnabled(true);
}

void MainWindow::EnableForSelection(bool fileSelected, bool documentShown) {
  // What would write to the selected document, or take its values, needs them read first.
  for (QWidget* control : std::initializer_list<QWidget*>{changeSelectedButton, exportSelectedButton, fileTimesGroup,
                                                          attributesGroup, importFromSelectedButton}) {
    control->setEnabled(documentShown);
  }
  removeButton->setEnabled(fileSelected);
  removeAction->setEnabled(fileSelected);
  if (fileSelected) {
    changeAllButton->setEnabled(true);
    exportAllButton->setEnabled(true);
  }
}

void MainWindow::ShowMessage(const QString& text) { dialogs_.ShowMessage(this, text, ApplicationTitle()); }

}  // namespace kestrel::app
