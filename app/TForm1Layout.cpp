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
#include "app/TForm1.h"

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

void TForm1::BuildWindow() {
  resize(852, 614);

  StatusBar1 = Named(new QStatusBar(this), "StatusBar1");
  auto* statusText = new QLabel(QStringLiteral("Word 文書のプロパティ、日時、属性を表示・変更します"), StatusBar1);
  statusText->setFixedWidth(300);
  StatusBar1->addWidget(statusText);
  setStatusBar(StatusBar1);

  auto* central = new QWidget(this);
  auto* row = new QHBoxLayout(central);
  row->setContentsMargins(4, 4, 4, 0);
  row->setSpacing(0);
  row->addWidget(BuildFileSide(), 1);
  Panel1 = Named(new QWidget(central), "Panel1");
  Panel1->setFixedWidth(kGapWidth);
  row->addWidget(Panel1);
  PageControl1 = Named(new QTabWidget(central), "PageControl1");
  PageControl1->setFixedWidth(kRightWidth);
  PageControl1->addTab(BuildSingleTab(), QStringLiteral("単一変更"));
  PageControl1->addTab(BuildBatchTab(), QStringLiteral("一括変更"));
  row->addWidget(PageControl1);
  setCentralWidget(central);
  BuildMenus();

  // The design state: what needs a file or a selection starts disabled.
  for (QWidget* control : std::initializer_list<QWidget*>{ToolButton2, ToolButton3, BitBtn2, BitBtn8, BitBtn6, BitBtn9,
                                                          ToolButton12}) {
    control->setEnabled(false);
  }
  Remove1->setEnabled(false);
  RemoveAll1->setEnabled(false);
}

QWidget* TForm1::BuildFileSide() {
  Panel9 = Named(new QWidget(this), "Panel9");
  auto* column = new QVBoxLayout(Panel9);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  ToolBar2 = ToolBar(Panel9, "ToolBar2");
  auto* grid = static_cast<QGridLayout*>(ToolBar2->layout());
  ToolButton1 = ToolButton(ToolBar2, "ToolButton1", QStringLiteral("ファイル追加"), QStyle::SP_FileIcon, kFileToolWidth);
  ToolButton5 = ToolButton(ToolBar2, "ToolButton5", QStringLiteral("フォルダからファイル追加"), QStyle::SP_DirOpenIcon,
                           kFileToolWidth);
  ToolButton2 = ToolButton(ToolBar2, "ToolButton2", QStringLiteral("削除"), QStyle::SP_TrashIcon, kFileToolWidth);
  ToolButton3 = ToolButton(ToolBar2, "ToolButton3", QStringLiteral("全て削除"), QStyle::SP_DialogDiscardButton,
                           kFileToolWidth);
  grid->addWidget(ToolButton1, 0, 0);
  grid->addWidget(ToolButton5, 0, 1);
  grid->addWidget(ToolButton2, 1, 0);
  grid->addWidget(ToolButton3, 1, 1);
  column->addWidget(ToolBar2);

  ListView1 = Named(new FileListView(Panel9), "ListView1");
  files_ = new FileListModel(icons_, ListView1);
  ListView1->setModel(files_);
  column->addWidget(ListView1, 1);
  return Panel9;
}

QWidget* TForm1::BuildSingleTab() {
  TabSheet2 = Named(new QWidget(this), "TabSheet2");
  QVBoxLayout* column = PageLayout(TabSheet2);
  ListView3 = Named(new PropertyListView(false, TabSheet2), "ListView3");
  // F2 and Enter open the selected row's editor as a click on its value does.
  connect(ListView3, &PropertyListView::EditRequested, this, &TForm1::ListView3Click);
  column->addWidget(ListView3, 1);

  GroupBox3 = Group(TabSheet2, "GroupBox3", QStringLiteral("ファイル日時"), kTimeGroupHeight);
  auto* grid = new QGridLayout(GroupBox3);
  grid->setContentsMargins(8, 4, 8, 6);
  grid->setVerticalSpacing(4);
  const std::array<std::pair<QDateEdit**, QTimeEdit**>, 3> pairs = {{
      {&DateTimePicker9, &DateTimePicker10},
      {&DateTimePicker11, &DateTimePicker12},
      {&DateTimePicker13, &DateTimePicker14},
  }};
  const std::array<std::pair<const char*, const char*>, 3> names = {{
      {"DateTimePicker9", "DateTimePicker10"},
      {"DateTimePicker11", "DateTimePicker12"},
      {"DateTimePicker13", "DateTimePicker14"},
  }};
  for (int i = 0; i < 3; ++i) {
    const auto at = static_cast<std::size_t>(i);
    grid->addWidget(RowLabel(GroupBox3, kTimeRowLabels.at(i)), i, 0);
    *pairs.at(at).first = Named(NewDatePicker(GroupBox3), names.at(at).first);
    *pairs.at(at).second = Named(NewTimePicker(GroupBox3), names.at(at).second);
    // A time that cannot be shown leaves its date picker at the first date, shown blank.
    (*pairs.at(at).first)->setSpecialValueText(QStringLiteral(" "));
    grid->addWidget(*pairs.at(at).first, i, 1);
    grid->addWidget(*pairs.at(at).second, i, 2);
  }
  grid->setColumnMinimumWidth(1, 112);
  grid->setColumnMinimumWidth(2, 90);
  grid->setColumnStretch(3, 1);
  column->addWidget(GroupBox3);

  GroupBox1 = AttributeGroup(TabSheet2, "GroupBox1", {&CheckBox16, &CheckBox17, &CheckBox18, &CheckBox23},
                             {"CheckBox16", "CheckBox17", "CheckBox18", "CheckBox23"});
  column->addWidget(GroupBox1);
  Panel4 = ButtonPanel(TabSheet2, "Panel4", &CheckBox5, "CheckBox5", {&BitBtn6, &BitBtn9, &BitBtn5, &BitBtn7},
                       {"BitBtn6", "BitBtn9", "BitBtn5", "BitBtn7"});
  column->addWidget(Panel4);
  return TabSheet2;
}

QWidget* TForm1::BuildBatchTab() {
  TabSheet1 = Named(new QWidget(this), "TabSheet1");
  QVBoxLayout* column = PageLayout(TabSheet1);
  ToolBar3 = ToolBar(TabSheet1, "ToolBar3");
  auto* tools = static_cast<QGridLayout*>(ToolBar3->layout());
  ToolButton9 = ToolButton(ToolBar3, "ToolButton9", QStringLiteral("既定保存"), QStyle::SP_DialogSaveButton,
                           kBatchToolWidth);
  ToolButton10 = ToolButton(ToolBar3, "ToolButton10", QStringLiteral("既定のインポート"),
                            QStyle::SP_DialogOpenButton, kBatchToolWidth);
  ToolButton12 = ToolButton(ToolBar3, "ToolButton12", QStringLiteral("選択したファイルからインポート"),
                            QStyle::SP_FileDialogContentsView, kBatchToolWidth);
  tools->addWidget(ToolButton9, 0, 0);
  tools->addWidget(ToolButton10, 0, 1);
  tools->addWidget(ToolButton12, 1, 0);
  column->addWidget(ToolBar3);
  ListView2 = Named(new PropertyListView(true, TabSheet1), "ListView2");
  connect(ListView2, &PropertyListView::EditRequested, this, &TForm1::ListView2Click);
  column->addWidget(ListView2, 1);

  GroupBox5 = Group(TabSheet1, "GroupBox5", QStringLiteral("ファイル日時"), kTimeGroupHeight);
  auto* grid = new QGridLayout(GroupBox5);
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
      {&CheckBox9, &DateTimePicker1, &CheckBox10, &DateTimePicker2,
       {"CheckBox9", "DateTimePicker1", "CheckBox10", "DateTimePicker2"}},
      {&CheckBox11, &DateTimePicker3, &CheckBox12, &DateTimePicker4,
       {"CheckBox11", "DateTimePicker3", "CheckBox12", "DateTimePicker4"}},
      {&CheckBox13, &DateTimePicker5, &CheckBox14, &DateTimePicker6,
       {"CheckBox13", "DateTimePicker5", "CheckBox14", "DateTimePicker6"}},
  }};
  for (int i = 0; i < 3; ++i) {
    const TimeRow& row = rows.at(static_cast<std::size_t>(i));
    grid->addWidget(RowLabel(GroupBox5, kTimeRowLabels.at(i)), i, 0);
    *row.dateBox = CheckBox(GroupBox5, row.names[0], QString());
    *row.date = Named(NewDatePicker(GroupBox5), row.names[1]);
    *row.timeBox = CheckBox(GroupBox5, row.names[2], QString());
    *row.time = Named(NewTimePicker(GroupBox5), row.names[3]);
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
  column->addWidget(GroupBox5);

  GroupBox2 = AttributeGroup(TabSheet1, "GroupBox2", {&CheckBox1, &CheckBox2, &CheckBox3, &CheckBox8},
                             {"CheckBox1", "CheckBox2", "CheckBox3", "CheckBox8"});
  column->addWidget(GroupBox2);
  Panel2 = ButtonPanel(TabSheet1, "Panel2", &CheckBox4, "CheckBox4", {&BitBtn2, &BitBtn8, &BitBtn3, &BitBtn4},
                       {"BitBtn2", "BitBtn8", "BitBtn3", "BitBtn4"});
  column->addWidget(Panel2);
  return TabSheet1;
}

void TForm1::BuildMenus() {
  MainMenu1 = Named(new QMenuBar(this), "MainMenu1");
  QMenu* fileMenu = MainMenu1->addMenu(QStringLiteral("ファイル(&F)"));
  AddFiles1 = Named(fileMenu->addAction(QStringLiteral("ファイル追加(&A)")), "AddFiles1");
  AddFilesfromfloder1 = Named(fileMenu->addAction(QStringLiteral("フォルダからファイル追加(&D)")), "AddFilesfromfloder1");
  Remove1 = Named(fileMenu->addAction(QStringLiteral("削除(&R)")), "Remove1");
  RemoveAll1 = Named(fileMenu->addAction(QStringLiteral("全て削除(&L)")), "RemoveAll1");
  fileMenu->addSeparator();
  Exit1 = Named(fileMenu->addAction(QStringLiteral("終了(&X)")), "Exit1");
  QMenu* helpMenu = MainMenu1->addMenu(QStringLiteral("ヘルプ(&H)"));
  help2 = Named(helpMenu->addAction(QStringLiteral("ヘルプ(&H)")), "help2");
  Helponline1 = Named(helpMenu->addAction(QStringLiteral("ヘルプオンライン(&O)")), "Helponline1");
  Showhint1 = Named(helpMenu->addAction(QStringLiteral("ヒント(&T)")), "Showhint1");
  Homepage1 = Named(helpMenu->addAction(QStringLiteral("Norvale　ホームページ(&W)")), "Homepage1");
  Emailsupport1 = Named(helpMenu->addAction(QStringLiteral("メールサポート(&M)")), "Emailsupport1");
  about1 = Named(helpMenu->addAction(QStringLiteral("バージョン情報(&A)")), "about1");
  setMenuBar(MainMenu1);

  // Spelled out: the desktop's standard keys differ by platform theme, and some have none.
  AddFiles1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  AddFilesfromfloder1->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
  // Delete removes a file only where the file list has the focus: elsewhere it edits text.
  Remove1->setShortcut(QKeySequence(Qt::Key_Delete));
  Remove1->setShortcutContext(Qt::WidgetShortcut);
  ListView1->addAction(Remove1);
  help2->setShortcut(QKeySequence(Qt::Key_F1));
  Exit1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

  // The list's popup offers the same four commands as the file menu.
  PopupMenu1 = Named(new QMenu(this), "PopupMenu1");
  PopupMenu1->addActions({AddFiles1, AddFilesfromfloder1, Remove1, RemoveAll1});
}

}  // namespace kestrel::app
