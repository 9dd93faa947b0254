#pragma once
// The group "ファイル日時" of either tab: a row each for the creation, last-write and last-access
// time, each a date picker and a time picker. On the batch tab a box stands before each picker: a
// checked box sets that part of the file time, and its picker is usable only then.

#include <array>

#include <QGroupBox>

#include "app/TabWidgetNames.h"
#include "catalogue/ChangeChoices.h"
#include "change/ApplyChange.h"
#include "platform/time/FileTime.h"

class QCheckBox;
class QDateEdit;
class QGridLayout;
class QTimeEdit;

namespace kestrel::app {

class FileTimesGroup : public QGroupBox {
 public:
  enum Row { Creation, LastWrite, LastAccess, kRows };

  FileTimesGroup(Tab tab, QWidget* parent);

  // Shows `value` in the row; a value the pickers cannot hold leaves them as they are.
  void ShowTime(Row row, time::LocalDateTime value);
  // Every row shows no time: the date picker at its first date, the time picker at midnight.
  void ShowNoTimes();
  // The pickers show what `other`'s pickers show; the part boxes stay as they are.
  void ShowPickersOf(const FileTimesGroup& other);

  // The six pickers with their boxes; without boxes every part counts as checked.
  catalogue::FileTimeChoices Choices() const;
  change::SinglePickers Pickers() const;
  // Sets the boxes and the pickers; a picker value the pickers cannot hold leaves them as they are.
  void ShowChoices(const catalogue::FileTimeChoices& choices);

 private:
  struct TimeRow {
    QCheckBox* dateBox = nullptr;  // null without part boxes
    QDateEdit* date = nullptr;
    QCheckBox* timeBox = nullptr;
    QTimeEdit* time = nullptr;
  };
  void BuildRow(Tab tab, Row row, QGridLayout& grid);

  std::array<TimeRow, kRows> rows_;
};

}  // namespace kestrel::app
