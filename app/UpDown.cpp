#include "app/UpDown.h"

#include <algorithm>

#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>
#include <QValidator>

#include "platform/text/DecimalText.h"

namespace kestrel::app {
namespace {

QToolButton* ArrowButton(Qt::ArrowType arrow, QWidget* parent) {
  auto* button = new QToolButton(parent);
  button->setArrowType(arrow);
  button->setAccessibleName(arrow == Qt::UpArrow ? QStringLiteral("値を増やす") : QStringLiteral("値を減らす"));
  button->setAutoRepeat(true);
  // The box keeps the focus, as with any spinner.
  button->setFocusPolicy(Qt::NoFocus);
  button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  return button;
}

// Refuses any edit that leaves more than digits in the box or a number above the range; one
// below it is taken as the start of a longer number.
class RangeDigits : public QValidator {
 public:
  RangeDigits(int minimum, int maximum, QObject* parent) : QValidator(parent), minimum_(minimum), maximum_(maximum) {}

  State validate(QString& input, int& /*position*/) const override {
    long long number = 0;
    for (QChar& c : input) {
      // Full-width digits, as a Japanese input method types them, are digits too.
      if (c >= u'０' && c <= u'９') c = QChar(static_cast<char16_t>(u'0' + (c.unicode() - u'０')));
      if (c < u'0' || c > u'9') return Invalid;
      // Capped just above the top, so no number of digits overflows.
      number = std::min(number * 10 + (c.unicode() - u'0'), maximum_ + 1LL);
    }
    if (number > maximum_) return Invalid;
    return input.isEmpty() || number < minimum_ ? Intermediate : Acceptable;
  }

 private:
  const int minimum_;
  const int maximum_;
};

}  // namespace

UpDown::UpDown(QLineEdit& buddy, int minimum, int maximum, QWidget* parent)
    : QWidget(parent),
      buddy_(buddy),
      minimum_(minimum),
      maximum_(maximum),
      position_(minimum),
      up_(ArrowButton(Qt::UpArrow, this)),
      down_(ArrowButton(Qt::DownArrow, this)) {
  buddy_.setValidator(new RangeDigits(minimum, maximum, &buddy_));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(up_);
  layout->addWidget(down_);
  connect(up_, &QToolButton::clicked, this, [this] { Step(1); });
  connect(down_, &QToolButton::clicked, this, [this] { Step(-1); });
}

void UpDown::SetPosition(int position) { position_ = std::clamp(position, minimum_, maximum_); }

void UpDown::SetNumber(int number) {
  SetPosition(number);
  buddy_.setText(QString::number(position_));
}

void UpDown::Step(int delta) {
  const std::optional<std::int32_t> typed = text::ParseInt32(buddy_.text().toStdString());
  SetPosition(typed.value_or(position_));
  SetNumber(position_ + delta);
}

}  // namespace kestrel::app
