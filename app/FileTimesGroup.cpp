#include "app/FileTimesGroup.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QLabel>
#include <QTimeEdit>

#include "app/PickerValues.h"
#include "app/Pickers.h"
#include "app/TypedPickerEntry.h"

namespace kestrel::app {
namespace {

using catalogue::FileTimeChoices;
using catalogue::TimePartChoice;

constexpr int kGroupHeight = 105;
constexpr int kDateColumnWidth = 112;
constexpr int kTimeColumnWidth = 90;

// A row: its label, the names of its pickers and the choices they make.
struct RowDefinition {
  const char* label;
  const char* date;
  const char* time;
  TimePartChoice FileTimeChoices::*dateChoice;
  TimePartChoice FileTimeChoices::*timeChoice;
};

const std::array<RowDefinition, FileTimesGroup::kRows> kRowDefinitions = {{
    {"作成日時：", "creationDate", "creationTime", &FileTimeChoices::creationDate, &FileTimeChoices::creationTime},
    {"更新時間：", "lastWriteDate", "lastWriteTime", &FileTimeChoices::lastWriteDate,
     &FileTimeChoices::lastWriteTime},
    {"アクセス日時：", "lastAccessDate", "lastAccessTime", &FileTimeChoices::lastAccessDate,
     &FileTimeChoices::lastAccessTime},
}};

// The box before a picker, named after it.
QCheckBox* BoxBefore(Tab tab, const char* pickerName, QWidget* group) {
  auto* box = new QCheckBox(group);
  box->setObjectName(WidgetName(tab, pickerName) + QStringLiteral("Box"));
  return box;
}

}  // namespace

FileTimesGroup::FileTimesGroup(Tab tab, QWidget* parent) : QGroupBox(QStringLiteral("ファイル日時"), parent) {
  setObjectName(WidgetName(tab, "fileTimesGroup"));
  setFixedHeight(kGroupHeight);
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(8, 4, 8, 6);
  grid->setVerticalSpacing(4);
  for (int row = 0; row < kRows; ++row) BuildRow(tab, static_cast<Row>(row), *grid);
  const int dateColumn = tab == Tab::Batch ? 2 : 1;
  const int timeColumn = tab == Tab::Batch ? 4 : 2;
  grid->setColumnMinimumWidth(dateColumn, kDateColumnWidth);
  grid->setColumnMinimumWidth(timeColumn, kTimeColumnWidth);
  grid->setColumnStretch(timeColumn + 1, 1);
}

void FileTimesGroup::BuildRow(Tab tab, Row row, QGridLayout& grid) {
  const auto at = static_cast<std::size_t>(row);
  const RowDefinition& definition = kRowDefinitions.at(at);
  TimeRow& built = rows_.at(at);
  const bool withBoxes = tab == Tab::Batch;
  // Made in the order Tab moves through them: label, box, date, box, time.
  int column = 0;
  grid.addWidget(new QLabel(QString::fromUtf8(definition.label), this), row, column++);
  // Names a screen reader tells apart: the row's time without its colon, then the part.
  const QString time = QString::fromUtf8(definition.label).chopped(1);
  if (withBoxes) grid.addWidget(built.dateBox = BoxBefore(tab, definition.date, this), row, column++);
  built.date = NewDatePicker(this);
  built.date->setObjectName(WidgetName(tab, definition.date));
  built.date->setAccessibleName(time + QStringLiteral("の日付"));
  if (withBoxes) built.dateBox->setAccessibleName(time + QStringLiteral("の日付を変更する"));
  grid.addWidget(built.date, row, column++);
  if (withBoxes) grid.addWidget(built.timeBox = BoxBefore(tab, definition.time, this), row, column++);
  built.time = NewTimePicker(this);
  built.time->setObjectName(WidgetName(tab, definition.time));
  built.time->setAccessibleName(time + QStringLiteral("の時刻"));
  if (withBoxes) built.timeBox->setAccessibleName(time + QStringLiteral("の時刻を変更する"));
  grid.addWidget(built.time, row, column);
  PairTypedValues(*built.date, *built.time);
  if (!withBoxes) {
    // A time that cannot be shown leaves its date picker at the first date, shown blank.
    built.date->setSpecialValueText(QStringLiteral(" "));
    return;
  }
  connect(built.dateBox, &QCheckBox::toggled, built.date, &QWidget::setEnabled);
  connect(built.timeBox, &QCheckBox::toggled, built.time, &QWidget::setEnabled);
  built.dateBox->setChecked(true);
  built.timeBox->setChecked(true);
}

void FileTimesGroup::ShowTime(Row row, time::LocalDateTime value) {
  if (const std::optional<PickerValue> shown = ToPickerValue(value)) {
    const TimeRow& pickers = rows_.at(static_cast<std::size_t>(row));
    pickers.date->setDate(shown->date);
    pickers.time->setTime(shown->time);
  }
}

void FileTimesGroup::ShowNoTimes() {
  for (const TimeRow& row : rows_) {
    row.date->setDate(row.date->minimumDate());
    row.time->setTime(QTime(0, 0));
  }
}

void FileTimesGroup::ShowPickersOf(const FileTimesGroup& other) {
  for (std::size_t row = 0; row < rows_.size(); ++row) {
    rows_.at(row).date->setDate(other.rows_.at(row).date->date());
    rows_.at(row).time->setTime(other.rows_.at(row).time->time());
  }
}

catalogue::FileTimeChoices FileTimesGroup::Choices() const {
  FileTimeChoices choices;
  for (std::size_t row = 0; row < rows_.size(); ++row) {
    const TimeRow& pickers = rows_.at(row);
    const RowDefinition& definition = kRowDefinitions.at(row);
    choices.*definition.dateChoice = {pickers.dateBox == nullptr || pickers.dateBox->isChecked(),
                                 DateValue(pickers.date->date())};
    choices.*definition.timeChoice = {pickers.timeBox == nullptr || pickers.timeBox->isChecked(),
                                 TimeValue(pickers.time->time())};
  }
  return choices;
}

change::SinglePickers FileTimesGroup::Pickers() const {
  const FileTimeChoices choices = Choices();
  return {choices.creationDate.picker,  choices.creationTime.picker,   choices.lastWriteDate.picker,
          choices.lastWriteTime.picker, choices.lastAccessDate.picker, choices.lastAccessTime.picker};
}

void FileTimesGroup::ShowChoices(const catalogue::FileTimeChoices& choices) {
  for (std::size_t row = 0; row < rows_.size(); ++row) {
    const TimeRow& pickers = rows_.at(row);
    const TimePartChoice& date = choices.*kRowDefinitions.at(row).dateChoice;
    const TimePartChoice& time = choices.*kRowDefinitions.at(row).timeChoice;
    // Setting a box runs its state change, which enables or disables its picker.
    if (pickers.dateBox != nullptr) pickers.dateBox->setChecked(date.checked);
    if (pickers.timeBox != nullptr) pickers.timeBox->setChecked(time.checked);
    if (const auto shown = ToPickerValue(date.picker)) pickers.date->setDate(shown->date);
    if (const auto shown = ToPickerValue(time.picker)) pickers.time->setTime(shown->time);
  }
}

}  // namespace kestrel::app
