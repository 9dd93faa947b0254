#pragma once
// The group "ファイル属性" of either tab: the three-state boxes read-only, archive, hidden and
// system. Checked sets the attribute, unchecked clears it, grayed (as they start) leaves it as the
// file has it.

#include <array>
#include <cstdint>

#include <QGroupBox>

#include "app/TabWidgetNames.h"
#include "catalogue/ChangeChoices.h"

class QCheckBox;

namespace kestrel::app {

class AttributeBoxes : public QGroupBox {
 public:
  AttributeBoxes(Tab tab, QWidget* parent);

  catalogue::AttributeChoices Choices() const;
  void ShowChoices(const catalogue::AttributeChoices& choices);
  // Checks the boxes of the attributes set in `attributes` (file attribute bits), unchecks the others.
  void ShowAttributes(std::uint32_t attributes);

 private:
  std::array<QCheckBox*, 4> boxes_{};
};

}  // namespace kestrel::app
