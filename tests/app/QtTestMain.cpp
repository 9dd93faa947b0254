// GoogleTest entry for the GUI tests: one application object on the offscreen platform, set up
// as the program sets itself up, with the user's settings in a folder of the test process.
#include <QApplication>

#include <gtest/gtest.h>

#include "app/ProgramSetup.h"
#include "tests/app/ScopedSettingsFolder.h"

int main(int argc, char** argv) {
  // Also when the test list is taken at build time, where no display is set.
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  kestrel::app::SetUpProgram(application);
  kestrel::app::test::UseProcessSettingsFolder();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
