#pragma once
// A spinner bound to a text box: its two arrows read the box's number, step it by one within the
// range and write it back, like the up-down control that sits beside a number box. The box takes
// digits only, and none that would make a number beyond the range's top.

#include <QWidget>

class QLineEdit;
class QToolButton;

namespace kestrel::app {

class UpDown : public QWidget {
 public:
  // A range of whole numbers from zero up: the box takes no sign.
  UpDown(QLineEdit& buddy, int minimum, int maximum, QWidget* parent);

  int Position() const { return position_; }
  // Clamped to the range; the box is left alone.
  void SetPosition(int position);
  // `number`, clamped to the range, becomes the position and the box's text.
  void SetNumber(int number);
  // The box's number (the position when the box holds none), moved by `delta` within the range,
  // becomes the position and the box's text.
  void Step(int delta);

 private:
  QLineEdit& buddy_;
  const int minimum_;
  const int maximum_;
  int position_;
  QToolButton* up_;
  QToolButton* down_;
};

}  // namespace kestrel::app
