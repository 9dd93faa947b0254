#pragma once
// The five windows of the program, created in this order and living until it ends: the main
// window, the hint window, the about box and the progress dialogs of the batch change and of the
// CSV export.

#include "app/StatusIcons.h"
#include "app/TForm1.h"
#include "app/dialogs/TForm4.h"
#include "app/dialogs/TForm5.h"
#include "app/dialogs/TForm7.h"
#include "app/dialogs/TForm9.h"

namespace kestrel::app {

class ProgramForms {
 public:
  explicit ProgramForms(Dialogs& dialogs);
  ProgramForms(const ProgramForms&) = delete;
  ProgramForms& operator=(const ProgramForms&) = delete;

  StatusIcons icons;
  TForm1 form1;
  TForm4 form4;
  TForm5 form5;
  TForm7 form7;
  TForm9 form9;
};

}  // namespace kestrel::app
