#pragma once
// Both tabs build the same groups of widgets; the batch tab's carry "batch" before their names
// ("readOnlyBox" there is "batchReadOnlyBox"), so each widget of the window has a name of its own.

#include <QString>

namespace kestrel::app {

enum class Tab { Single, Batch };

inline QString WidgetName(Tab tab, const char* name) {
  QString named = QString::fromLatin1(name);
  if (tab == Tab::Single) return named;
  named[0] = named[0].toUpper();
  return QStringLiteral("batch") + named;
}

}  // namespace kestrel::app
