// Program entry: the questions answered without a window, the application object, the five
// windows in their order, the files named on the command line, the event loop.
#include <cstdlib>
#include <exception>
#include <iostream>
#include <string_view>
#include <vector>

#include <QApplication>

#include "app/CommandLine.h"
#include "app/DesktopDialogs.h"
#include "app/ProgramWindows.h"
#include "app/ProgramSetup.h"
#include "app/MainWindow.h"

namespace {

constexpr std::string_view kHelp =
    R"(Usage: kestrelpad [FILE...]

Shows and changes the document properties, file times and file attributes of Word, Excel and
PowerPoint files (.doc, .docx, .xls, .xlsx, .ppt, .pptx, their templates and macro-enabled
variants) in a window with a Japanese interface. Each FILE, a path or a file:// URL, is put in the
file list as a file dropped on it would be: files that do not exist, folders and names with
other extensions are left out.

Options:
  -h, --help   this text
  --version    the version
Qt's own options (-platform NAME, -style NAME, ...) apply as well.

kestrelpad is a desktop program and needs a display. Without one, start it on a virtual screen:
  xvfb-run kestrelpad [FILE...]
kestrelpad-cli does the same work on the command line, without a window.
)";

constexpr std::string_view kNoDisplay =
    R"(kestrelpad: no display to show the window on (neither DISPLAY nor WAYLAND_DISPLAY is set).
kestrelpad is a desktop program. To try it without a desktop, start it on a virtual screen:
  xvfb-run kestrelpad [FILE...]
kestrelpad-cli does the same work on the command line, without a window (kestrelpad-cli --help).
)";

bool Named(const std::vector<std::string_view>& arguments, std::string_view name) {
  for (const std::string_view argument : arguments) {
    if (argument == name) return true;
  }
  return false;
}

bool IsSet(const char* variable) {
  const char* value = std::getenv(variable);
  return value != nullptr && *value != '\0';
}

// Some platform to show the window on: a display, or a platform plugin chosen by hand (offscreen,
// vnc, ...). Without one Qt would abort with a message about plugins that helps nobody.
bool HasPlatform(const std::vector<std::string_view>& arguments) {
  return IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY") || IsSet("QT_QPA_PLATFORM") || Named(arguments, "-platform") ||
         Named(arguments, "--platform");
}

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
  // Answered before the application object, which needs a display.
  const std::vector<std::string_view> arguments(argv + 1, argv + argc);
  if (Named(arguments, "--version")) {
    std::cout << "kestrelpad " << KESTREL_VERSION << '\n';
    return EXIT_SUCCESS;
  }
  if (Named(arguments, "--help") || Named(arguments, "-h")) {
    std::cout << kHelp;
    return EXIT_SUCCESS;
  }
  if (!HasPlatform(arguments)) {
    std::cerr << kNoDisplay;
    return EXIT_FAILURE;
  }

  KestrelApplication application(argc, argv);
  // Ties the window to the installed desktop entry and its icon.
  QGuiApplication::setDesktopFileName(QStringLiteral("example.norvale.kestrelpad"));
  kestrel::app::SetUpProgram(application);
  kestrel::app::DesktopDialogs dialogs;
  kestrel::app::ProgramWindows windows(dialogs);
  windows.mainWindow.show();
  // Qt has taken its own options out of the arguments by now.
  windows.mainWindow.FilesDropped(kestrel::app::FilesOnCommandLine(QCoreApplication::arguments().mid(1)));
  return QApplication::exec();
}
