// The program's command line: the files it names reach the file list as a drop would bring them,
// --help and --version are answered without a display, and without one the program says how to
// try it. And the help page is found beside the executable or where an install puts it.
#include <filesystem>
#include <fstream>

#include <QDir>
#include <QLabel>
#include <QUrl>

#include <gmock/gmock.h>

#include "app/CommandLine.h"
#include "app/DataFiles.h"
#include "tests/app/MainWindowFixture.h"

namespace kestrel::app::test {
namespace {

using CommandLineTest = MainWindowFixture;
using ::testing::AllOf;
using ::testing::Eq;
using ::testing::HasSubstr;
using ::testing::StartsWith;

// The program at `program` run with `arguments` and no display of any kind but what `display`
// sets ("DISPLAY=...").
kestrel::test::CommandResult RunProgram(const std::filesystem::path& program, const std::string& display,
                                        const std::string& arguments) {
  return kestrel::test::RunCommand("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + display + " " +
                                   kestrel::test::ShellQuote(program.string()) + " " + arguments);
}

TEST_F(CommandLineTest, PathsAndFileUrlsAreListedAsADropListsThem) {
  const QString relative = CopyOf("lo-ascii-full.doc", "relative.doc");
  const QString absolute = CopyOf("lo-ja-full.docx", "absolute.docx");
  const QString spaced = CopyOf("lo-ja-full.doc", "月次 報告#1.doc");
  std::ofstream(dir_.Path() / "notes.txt").put('x');
  const QString folder = QString::fromStdString(dir_.Path().string());
  const QString previous = QDir::currentPath();
  QDir::setCurrent(folder);
  const QStringList paths = FilesOnCommandLine({QStringLiteral("relative.doc"), absolute,
                                                QUrl::fromLocalFile(spaced).toString(QUrl::FullyEncoded),
                                                QStringLiteral("missing.doc"), QStringLiteral("notes.txt"), folder,
                                                QStringLiteral("https://www.norvale.example/a.doc"), absolute});
  QDir::setCurrent(previous);

  Window().FilesDropped(paths);

  EXPECT_EQ(ListedPaths().join(u'\n').toStdString(), QStringList({relative, absolute, spaced}).join(u'\n').toStdString());
  EXPECT_EQ(SelectedFile(), 2);
}

TEST_F(CommandLineTest, HelpAndVersionNeedNoDisplayAndWithoutOneTheProgramSaysHowToTryIt) {
  // The version the about box shows.
  const std::string version = Windows().about.version->text().section(u' ', -1).toStdString();
  const std::filesystem::path built = std::filesystem::path(KESTREL_APP_DIR) / "kestrelpad";
  // Outside a build folder, as an install puts it.
  const std::filesystem::path installed = dir_.Path() / "kestrelpad";
  std::filesystem::copy_file(built, installed);
  const std::string fromCheckout =
      "in the folder " + std::string(KESTREL_SOURCE_DIR) + ":\n  xvfb-run bash scripts/run.sh [FILE...]\n";
  struct Case {
    std::filesystem::path program;
    std::string display;
    std::string arguments;
    int exitCode;
    ::testing::Matcher<const std::string&> output;
  };
  for (const Case& c : std::vector<Case>{
           {built, "", "--version", 0, Eq("kestrelpad " + version + "\n")},
           {built, "", "--help", 0, StartsWith("Usage: kestrelpad [FILE...]\n")},
           {built, "", "-h", 0, StartsWith("Usage: kestrelpad [FILE...]\n")},
           {built, "", "a.docx", 1,
            AllOf(HasSubstr("neither DISPLAY nor WAYLAND_DISPLAY is set"), HasSubstr(fromCheckout))},
           // A display no X server answers at: no abort inside Qt.
           {built, "DISPLAY=:987", "a.docx", 1,
            AllOf(HasSubstr("no X server answers at DISPLAY=:987"), HasSubstr(fromCheckout))},
           {installed, "", "a.docx", 1,
            AllOf(HasSubstr("kestrelpad is a desktop program"), HasSubstr("xvfb-run kestrelpad [FILE...]"))}}) {
    const kestrel::test::CommandResult run = RunProgram(c.program, c.display, c.arguments);
    EXPECT_EQ(run.exitCode, c.exitCode) << c.program << " " << c.display << " " << c.arguments;
    EXPECT_THAT(run.output, c.output) << c.program << " " << c.display << " " << c.arguments;
  }
}

TEST(DataFiles, TheHelpPageIsFoundBesideTheProgramElseWhereAnInstallPutsIt) {
  struct Case {
    std::vector<std::string> present;  // relative to a folder holding bin/ and share/
    std::string found;
  };
  for (const Case& c : std::vector<Case>{{{"bin/Help.html", "share/kestrelpad/Help.html"}, "bin/Help.html"},
                                         {{"share/kestrelpad/Help.html"}, "share/kestrelpad/Help.html"},
                                         {{"share/Help.html"}, "bin/Help.html"}}) {
    const kestrel::test::TempDir root;
    std::filesystem::create_directories(root.Path() / "bin");
    for (const std::string& file : c.present) {
      std::filesystem::create_directories((root.Path() / file).parent_path());
      std::ofstream(root.Path() / file) << "<html></html>";
    }
    const QString bin = QString::fromStdString((root.Path() / "bin").string());
    EXPECT_EQ(DataFilePath(bin, QStringLiteral("Help.html")).toStdString(), (root.Path() / c.found).string())
        << c.found;
  }
}

}  // namespace
}  // namespace kestrel::app::test
