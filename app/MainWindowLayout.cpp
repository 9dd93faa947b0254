// The main window's controls and where they sit (sizes in pixels at 96 dots per inch).
#include <QAction>
#include <QCheckBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QTimeEdit>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/FileListModel.h"
#include "app/FileListView.h"
#include "app/Pickers.h"
#include "app/PropertyListView.h"
#include "app/MainWindow.h"

namespace kestrel::app {
namespace {

constexpr int kRightWidth = 393;
constexpr int kGapWidth = 8;
constexpr int kButtonPanelHeight = 67;
constexpr int kAttributeGroupHeight = 49;
constexpr int kTimeGroupHeight = 105;
constexpr int kFileToolWidth = 145;
constexpr int kBatchToolWidth = 171;
constexpr int kToolFontPixels = 11;

template <typename Widget>
Widget* Named(Widget* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

QIcon StandardIcon(const QWidget* widget, QStyle::StandardPixmap pixmap) { return widget->style()->standardIcon(pixmap); }

// A flat tool-bar button with its image left of the text. Tool buttons never take the focus.
QToolButton* ToolButton(QWidget* bar, const char* name, const QString& text, QStyle::StandardPixmap image, int width) {
  auto* button = Named(new QToolButton(bar), name);
  button->setText(text);
  button->setIcon(StandardIcon(bar, image));
  button->setIconSize(QSize(16, 16));
  button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  button->setAutoRaise(true);
  button->setFocusPolicy(Qt::NoFocus);
  button->setFixedWidth(width);
  return button;
}

// A tool bar of two rows.
QWidget* ToolBar(QWidget* parent, const char* name) {
  auto* bar = Named(new QWidget(parent), name);
  QFont font = bar->font();
  font.setPixelSize(kToolFontPixels);
  bar->setFont(font);
  auto* grid = new QGridLayout(bar);
  grid->setContentsMargins(0, 0, 0, 2);
  grid->setHorizontalSpacing(0);
  grid->setVerticalSpacing(0);
  grid->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return bar;
}

QPushButton* PushButton(QWidget* parent, const char* name, const QString& text, QStyle::StandardPixmap image) {
  auto* button = Named(new QPushButton(text, parent), name);
  button->setIcon(StandardIcon(parent, image));
  return button;
}

QCheckBox* CheckBox(QWidget* parent, const char* name, const QString& text) {
  return Named(new QCheckBox(text, parent), name);
}

// A three-state attribute box, grayed: the attribute stays as the file has it.
QCheckBox* AttributeBox(QWidget* parent, const char* name, const QString& text) {
  QCheckBox* box = CheckBox(parent, name, text);
  box->setTristate(true);
  box->setCheckState(Qt::PartiallyChecked);
  return box;
}

QGroupBox* Group(QWidget* parent, const char* name, const QString& title, int height) {
  auto* group = Named(new QGroupBox(title, parent), name);
  group->setFixedHeight(height);
  return group;
}

QLabel* RowLabel(QWidget* parent, const QString& text) { return new QLabel(text, parent); }

const QStringList kTimeRowLabels = {QStringLiteral("作成日時："), QStringLiteral("更新時間："),
                                    QStringLiteral("アクセス日時：")};

const QString kBackupCaption = QStringLiteral("変更する前に、元のファイルを同じフォルダにバックアップする");

// The four attribute boxes in a row.
QGroupBox* AttributeGroup(QWidget* parent, const char* name, const std::array<QCheckBox**, 4>& boxes,
                          const std::array<const char*, 4>& names) {
  QGroupBox* group = Group(parent, name, QStringLiteral("ファイル属性"), kAttributeGroupHeight);
  auto* row = new QHBoxLayout(group);
  row->setContentsMargins(8, 2, 8, 4);
  const std::array<QString, 4> captions = {QStringLiteral("読み取り専用"), QStringLiteral("アーカイブ"),
                                           QStringLiteral("隠し"), QStringLiteral("システム")};
  for (std::size_t i = 0; i < boxes.size(); ++i) {
    *boxes.at(i) = AttributeBox(group, names.at(i), captions.at(i));
    row->addWidget(*boxes.at(i));
  }
  row->addStretch();
  return group;
}

// The backup box above the four push buttons.
QWidget* ButtonPanel(QWidget* parent, const char* name, QCheckBox** backup, const char* backupName,
                     const std::array<QPushButton**, 4>& buttons, const std::array<const char*, 4>& names) {
  auto* panel = Named(new QWidget(parent), name);
  panel->setFixedHeight(kButtonPanelHeight);
  auto* column = new QVBoxLayout(panel);
  column->setContentsMargins(4, 4, 4, 4);
  *backup = CheckBox(panel, backupName, kBackupCaption);
  (*backup)->setChecked(true);
  column->addWidget(*backup);
  auto* row = new QHBoxLayout();
  const std::array<std::pair<QString, QStyle::StandardPixmap>, 4> captions = {{
      {QStringLiteral("変更"), QStyle::SP_DialogApplyButton},
      {QStringLiteral("CSV出力"), QStyle::SP_DialogSaveButton},
      {QStringLiteral("ヒント"), QStyle::SP_DialogHelpButton},
      {QStringLiteral("終了"), QStyle::SP_DialogCloseButton},
  }};
  for (std::size_t i = 0; i < buttons.size(); ++i) {
    *buttons.at(i) = PushButton(panel, names.at(i), captions.at(i).first, captions.at(i).second);
    row->addWidget(*buttons.at(i));
  }
  column->addLayout(row);
  return panel;
}

QVBoxLayout* PageLayout(QWidget* page) {
  auto* column = new QVBoxLayout(page);
  column->setContentsMargins(4, 4, 4, 4);
  column->setSpacing(4);
  return column;
}

}  // namespace

void MainWindow::BuildWindow() {
  resize(852, 614);

  statusLine = Named(new QStatusBar(this), "statusLine");
  auto* statusText = new QLabel(QStringLiteral("Word 文書のプロパティ、日時、属性を表示・変更します"), statusLine);
  statusText->setFixedWidth(300);
  statusLine->addWidget(statusText);
  setStatusBar(statusLine);

  auto* central = new QWidget(this);
  auto* row = new QHBoxLayout(central);
  row->setContentsMargins(4, 4, 4, 0);
  row->setSpacing(0);
  row->addWidget(BuildFileSide(), 1);
  tabsGap = Named(new QWidget(central), "tabsGap");
  tabsGap->setFixedWidth(kGapWidth);
  row->addWidget(tabsGap);
  tabs = Named(new QTabWidget(central), "tabs");
  tabs->setFixedWidth(kRightWidth);
  tabs->addTab(BuildSingleTab(), QStringLiteral("単一変更"));
  tabs->addTab(BuildBatchTab(), QStringLiteral("一括変更"));
  row->addWidget(tabs);
  setCentralWidget(central);
  BuildMenus();

  // The design state: what needs a file or a selection starts disabled.
  for (QWidget* control :
       std::initializer_list<QWidget*>{removeButton, removeAllButton, changeAllButton, exportAllButton,
                                       changeSelectedButton, exportSelectedButton, importFromSelectedButton}) {
    control->setEnabled(false);
  }
  removeAction->setEnabled(false);
  removeAllAction->setEnabled(false);
}

QWidget* MainWindow::BuildFileSide() {
  fileSide = Named(new QWidget(this), "fileSide");
  auto* column = new QVBoxLayout(fileSide);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  fileTools = ToolBar(fileSide, "fileTools");
  auto* grid = static_cast<QGridLayout*>(fileTools->layout());
  addFilesButton =
      ToolButton(fileTools, "addFilesButton", QStringLiteral("ファイル追加"), QStyle::SP_FileIcon, kFileToolWidth);
  addFolderButton = ToolButton(fileTools, "addFolderButton", QStringLiteral("フォルダからファイル追加"),
                               QStyle::SP_DirOpenIcon, kFileToolWidth);
  removeButton = ToolButton(fileTools, "removeButton", QStringLiteral("削除"), QStyle::SP_TrashIcon, kFileToolWidth);
  removeAllButton = ToolButton(fileTools, "removeAllButton", QStringLiteral("全て削除"), QStyle::SP_DialogDiscardButton,
                               kFileToolWidth);
  grid->addWidget(addFilesButton, 0, 0);
  grid->addWidget(addFolderButton, 0, 1);
  grid->addWidget(removeButton, 1, 0);
  grid->addWidget(removeAllButton, 1, 1);
  column->addWidget(fileTools);

  fileList = Named(new FileListView(fileSide), "fileList");
  files_ = new FileListModel(icons_, fileList);
  fileList->setModel(files_);
  column->addWidget(fileList, 1);
  return fileSide;
}

QWidget* MainWindow::BuildSingleTab() {
  singleTab = Named(new QWidget(this), "singleTab");
  QVBoxLayout* column = PageLayout(singleTab);
  singleProperties = Named(new PropertyListView(false, singleTab), "singleProperties");
  // F2 and Enter open the selected row's editor as a click on its value does.
  connect(singleProperties, &PropertyListView::EditRequested, this, &MainWindow::EditSingleValueAt);
  column->addWidget(singleProperties, 1);

  fileTimesGroup = Group(singleTab, "fileTimesGroup", QStringLiteral("ファイル日時"), kTimeGroupHeight);
  auto* grid = new QGridLayout(fileTimesGroup);
  grid->setContentsMargins(8, 4, 8, 6);
  grid->setVerticalSpacing(4);
  const std::array<std::pair<QDateEdit**, QTimeEdit**>, 3> pairs = {{
      {&creationDate, &creationTime},
      {&lastWriteDate, &lastWriteTime},
      {&lastAccessDate, &lastAccessTime},
  }};
  const std::array<std::pair<const char*, const char*>, 3> names = {{
      {"creationDate", "creationTime"},
      {"lastWriteDate", "lastWriteTime"},
      {"lastAccessDate", "lastAccessTime"},
  }};
  for (int i = 0; i < 3; ++i) {
    const auto at = static_cast<std::size_t>(i);
    grid->addWidget(RowLabel(fileTimesGroup, kTimeRowLabels.at(i)), i, 0);
    *pairs.at(at).first = Named(NewDatePicker(fileTimesGroup), names.at(at).first);
    *pairs.at(at).second = Named(NewTimePicker(fileTimesGroup), names.at(at).second);
    // A time that cannot be shown leaves its date picker at the first date, shown blank.
    (*pairs.at(at).first)->setSpecialValueText(QStringLiteral(" "));
    grid->addWidget(*pairs.at(at).first, i, 1);
    grid->addWidget(*pairs.at(at).second, i, 2);
  }
  grid->setColumnMinimumWidth(1, 112);
  grid->setColumnMinimumWidth(2, 90);
  grid->setColumnStretch(3, 1);
  column->addWidget(fileTimesGroup);

  attributesGroup = AttributeGroup(singleTab, "attributesGroup", {&readOnlyBox, &archiveBox, &hiddenBox, &systemBox},
                             {"readOnlyBox", "archiveBox", "hiddenBox", "systemBox"});
  column->addWidget(attributesGroup);
  singleButtons =
      ButtonPanel(singleTab, "singleButtons", &singleBackupBox, "singleBackupBox",
                  {&changeSelectedButton, &exportSelectedButton, &singleHintsButton, &singleCloseButton},
                  {"changeSelectedButton", "exportSelectedButton", "singleHintsButton", "singleCloseButton"});
  column->addWidget(singleButtons);
  return singleTab;
}

QWidget* MainWindow::BuildBatchTab() {
  batchTab = Named(new QWidget(this), "batchTab");
  QVBoxLayout* column = PageLayout(batchTab);
  presetTools = ToolBar(batchTab, "presetTools");
  auto* tools = static_cast<QGridLayout*>(presetTools->layout());
  savePresetButton = ToolButton(presetTools, "savePresetButton", QStringLiteral("既定保存"),
                                QStyle::SP_DialogSaveButton, kBatchToolWidth);
  loadPresetButton = ToolButton(presetTools, "loadPresetButton", QStringLiteral("既定のインポート"),
                            QStyle::SP_DialogOpenButton, kBatchToolWidth);
  importFromSelectedButton =
      ToolButton(presetTools, "importFromSelectedButton", QStringLiteral("選択したファイルからインポート"),
                 QStyle::SP_FileDialogContentsView, kBatchToolWidth);
  tools->addWidget(savePresetButton, 0, 0);
  tools->addWidget(loadPresetButton, 0, 1);
  tools->addWidget(importFromSelectedButton, 1, 0);
  column->addWidget(presetTools);
  batchProperties = Named(new PropertyListView(true, batchTab), "batchProperties");
  connect(batchProperties, &PropertyListView::EditRequested, this, &MainWindow::EditBatchValueAt);
  column->addWidget(batchProperties, 1);

  batchFileTimesGroup = Group(batchTab, "batchFileTimesGroup", QStringLiteral("ファイル日時"), kTimeGroupHeight);
  auto* grid = new QGridLayout(batchFileTimesGroup);
  grid->setContentsMargins(8, 4, 8, 6);
  grid->setVerticalSpacing(4);
  struct TimeRow {
    QCheckBox** dateBox;
    QDateEdit** date;
    QCheckBox** timeBox;
    QTimeEdit** time;
    std::array<const char*, 4> names;
  };
  const std::array<TimeRow, 3> rows = {{
      {&batchCreationDateBox, &batchCreationDate, &batchCreationTimeBox, &batchCreationTime,
       {"batchCreationDateBox", "batchCreationDate", "batchCreationTimeBox", "batchCreationTime"}},
      {&batchLastWriteDateBox, &batchLastWriteDate, &batchLastWriteTimeBox, &batchLastWriteTime,
       {"batchLastWriteDateBox", "batchLastWriteDate", "batchLastWriteTimeBox", "batchLastWriteTime"}},
      {&batchLastAccessDateBox, &batchLastAccessDate, &batchLastAccessTimeBox, &batchLastAccessTime,
       {"batchLastAccessDateBox", "batchLastAccessDate", "batchLastAccessTimeBox", "batchLastAccessTime"}},
  }};
  for (int i = 0; i < 3; ++i) {
    const TimeRow& row = rows.at(static_cast<std::size_t>(i));
    grid->addWidget(RowLabel(batchFileTimesGroup, kTimeRowLabels.at(i)), i, 0);
    *row.dateBox = CheckBox(batchFileTimesGroup, row.names[0], QString());
    *row.date = Named(NewDatePicker(batchFileTimesGroup), row.names[1]);
    *row.timeBox = CheckBox(batchFileTimesGroup, row.names[2], QString());
    *row.time = Named(NewTimePicker(batchFileTimesGroup), row.names[3]);
    // A checked box sets that part of the file time; the picker is usable only then.
    connect(*row.dateBox, &QCheckBox::toggled, *row.date, &QWidget::setEnabled);
    connect(*row.timeBox, &QCheckBox::toggled, *row.time, &QWidget::setEnabled);
    (*row.dateBox)->setChecked(true);
    (*row.timeBox)->setChecked(true);
    grid->addWidget(*row.dateBox, i, 1);
    grid->addWidget(*row.date, i, 2);
    grid->addWidget(*row.timeBox, i, 3);
    grid->addWidget(*row.time, i, 4);
  }
  grid->setColumnMinimumWidth(2, 112);
  grid->setColumnMinimumWidth(4, 90);
  grid->setColumnStretch(5, 1);
  column->addWidget(batchFileTimesGroup);

  batchAttributesGroup = AttributeGroup(batchTab, "batchAttributesGroup",
                                        {&batchReadOnlyBox, &batchArchiveBox, &batchHiddenBox, &batchSystemBox},
                                        {"batchReadOnlyBox", "batchArchiveBox", "batchHiddenBox", "batchSystemBox"});
  column->addWidget(batchAttributesGroup);
  batchButtons = ButtonPanel(batchTab, "batchButtons", &batchBackupBox, "batchBackupBox",
                             {&changeAllButton, &exportAllButton, &batchHintsButton, &batchCloseButton},
                             {"changeAllButton", "exportAllButton", "batchHintsButton", "batchCloseButton"});
  column->addWidget(batchButtons);
  return batchTab;
}

void MainWindow::BuildMenus() {
  mainMenu = Named(new QMenuBar(this), "mainMenu");
  QMenu* fileMenu = mainMenu->addMenu(QStringLiteral("ファイル(&F)"));
  addFilesAction = Named(fileMenu->addAction(QStringLiteral("ファイル追加(&A)")), "addFilesAction");
  addFolderAction = Named(fileMenu->addAction(QStringLiteral("フォルダからファイル追加(&D)")), "addFolderAction");
  removeAction = Named(fileMenu->addAction(QStringLiteral("削除(&R)")), "removeAction");
  removeAllAction = Named(fileMenu->addAction(QStringLiteral("全て削除(&L)")), "removeAllAction");
  fileMenu->addSeparator();
  exitAction = Named(fileMenu->addAction(QStringLiteral("終了(&X)")), "exitAction");
  QMenu* helpMenu = mainMenu->addMenu(QStringLiteral("ヘルプ(&H)"));
  helpAction = Named(helpMenu->addAction(QStringLiteral("ヘルプ(&H)")), "helpAction");
  onlineHelpAction = Named(helpMenu->addAction(QStringLiteral("ヘルプオンライン(&O)")), "onlineHelpAction");
  hintsAction = Named(helpMenu->addAction(QStringLiteral("ヒント(&T)")), "hintsAction");
  homePageAction = Named(helpMenu->addAction(QStringLiteral("Norvale　ホームページ(&W)")), "homePageAction");
  emailSupportAction = Named(helpMenu->addAction(QStringLiteral("メールサポート(&M)")), "emailSupportAction");
  aboutAction = Named(helpMenu->addAction(QStringLiteral("バージョン情報(&A)")), "aboutAction");
  setMenuBar(mainMenu);

  // Spelled out: the desktop's standard keys differ by platform theme, and some have none.
  addFilesAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  addFolderAction->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
  // Delete removes a file only where the file list has the focus: elsewhere it edits text.
  removeAction->setShortcut(QKeySequence(Qt::Key_Delete));
  removeAction->setShortcutContext(Qt::WidgetShortcut);
  fileList->addAction(removeAction);
  helpAction->setShortcut(QKeySequence(Qt::Key_F1));
  exitAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

  // The list's popup offers the same four commands as the file menu.
  fileListMenu = Named(new QMenu(this), "fileListMenu");
  fileListMenu->addActions({addFilesAction, addFolderAction, removeAction, removeAllAction});
}

}  // namespace kestrel::app
