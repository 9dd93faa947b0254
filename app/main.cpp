// Program entry: the questions answered without a window, the application object, the five
// windows in their order, the files named on the command line, the event loop.
#include <charconv>
#include <cstddef>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include <netdb.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QApplication>

#include "app/CommandLine.h"
#include "app/DesktopDialogs.h"
#include "app/ProgramWindows.h"
#include "app/ProgramSetup.h"
#include "app/MainWindow.h"
#include "platform/fs/LeftoverJournal.h"

namespace {

constexpr std::string_view kHelp =
    R"(Usage: kestrelpad [FILE...]

Shows and changes the document properties, file times and file attributes of Word, Excel and
PowerPoint files (.doc, .docx, .xls, .xlsx, .ppt, .pptx, their templates and macro-enabled
variants) and OpenDocument files (.odt, .ods, .odp, .odg and their templates) in a window with a
Japanese interface. Each FILE, a path or a file:// URL, is put in the
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

// Whether a stream socket connects to `address`; the connection is closed again at once.
bool Connects(const sockaddr* address, socklen_t length) {
  const int socketFd = socket(address->sa_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (socketFd < 0) return false;
  const bool connected = connect(socketFd, address, length) == 0;
  close(socketFd);
  return connected;
}

// `name` is a path, or starts with '\0' for the abstract namespace.
bool LocalSocketAnswers(const std::string& name) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  name.copy(address.sun_path, sizeof address.sun_path - 1);
  return Connects(reinterpret_cast<const sockaddr*>(&address),
                  static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + name.size()));
}

bool TcpAnswers(const std::string& host, unsigned port) {
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) return false;
  bool answered = false;
  for (const addrinfo* each = found; each != nullptr && !answered; each = each->ai_next) {
    answered = Connects(each->ai_addr, each->ai_addrlen);
  }
  freeaddrinfo(found);
  return answered;
}

// Whether the X server that DISPLAY ([protocol/][host]:number[.screen]) names takes a
// connection, looked for where libxcb looks: a local one on its socket in the abstract namespace
// or in /tmp/.X11-unix, another host's on TCP port 6000 + number. Qt aborts when none answers.
bool XServerAnswers(std::string_view display) {
  const std::size_t colon = display.rfind(':');
  if (colon == std::string_view::npos) return false;
  std::string_view host = display.substr(0, colon);
  std::string_view protocol;
  if (const std::size_t slash = host.find('/'); slash != std::string_view::npos) {
    protocol = host.substr(0, slash);
    host = host.substr(slash + 1);
  }
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  const std::string_view rest = display.substr(colon + 1);
  unsigned number = 0;
  const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), number);
  if (error != std::errc() || number > 65535 - 6000 || (end != rest.data() + rest.size() && *end != '.')) return false;
  if (protocol == "unix" || host.empty() || host == "unix") {
    const std::string path = "/tmp/.X11-unix/X" + std::to_string(number);
    return LocalSocketAnswers('\0' + path) || LocalSocketAnswers(path);
  }
  return TcpAnswers(std::string(host), 6000 + number);
}

// Why the window has nowhere to be shown, or empty when it has: a display, or a platform plugin
// chosen by hand (offscreen, vnc, ...). Without one Qt would abort with a message about plugins
// that helps nobody.
std::string NoDisplay(const std::vector<std::string_view>& arguments) {
  if (IsSet("WAYLAND_DISPLAY") || IsSet("QT_QPA_PLATFORM")) return {};
  for (const std::string_view option : {"-platform", "--platform", "-display", "--display"}) {
    if (Named(arguments, option)) return {};
  }
  if (!IsSet("DISPLAY")) return "neither DISPLAY nor WAYLAND_DISPLAY is set";
  const std::string display = std::getenv("DISPLAY");
  if (!XServerAnswers(display)) return "no X server answers at DISPLAY=" + display;
  return {};
}

// The checkout this executable was built in when it runs from its build folder (below the
// CMakeCache.txt that names the sources); empty when it runs installed.
std::filesystem::path Checkout() {
  std::error_code error;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  for (std::filesystem::path folder = program.parent_path(); folder.has_relative_path(); folder = folder.parent_path()) {
    std::ifstream cache(folder / "CMakeCache.txt");
    constexpr std::string_view kSources = "kestrelpad_SOURCE_DIR:STATIC=";
    for (std::string line; std::getline(cache, line);) {
      if (!line.starts_with(kSources)) continue;
      std::filesystem::path checkout = line.substr(kSources.size());
      return std::filesystem::exists(checkout / "scripts/run.sh") ? checkout : std::filesystem::path();
    }
  }
  return {};
}

// How to start the program on a virtual screen: from a build folder the checkout's run script,
// since only an install puts kestrelpad on the PATH.
void SayNoDisplay(const std::string& why) {
  const std::filesystem::path checkout = Checkout();
  std::cerr << "kestrelpad: no display to show the window on (" << why << ").\n"
            << "kestrelpad is a desktop program. To try it without a desktop, start it on a virtual screen\n"
            << "(xvfb-run comes with the Debian package xvfb)";
  if (checkout.empty()) {
    std::cerr << ":\n  xvfb-run kestrelpad [FILE...]\n";
  } else {
    std::cerr << ", in the folder " << checkout.string() << ":\n  xvfb-run bash scripts/run.sh [FILE...]\n";
  }
  std::cerr << "kestrelpad-cli does the same work on the command line, without a window (kestrelpad-cli --help).\n";
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
  if (const std::string why = NoDisplay(arguments); !why.empty()) {
    SayNoDisplay(why);
    return EXIT_FAILURE;
  }

  // What an earlier run stopped by a kill left behind (a document left writable, a named copy).
  kestrel::fs::RepairLeftovers();
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
