#pragma once
// The date and time pickers of both tabs and of the date-time editor: a date picker shows the
// short date and drops down a calendar, a time picker shows "H:mm:ss" with a spinner.

class QDateEdit;
class QTimeEdit;
class QWidget;

namespace kestrel::app {

QDateEdit* NewDatePicker(QWidget* parent);
QTimeEdit* NewTimePicker(QWidget* parent);

}  // namespace kestrel::app
