// Program entry. The main window arrives with the GUI work; until then a window shows the
// catalogue rows so the build, the run command and the catalogue can be seen working.
#include <QApplication>
#include <QHeaderView>
#include <QMainWindow>
#include <QTreeWidget>

#include "catalogue/PropertyCatalogue.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QMainWindow window;
  window.setWindowTitle(QStringLiteral("kestrelPad"));
  auto* list = new QTreeWidget(&window);
  list->setHeaderLabels({QStringLiteral("項目"), QStringLiteral("値")});
  for (const auto& row : kestrel::catalogue::Catalogue().Rows()) {
    const QString caption = QString::fromUtf8(row.caption.data(), static_cast<qsizetype>(row.caption.size()));
    list->addTopLevelItem(new QTreeWidgetItem(QStringList{caption, QString()}));
  }
  window.setCentralWidget(list);
  window.resize(640, 480);
  window.show();
  return QApplication::exec();
}
