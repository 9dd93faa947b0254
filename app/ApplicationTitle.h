#pragma once
// The application title: the main window's caption, the about box's product name and the subject
// of support mails. The main window sets it once at start-up.

#include <QString>

namespace kestrel::app {

void SetApplicationTitle(const QString& title);
QString ApplicationTitle();

}  // namespace kestrel::app
