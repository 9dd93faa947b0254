// The main window's controls and where they sit (sizes in pixels at 96 dots per inch).
#include <array>
#include <tuple>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QAction>
#include <QCheckBox>
#include <QActionEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>
#include <QScrollArea>
#include <QShortcut>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/AttributeBoxes.h"
#include "app/FileListModel.h"
#include "app/FileListView.h"
#include "app/FileTimesGroup.h"
#include "app/PropertyListView.h"
#include "app/MainWindow.h"
#include "app/OtherPropertiesPanel.h"

namespace kestrel::app {
namespace {

constexpr int kRightWidth = 393;
constexpr int kGapWidth = 8;
constexpr int kButtonPanelHeight = 67;
constexpr int kFileToolWidth = 145;
constexpr int kBatchToolWidth = 171;
constexpr int kToolFontPixels = 11;

template <typename Widget>
Widget* Named(Widget* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

QIcon StandardIcon(const QWidget* widget, QStyle::StandardPixmap pixmap) { return widget->style()->standardIcon(pixmap); }

// A flat tool-bar button with its image left of the text, running a command the menus share. The
// menus show no images, so the command carries none: the button keeps its own, and no tooltip
// (the command's text would give it one). Tool buttons never take the focus.
class CommandButton : public QToolButton {
 public:
  CommandButton(QWidget* bar, const char* name, QAction* command, QStyle::StandardPixmap image, int width)
      : QToolButton(bar), image_(StandardIcon(bar, image)) {
    setObjectName(QString::fromLatin1(name));
    setDefaultAction(command);
    ShowOwnLook();
    setIconSize(QSize(16, 16));
    setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    setAutoRaise(true);
    setFocusPolicy(Qt::NoFocus);
    setFixedWidth(width);
  }

 private:
  // The button takes the command's look again whenever the command changes.
  void actionEvent(QActionEvent* event) override {
    QToolButton::actionEvent(event);
    ShowOwnLook();
  }

  void ShowOwnLook() {
    setIcon(image_);
    setToolTip(QString());
  }

  QIcon image_;
};

struct ToolCommand {
  const char* buttonName;
  QAction* command;
  QStyle::StandardPixmap image;
};

// A tool bar of two rows, its buttons filling each row from the left.
QWidget* ToolBar(QWidget* parent, std::initializer_list<ToolCommand> commands, int buttonWidth) {
  auto* bar = new QWidget(parent);
  QFont font = bar->font();
  font.setPixelSize(kToolFontPixels);
  bar->setFont(font);
  auto* grid = new QGridLayout(bar);
  grid->setContentsMargins(0, 0, 0, 2);
  grid->setHorizontalSpacing(0);
  grid->setVerticalSpacing(0);
  grid->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  int at = 0;
  for (const ToolCommand& tool : commands) {
    grid->addWidget(new CommandButton(bar, tool.buttonName, tool.command, tool.image, buttonWidth), at / 2, at % 2);
    ++at;
  }
  return bar;
}

// A command of a tool button: its caption on the button, `menuText` in the menus.
// Both tabs have a 変更 button, a read-only box and a creation date: a screen reader tells them
// apart by the tab each control is on, which its name ends with and its description says.
void NameControlsFor(QWidget& tab, const QString& tabName) {
  for (QWidget* control : tab.findChildren<QWidget*>()) {
    const auto* button = qobject_cast<QAbstractButton*>(control);
    const bool named = button != nullptr || qobject_cast<QAbstractSpinBox*>(control) != nullptr ||
                       qobject_cast<QAbstractItemView*>(control) != nullptr;
    if (!named) continue;
    QString name = control->accessibleName();
    if (name.isEmpty() && button != nullptr) name = button->text().remove(u'&');
    if (name.isEmpty()) continue;  // a part of another control: a table's corner, a tab bar's arrows
    control->setAccessibleName(name + QStringLiteral("（%1）").arg(tabName));
    control->setAccessibleDescription(QStringLiteral("%1のタブ").arg(tabName));
  }
}

QAction* Command(QWidget* window, const char* name, const QString& caption, const QString& menuText = {}) {
  auto* action = Named(new QAction(menuText.isEmpty() ? caption : menuText, window), name);
  action->setIconText(caption);
  return action;
}

QPushButton* PushButton(QWidget* parent, const QString& name, const QString& text, QStyle::StandardPixmap image) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(name);
  button->setIcon(StandardIcon(parent, image));
  return button;
}

QVBoxLayout* PageLayout(QWidget* page) {
  auto* column = new QVBoxLayout(page);
  column->setContentsMargins(4, 4, 4, 4);
  column->setSpacing(4);
  return column;
}

// The 14 rows and what the document stores beyond them, a page each, chosen on the left, so that
// the rows keep the whole height they always had. Made before the pages, so that Tab reaches its
// page tabs before the page.
QTabWidget* PropertyPages(QWidget* tab, Tab which) {
  auto* pages = new QTabWidget(tab);
  pages->setObjectName(WidgetName(which, "propertyPages"));
  pages->setDocumentMode(true);
  pages->setTabPosition(QTabWidget::West);
  return pages;
}

void AddPropertyPages(QTabWidget* pages, QWidget* rows, QWidget* others) {
  pages->addTab(rows, QStringLiteral("概要情報"));
  pages->addTab(others, QStringLiteral("その他のプロパティ"));
  // Both page names whole at any scale: the window scrolls rather than hide one.
  pages->setMinimumHeight(pages->tabBar()->sizeHint().height());
}

}  // namespace

void MainWindow::BuildWindow() {
  resize(852, 614);

  statusLine_ = Named(new QStatusBar(this), "statusLine");
  auto* statusText = new QLabel(QStringLiteral("Word 文書のプロパティ、日時、属性を表示・変更します"), statusLine_);
  statusText->setFixedWidth(300);
  statusLine_->addWidget(statusText);
  setStatusBar(statusLine_);
  // A message longer than the bar is read whole from its tooltip.
  connect(statusLine_, &QStatusBar::messageChanged, statusLine_, &QWidget::setToolTip);

  BuildCommands();
  auto* central = new QWidget(this);
  auto* row = new QHBoxLayout(central);
  row->setContentsMargins(4, 4, 4, 0);
  row->setSpacing(0);
  row->addWidget(BuildFileSide(), 1);
  row->addSpacing(kGapWidth);
  tabs_ = Named(new QTabWidget(central), "tabs");
  tabs_->setFixedWidth(kRightWidth);
  tabs_->addTab(BuildSingleTab(), QStringLiteral("単一変更"));
  tabs_->addTab(BuildBatchTab(), QStringLiteral("一括変更"));
  for (int tab = 0; tab < tabs_->count(); ++tab) NameControlsFor(*tabs_->widget(tab), tabs_->tabText(tab));
  row->addWidget(tabs_);
  // On a small screen or at a large scale the window may be smaller than its panels: they scroll,
  // so every button stays reachable. At the window's own size nothing scrolls.
  auto* scroller = Named(new QScrollArea(this), "windowScroller");
  scroller->setFrameShape(QFrame::NoFrame);
  scroller->setWidgetResizable(true);
  scroller->setWidget(central);
  setCentralWidget(scroller);
  BuildMenus();

  // The design state: what needs a file or a selection starts disabled.
  changeSelectedButton_->setEnabled(false);
  exportSelectedButton_->setEnabled(false);
  EnableListCommands(false);
  for (QAction* command : {removeAction_, importFromSelectedAction_}) command->setEnabled(false);
}

void MainWindow::BuildCommands() {
  addFilesAction_ = Command(this, "addFilesAction", QStringLiteral("ファイル追加"), QStringLiteral("ファイル追加(&A)"));
  addFolderAction_ = Command(this, "addFolderAction", QStringLiteral("フォルダからファイル追加"),
                             QStringLiteral("フォルダからファイル追加(&D)"));
  removeAction_ = Command(this, "removeAction", QStringLiteral("削除"), QStringLiteral("削除(&R)"));
  removeAllAction_ = Command(this, "removeAllAction", QStringLiteral("全て削除"), QStringLiteral("全て削除(&L)"));
  savePresetAction_ = Command(this, "savePresetAction", QStringLiteral("既定保存"), QStringLiteral("既定保存(&P)"));
  loadPresetAction_ =
      Command(this, "loadPresetAction", QStringLiteral("既定のインポート"), QStringLiteral("既定のインポート(&L)"));
  importFromSelectedAction_ = Command(this, "importFromSelectedAction", QStringLiteral("選択したファイルからインポート"),
                                      QStringLiteral("選択したファイルからインポート(&I)"));
  changeFromSheetAction_ =
      Command(this, "changeFromSheetAction", QStringLiteral("CSVから変更"), QStringLiteral("CSVから変更(&V)..."));
  // Spelled out: the desktop's standard keys differ by platform theme, and some have none.
  addFilesAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  addFolderAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
  // Delete removes a file only where the file list has the focus: elsewhere it edits text.
  removeAction_->setShortcut(QKeySequence(Qt::Key_Delete));
  removeAction_->setShortcutContext(Qt::WidgetShortcut);
  // Keys a text field leaves alone.
  savePresetAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P));
  loadPresetAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_L));
  importFromSelectedAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_I));
  changeFromSheetAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_V));
}

QWidget* MainWindow::BuildFileSide() {
  auto* side = new QWidget(this);
  auto* column = new QVBoxLayout(side);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  column->addWidget(ToolBar(side,
                            {{"addFilesButton", addFilesAction_, QStyle::SP_FileIcon},
                             {"addFolderButton", addFolderAction_, QStyle::SP_DirOpenIcon},
                             {"removeButton", removeAction_, QStyle::SP_TrashIcon},
                             {"removeAllButton", removeAllAction_, QStyle::SP_DialogDiscardButton}},
                            kFileToolWidth));

  fileList_ = Named(new FileListView(side), "fileList");
  fileList_->setAccessibleName(QStringLiteral("ファイル一覧"));
  files_ = new FileListModel(icons_, fileList_);
  fileList_->setModel(files_);
  fileList_->addAction(removeAction_);
  column->addWidget(fileList_, 1);
  return side;
}

QWidget* MainWindow::BuildSingleTab() {
  auto* tab = Named(new QWidget(this), "singleTab");
  QVBoxLayout* column = PageLayout(tab);
  QTabWidget* pages = PropertyPages(tab, Tab::Single);
  singleProperties_ = Named(new PropertyListView(false, pages), "singleProperties");
  singleProperties_->setAccessibleName(QStringLiteral("プロパティ"));
  // F2 and Enter open the selected row's editor as a click on its value does.
  connect(singleProperties_, &PropertyListView::EditRequested, this, &MainWindow::EditSingleValueAt);
  singleOthers_ = new OtherPropertiesPanel(Tab::Single, dialogs_, pages);
  AddPropertyPages(pages, singleProperties_, singleOthers_);
  column->addWidget(pages, 1);
  singleTimes_ = new FileTimesGroup(Tab::Single, tab);
  column->addWidget(singleTimes_);
  singleAttributes_ = new AttributeBoxes(Tab::Single, tab);
  column->addWidget(singleAttributes_);
  const TabButtons buttons = BuildTabButtons(tab, "single", "changeSelectedButton", "exportSelectedButton");
  singleBackupBox_ = buttons.backup;
  changeSelectedButton_ = buttons.change;
  exportSelectedButton_ = buttons.exportCsv;
  column->addWidget(buttons.panel);
  return tab;
}

QWidget* MainWindow::BuildBatchTab() {
  auto* tab = Named(new QWidget(this), "batchTab");
  QVBoxLayout* column = PageLayout(tab);
  column->addWidget(ToolBar(tab,
                            {{"savePresetButton", savePresetAction_, QStyle::SP_DialogSaveButton},
                             {"loadPresetButton", loadPresetAction_, QStyle::SP_DialogOpenButton},
                             {"importFromSelectedButton", importFromSelectedAction_, QStyle::SP_FileDialogContentsView},
                             {"changeFromSheetButton", changeFromSheetAction_, QStyle::SP_FileDialogDetailedView}},
                            kBatchToolWidth));
  QTabWidget* pages = PropertyPages(tab, Tab::Batch);
  batchProperties_ = Named(new PropertyListView(true, pages), "batchProperties");
  batchProperties_->setAccessibleName(QStringLiteral("プロパティ"));
  connect(batchProperties_, &PropertyListView::EditRequested, this, &MainWindow::EditBatchValueAt);
  batchOthers_ = new OtherPropertiesPanel(Tab::Batch, dialogs_, pages);
  AddPropertyPages(pages, batchProperties_, batchOthers_);
  column->addWidget(pages, 1);
  batchTimes_ = new FileTimesGroup(Tab::Batch, tab);
  column->addWidget(batchTimes_);
  batchAttributes_ = new AttributeBoxes(Tab::Batch, tab);
  column->addWidget(batchAttributes_);
  const TabButtons buttons = BuildTabButtons(tab, "batch", "changeAllButton", "exportAllButton");
  batchBackupBox_ = buttons.backup;
  changeAllButton_ = buttons.change;
  exportAllButton_ = buttons.exportCsv;
  column->addWidget(buttons.panel);
  return tab;
}

MainWindow::TabButtons MainWindow::BuildTabButtons(QWidget* tab, const char* tabName, const char* changeName,
                                                   const char* exportName) {
  const QString prefix = QString::fromLatin1(tabName);
  auto* panel = new QWidget(tab);
  panel->setFixedHeight(kButtonPanelHeight);
  auto* column = new QVBoxLayout(panel);
  column->setContentsMargins(4, 4, 4, 4);
  auto* backup = new QCheckBox(QStringLiteral("変更する前に、元のファイルを同じフォルダにバックアップする"), panel);
  backup->setObjectName(prefix + QStringLiteral("BackupBox"));
  backup->setChecked(true);
  column->addWidget(backup);
  auto* row = new QHBoxLayout();
  QPushButton* change =
      PushButton(panel, QString::fromLatin1(changeName), QStringLiteral("変更"), QStyle::SP_DialogApplyButton);
  QPushButton* exportCsv =
      PushButton(panel, QString::fromLatin1(exportName), QStringLiteral("CSV出力"), QStyle::SP_DialogSaveButton);
  QPushButton* hints =
      PushButton(panel, prefix + QStringLiteral("HintsButton"), QStringLiteral("ヒント"), QStyle::SP_DialogHelpButton);
  QPushButton* close =
      PushButton(panel, prefix + QStringLiteral("CloseButton"), QStringLiteral("終了"), QStyle::SP_DialogCloseButton);
  for (QPushButton* button : {change, exportCsv, hints, close}) row->addWidget(button);
  column->addLayout(row);
  connect(hints, &QPushButton::clicked, this, &MainWindow::ShowHints);
  // Closing asks nothing and saves nothing.
  connect(close, &QPushButton::clicked, this, &QWidget::close);
  return {panel, backup, change, exportCsv};
}

void MainWindow::BuildMenus() {
  auto* mainMenu = Named(new QMenuBar(this), "mainMenu");
  QMenu* fileMenu = mainMenu->addMenu(QStringLiteral("ファイル(&F)"));
  fileMenu->addActions({addFilesAction_, addFolderAction_, removeAction_, removeAllAction_});
  fileMenu->addSeparator();
  fileMenu->addAction(changeFromSheetAction_);
  fileMenu->addSeparator();
  QAction* exitAction = Named(fileMenu->addAction(QStringLiteral("終了(&X)")), "exitAction");
  exitAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
  // Closing asks nothing and saves nothing.
  connect(exitAction, &QAction::triggered, this, &QWidget::close);
  // Every button's command by keyboard too; a disabled button ignores its item.
  QMenu* changeMenu = mainMenu->addMenu(QStringLiteral("変更(&C)"));
  const std::array<std::tuple<QString, const char*, QPushButton*, QKeySequence>, 4> buttonItems = {{
      {QStringLiteral("選択したファイルを変更(&C)"), "changeSelectedAction", changeSelectedButton_,
       QKeySequence(Qt::CTRL | Qt::Key_S)},
      {QStringLiteral("一括変更を実行(&B)"), "changeAllAction", changeAllButton_, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)},
      {QStringLiteral("選択したファイルをCSV出力(&E)"), "exportSelectedAction", exportSelectedButton_,
       QKeySequence(Qt::CTRL | Qt::Key_E)},
      {QStringLiteral("全てのファイルをCSV出力(&V)"), "exportAllAction", exportAllButton_,
       QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E)},
  }};
  for (const auto& [text, name, button, keys] : buttonItems) {
    QAction* item = Named(changeMenu->addAction(text), name);
    item->setShortcut(keys);
    connect(item, &QAction::triggered, button, &QPushButton::click);
  }
  QAction* removePersonal = Named(changeMenu->addAction(QStringLiteral("個人情報を削除(&R)...")), "removePersonalAction");
  removePersonal->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R));
  connect(removePersonal, &QAction::triggered, this, &MainWindow::RemovePersonalInformation);
  changeMenu->addSeparator();
  changeMenu->addActions({savePresetAction_, loadPresetAction_, importFromSelectedAction_});
  // The tabs from anywhere in the window, as in a browser.
  for (const auto& [keys, step] : {std::pair{QKeySequence(Qt::CTRL | Qt::Key_Tab), 1},
                                   {QKeySequence(Qt::CTRL | Qt::Key_PageDown), 1},
                                   {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), -1},
                                   {QKeySequence(Qt::CTRL | Qt::Key_PageUp), -1}}) {
    connect(new QShortcut(keys, this), &QShortcut::activated, this,
            [this, step = step] { tabs_->setCurrentIndex((tabs_->currentIndex() + step + tabs_->count()) % tabs_->count()); });
  }
  QMenu* helpMenu = mainMenu->addMenu(QStringLiteral("ヘルプ(&H)"));
  const std::array<std::tuple<QString, const char*, void (MainWindow::*)()>, 6> helpItems = {{
      {QStringLiteral("ヘルプ(&H)"), "helpAction", &MainWindow::ShowHelp},
      {QStringLiteral("ヘルプオンライン(&O)"), "onlineHelpAction", &MainWindow::ShowOnlineHelp},
      {QStringLiteral("ヒント(&T)"), "hintsAction", &MainWindow::ShowHintsFromMenu},
      {QStringLiteral("Norvale　ホームページ(&W)"), "homePageAction", &MainWindow::ShowHomePage},
      {QStringLiteral("メールサポート(&M)"), "emailSupportAction", &MainWindow::EmailSupport},
      {QStringLiteral("バージョン情報(&A)"), "aboutAction", &MainWindow::ShowAbout},
  }};
  for (const auto& [text, name, command] : helpItems) {
    connect(Named(helpMenu->addAction(text), name), &QAction::triggered, this, command);
  }
  helpMenu->actions().front()->setShortcut(QKeySequence(Qt::Key_F1));
  setMenuBar(mainMenu);

  // The list's popup offers the same four commands as the file menu.
  fileListMenu_ = Named(new QMenu(this), "fileListMenu");
  fileListMenu_->addActions({addFilesAction_, addFolderAction_, removeAction_, removeAllAction_});
}

}  // namespace kestrel::app
