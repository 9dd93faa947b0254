#include "app/TForm1.h"

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

TForm1::TForm1(Dialogs& dialogs, const StatusIcons& icons) : dialogs_(dialogs), icons_(icons) {
  BuildWindow();
  FormCreate();
  ConnectCommands();
}

TForm1::~TForm1() = default;

void TForm1::SetHelpWindows(TForm4& hints, TForm5& about) {
  hints_ = &hints;
  about_ = &about;
}

void TForm1::SetProgressDialogs(TForm7& batch, TForm9& csv) {
  form7_ = &batch;
  form9_ = &csv;
}

void TForm1::FormCreate() {
  SetApplicationTitle(QStringLiteral("Kestrelpad"));
  setWindowTitle(ApplicationTitle());
  setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), screen()->availableGeometry()));
  // The editors float inside the batch list until a click moves them.
  editors = new InPlaceEditors(*this, *ListView2);
  const catalogue::PropertyCatalogue catalogue;
  ListView2->FillCatalogueRows(catalogue);
  ListView3->FillCatalogueRows(catalogue);
  // Scrolling a property list first closes the editors, so none floats over the wrong row.
  for (PropertyListView* list : {ListView2, ListView3}) {
    connect(list, &PropertyListView::AboutToScroll, this, [this] { editors->CloseEditors(); });
  }
  // The stored presets fill the batch tab before the window is shown.
  ToolButton10Click();
  connect(ListView1, &FileListView::FilesDropped, this, &TForm1::FilesDropped);
  PageControl1->setCurrentIndex(0);
  // The package component reports an entry it cannot decode; the user sees it here.
  packages_.SetOnMessage([this](const std::string& message, const std::string& title) {
    dialogs_.ShowMessage(this, QString::fromStdString(message), QString::fromStdString(title));
  });
}

void TForm1::ConnectCommands() {
  connect(ToolButton1, &QToolButton::clicked, this, &TForm1::ToolButton1Click);
  connect(ToolButton5, &QToolButton::clicked, this, &TForm1::ToolButton5Click);
  connect(ToolButton2, &QToolButton::clicked, this, &TForm1::ToolButton2Click);
  connect(ToolButton3, &QToolButton::clicked, this, &TForm1::ToolButton3Click);
  connect(AddFiles1, &QAction::triggered, this, &TForm1::ToolButton1Click);
  connect(AddFilesfromfloder1, &QAction::triggered, this, &TForm1::ToolButton5Click);
  connect(Remove1, &QAction::triggered, this, &TForm1::ToolButton2Click);
  connect(RemoveAll1, &QAction::triggered, this, &TForm1::ToolButton3Click);
  connect(ListView1, &QWidget::customContextMenuRequested, this,
          [this](QPoint at) { PopupMenu1->popup(ListView1->viewport()->mapToGlobal(at)); });
  connect(ListView1->selectionModel(), &QItemSelectionModel::selectionChanged, this, &TForm1::ListView1Change);
  connect(ListView3, &PropertyListView::ClickedAt, this, &TForm1::ListView3Click);
  connect(ListView2, &PropertyListView::ClickedAt, this, &TForm1::ListView2Click);
  connect(ListView2, &PropertyListView::DoubleClickedAt, this, &TForm1::ListView2DblClick);
  connect(ToolButton9, &QToolButton::clicked, this, &TForm1::ToolButton9Click);
  connect(ToolButton10, &QToolButton::clicked, this, &TForm1::ToolButton10Click);
  connect(ToolButton12, &QToolButton::clicked, this, &TForm1::ToolButton12Click);

  connect(BitBtn6, &QPushButton::clicked, this, &TForm1::BitBtn6Click);
  connect(BitBtn9, &QPushButton::clicked, this, &TForm1::BitBtn9Click);
  connect(BitBtn2, &QPushButton::clicked, this, &TForm1::BitBtn2Click);
  connect(BitBtn8, &QPushButton::clicked, this, &TForm1::BitBtn8Click);
  for (QPushButton* hint : {BitBtn5, BitBtn3}) connect(hint, &QPushButton::clicked, this, &TForm1::ShowHints);
  // Closing asks nothing and saves nothing.
  for (QPushButton* exit : {BitBtn7, BitBtn4}) connect(exit, &QPushButton::clicked, this, &QWidget::close);
  connect(Exit1, &QAction::triggered, this, &QWidget::close);

  connect(help2, &QAction::triggered, this, &TForm1::help2Click);
  connect(Helponline1, &QAction::triggered, this, &TForm1::Helponline1Click);
  connect(Homepage1, &QAction::triggered, this, &TForm1::HomepageClick);
  connect(Emailsupport1, &QAction::triggered, this, &TForm1::Emailsupport1Click);
  connect(Showhint1, &QAction::triggered, this, &TForm1::Showhint1Click);
  connect(about1, &QAction::triggered, this, &TForm1::about1Click);
}

void TForm1::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!event->spontaneous()) FormShow();
}

void TForm1::FormShow() {
  ToolButton3->setEnabled(files_->rowCount() > 0);
  ToolButton2->setEnabled(ListView1->SelectedRow() >= 0);
}

void TForm1::CloseEditors() { editors->CloseEditors(); }

void TForm1::EnableAfterAdding() {
  for (QWidget* control : std::initializer_list<QWidget*>{ToolButton2, ToolButton3, BitBtn2, BitBtn8}) {
    control->setEnabled(true);
  }
  RemoveAll1->setEnabled(true);
}

void TForm1::EnableForSelection(bool fileSelected, bool documentShown) {
  // What would write to the selected document, or take its values, needs them read first.
  for (QWidget* control : std::initializer_list<QWidget*>{BitBtn6, BitBtn9, GroupBox3, GroupBox1, ToolButton12}) {
    control->setEnabled(documentShown);
  }
  ToolButton2->setEnabled(fileSelected);
  Remove1->setEnabled(fileSelected);
  if (fileSelected) {
    BitBtn2->setEnabled(true);
    BitBtn8->setEnabled(true);
  }
}

void TForm1::ShowMessage(const QString& text) { dialogs_.ShowMessage(this, text, ApplicationTitle()); }

}  // namespace kestrel::app
