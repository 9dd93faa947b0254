#pragma once
// The three-state attribute boxes of both tabs as the choices the services take: checked sets the
// attribute, unchecked clears it, grayed leaves it as the file has it.

#include <Qt>

#include "catalogue/ChangeChoices.h"

class QCheckBox;

namespace kestrel::app {

catalogue::AttributeChoice ChoiceOf(const QCheckBox& box);
Qt::CheckState StateOf(catalogue::AttributeChoice choice);

}  // namespace kestrel::app
