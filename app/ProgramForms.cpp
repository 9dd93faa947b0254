#include "app/ProgramForms.h"

namespace kestrel::app {

// Members are built in the order they are declared, which is the order of the windows.
ProgramForms::ProgramForms(Dialogs& dialogs)
    : form1(dialogs, icons),
      form4(icons, nullptr),
      form5(dialogs, icons, nullptr),
      form7(nullptr),
      form9(dialogs, nullptr) {
  form1.SetHelpWindows(form4, form5);
  form1.SetProgressDialogs(form7, form9);
  for (QDialog* dialog : std::initializer_list<QDialog*>{&form4, &form5, &form7, &form9}) {
    dialog->setWindowIcon(icons.ProgramIcon());
    dialog->setModal(true);
  }
  form1.setWindowIcon(icons.ProgramIcon());
}

}  // namespace kestrel::app
