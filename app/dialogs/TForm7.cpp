#include "app/dialogs/TForm7.h"

namespace kestrel::app {

TForm7::TForm7(QWidget* parent) : QDialog(parent) { setWindowTitle(QStringLiteral("変更中...")); }

}  // namespace kestrel::app
