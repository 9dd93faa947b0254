#include "app/AttributeBoxes.h"

#include <QCheckBox>

namespace kestrel::app {

using catalogue::AttributeChoice;

AttributeChoice ChoiceOf(const QCheckBox& box) {
  switch (box.checkState()) {
    case Qt::Checked:
      return AttributeChoice::Set;
    case Qt::Unchecked:
      return AttributeChoice::Clear;
    default:
      return AttributeChoice::Keep;
  }
}

Qt::CheckState StateOf(AttributeChoice choice) {
  switch (choice) {
    case AttributeChoice::Set:
      return Qt::Checked;
    case AttributeChoice::Clear:
      return Qt::Unchecked;
    default:
      return Qt::PartiallyChecked;
  }
}

}  // namespace kestrel::app
