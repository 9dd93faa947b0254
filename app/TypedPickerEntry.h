#pragma once
// Typing into a date or time picker as people type dates: the picker selects its whole value when
// it gets the focus; a whole value typed over that ("2015/04/02", "9:30", "2015/04/02 9:30:00")
// replaces it, date and time alike, the time going to the paired time picker; digits typed over
// one selected section (the year, the hour, ...) replace that section. What is typed takes effect
// as soon as it is a whole value, so whatever reads the picker then (Enter in an editor, a
// change) reads it.

class QDateEdit;
class QDateTimeEdit;
class QTimeEdit;

namespace kestrel::app {

// Called once for every picker.
void AcceptTypedValues(QDateTimeEdit& picker);

// The time typed into `date` goes to `time`, and the date typed into `time` to `date`.
void PairTypedValues(QDateEdit& date, QTimeEdit& time);

}  // namespace kestrel::app
