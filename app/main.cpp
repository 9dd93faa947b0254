// Program entry: the application object, the five windows in their order, the event loop.
#include <exception>

#include <QApplication>

#include "app/DesktopDialogs.h"
#include "app/ProgramForms.h"
#include "app/ProgramSetup.h"

namespace {

// No error may unwind through the event loop; a handler that failed is reported and the program
// goes on.
class KestrelApplication : public QApplication {
 public:
  using QApplication::QApplication;

  bool notify(QObject* receiver, QEvent* event) override {
    try {
      return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
      qWarning("kestrelpad: %s", error.what());
    }
    return false;
  }
};

}  // namespace

int main(int argc, char** argv) {
  KestrelApplication application(argc, argv);
  kestrel::app::SetUpProgram(application);
  kestrel::app::DesktopDialogs dialogs;
  kestrel::app::ProgramForms forms(dialogs);
  forms.form1.show();
  return QApplication::exec();
}
