#include "app/Pickers.h"

#include <QDateEdit>
#include <QTimeEdit>

#include "app/TypedPickerEntry.h"

namespace kestrel::app {

QDateEdit* NewDatePicker(QWidget* parent) {
  auto* picker = new QDateEdit(parent);
  picker->setDisplayFormat(QStringLiteral("yyyy/MM/dd"));
  picker->setCalendarPopup(true);
  // File times begin in 1601.
  picker->setDateRange(QDate(1601, 1, 1), QDate(9999, 12, 31));
  AcceptTypedValues(*picker);
  return picker;
}

QTimeEdit* NewTimePicker(QWidget* parent) {
  auto* picker = new QTimeEdit(parent);
  picker->setDisplayFormat(QStringLiteral("H:mm:ss"));
  AcceptTypedValues(*picker);
  return picker;
}

}  // namespace kestrel::app
