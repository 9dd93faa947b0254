#include "app/TypedPickerEntry.h"

#include <QDateEdit>
#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QRegularExpression>
#include <QSignalBlocker>
#include <QTimeEdit>
#include <QTimer>

#include <optional>

namespace kestrel::app {
namespace {

// A whole value: a date, a time of day, or both.
struct TypedValue {
  std::optional<QDate> date;
  std::optional<QTime> time;
};

std::optional<TypedValue> ParseTyped(const QString& text) {
  static const QRegularExpression kWhole(QStringLiteral(
      R"(^\s*(?:(\d{4})[/-](\d{1,2})[/-](\d{1,2}))?\s*(?:(\d{1,2}):(\d{2})(?::(\d{2}))?)?\s*$)"));
  const QRegularExpressionMatch match = kWhole.match(text);
  if (!match.hasMatch() || text.trimmed().isEmpty()) return std::nullopt;
  TypedValue value;
  if (match.hasCaptured(1)) {
    const QDate date(match.captured(1).toInt(), match.captured(2).toInt(), match.captured(3).toInt());
    if (!date.isValid()) return std::nullopt;
    value.date = date;
  }
  if (match.hasCaptured(4)) {
    const QTime time(match.captured(4).toInt(), match.captured(5).toInt(),
                     match.hasCaptured(6) ? match.captured(6).toInt() : 0);
    if (!time.isValid()) return std::nullopt;
    value.time = time;
  }
  return value;
}

class TypedEntry : public QObject {
 public:
  explicit TypedEntry(QDateTimeEdit& picker)
      : QObject(&picker), picker_(picker), line_(*picker.findChild<QLineEdit*>()) {}

  QPointer<QDateTimeEdit> partner;

  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::FocusIn) {
      // After the picker's own focus handling, which selects a section.
      QTimer::singleShot(0, &picker_, [this] { picker_.selectAll(); });
      typed_.clear();
      return false;
    }
    if (event->type() == QEvent::FocusOut) typed_.clear();
    if (event->type() != QEvent::KeyPress) return false;
    return KeyPressed(*static_cast<QKeyEvent*>(event));
  }

 private:
  static bool Typed(const QString& text) {
    return text.size() == 1 && (text[0].isDigit() || QStringLiteral("/-: ").contains(text[0]));
  }

  // Tab leaves the picker, as it leaves any other field, instead of walking through its sections.
  bool MoveFocus(bool forward) {
    QWidget* next = &picker_;
    do {
      next = forward ? next->nextInFocusChain() : next->previousInFocusChain();
    } while (next != &picker_ && (picker_.isAncestorOf(next) || !next->isVisibleTo(picker_.window()) ||
                                  !next->isEnabled() || (next->focusPolicy() & Qt::TabFocus) == 0));
    if (next == &picker_) return false;
    next->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    return true;
  }

  bool KeyPressed(const QKeyEvent& key) {
    if ((key.key() == Qt::Key_Tab || key.key() == Qt::Key_Backtab) &&
        (key.modifiers() & (Qt::ControlModifier | Qt::AltModifier)) == 0) {
      typed_.clear();
      return MoveFocus(key.key() == Qt::Key_Tab);
    }
    if (key.key() == Qt::Key_Backspace && !typed_.isEmpty() && section_ == QDateTimeEdit::NoSection) {
      typed_.chop(1);
      Show(typed_);
      return true;
    }
    if (!Typed(key.text()) || (key.modifiers() & (Qt::ControlModifier | Qt::AltModifier)) != 0) {
      typed_.clear();
      return false;
    }
    if (typed_.isEmpty()) {
      const QString selected = line_.selectedText();
      if (!selected.isEmpty() && selected == line_.text()) {
        section_ = QDateTimeEdit::NoSection;
      } else if (!selected.isEmpty() && key.text()[0].isDigit() &&
                 selected == picker_.sectionText(picker_.currentSection())) {
        section_ = picker_.currentSection();
        before_ = line_.selectionStart();
        sectionText_ = line_.text();
        width_ = static_cast<int>(selected.size());
      } else {
        return false;  // the picker's own way
      }
    }
    typed_ += key.text();
    if (section_ == QDateTimeEdit::NoSection) {
      TakeWhole();
    } else {
      TakeSection();
    }
    return true;
  }

  void TakeWhole() {
    if (const std::optional<TypedValue> value = ParseTyped(typed_)) Apply(*value);
    Show(typed_);
  }

  void TakeSection() {
    if (!typed_.back().isDigit()) {
      typed_.chop(1);
      return;
    }
    QString text = sectionText_;
    text.replace(before_, width_, typed_.rightJustified(width_, u'0'));
    if (const std::optional<TypedValue> value = ParseTyped(text)) Apply(*value);
    const QDateTimeEdit::Section section = section_;
    if (typed_.size() >= width_) {
      typed_.clear();
      section_ = QDateTimeEdit::NoSection;
    } else {
      text = sectionText_;
      text.replace(before_, width_, typed_);
      Show(text);
    }
    picker_.setSelectedSection(section);
  }

  void Apply(const TypedValue& value) {
    for (QDateTimeEdit* picker : {&picker_, partner.data()}) {
      if (picker == nullptr) continue;
      const bool dates = qobject_cast<QDateEdit*>(picker) != nullptr;
      if (dates && value.date) picker->setDate(*value.date);
      if (!dates && value.time) picker->setTime(*value.time);
    }
  }

  // What was typed so far, without the picker reading it back.
  void Show(const QString& text) {
    const QSignalBlocker quiet(line_);
    line_.setText(text);
  }

  QDateTimeEdit& picker_;
  QLineEdit& line_;
  QString typed_;
  QDateTimeEdit::Section section_ = QDateTimeEdit::NoSection;
  qsizetype before_ = 0;
  qsizetype width_ = 0;
  QString sectionText_;
};

TypedEntry* EntryOf(QDateTimeEdit& picker) {
  for (QObject* child : picker.children()) {
    if (auto* entry = dynamic_cast<TypedEntry*>(child)) return entry;
  }
  return nullptr;
}

}  // namespace

void AcceptTypedValues(QDateTimeEdit& picker) { picker.installEventFilter(new TypedEntry(picker)); }

void PairTypedValues(QDateEdit& date, QTimeEdit& time) {
  EntryOf(date)->partner = &time;
  EntryOf(time)->partner = &date;
}

}  // namespace kestrel::app
