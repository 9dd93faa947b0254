#include "app/dialogs/TForm9.h"

namespace kestrel::app {

TForm9::TForm9(QWidget* parent) : QDialog(parent) { setWindowTitle(QStringLiteral("CSVを出力中...")); }

}  // namespace kestrel::app
