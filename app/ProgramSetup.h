#pragma once
// What the application object needs before the first window: the window font mapped to a font
// this system has, the Japanese texts of Qt's own dialogs, and the Japanese locale.

class QApplication;

namespace kestrel::app {

void SetUpProgram(QApplication& application);

}  // namespace kestrel::app
