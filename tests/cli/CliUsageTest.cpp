// kestrelpad-cli's command line: help, usage errors, and the option forms.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "tests/cli/CliRun.h"
#include "tests/support/TestSupport.h"

namespace kestrel::test {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::StartsWith;

TEST(CliHelp, DescribesTheProgramAndEachCommand) {
  const TempDir dir;
  struct Case {
    std::vector<std::string> words;
    std::string usage;
  };
  for (const Case& c : std::vector<Case>{{{"--help"}, "Usage: kestrelpad-cli COMMAND"},
                                         {{"-h"}, "Usage: kestrelpad-cli COMMAND"},
                                         {{"show", "--help"}, "Usage: kestrelpad-cli show [--all] [--json] FILE..."},
                                         {{"clean", "-h"}, "Usage: kestrelpad-cli clean"},
                                         {{"export", "-h"}, "Usage: kestrelpad-cli export [--utf8] -o OUT.csv FILE..."},
                                         {{"set", "--title", "x", "--help", "a.doc"}, "Usage: kestrelpad-cli set"}}) {
    const CliResult result = RunCli(c.words, dir.Path());
    EXPECT_EQ(result.exitCode, 0) << c.words[0];
    EXPECT_EQ(result.err, "");
    EXPECT_THAT(result.out, StartsWith(c.usage));
    EXPECT_THAT(result.out, HasSubstr("Exit status: 0 "));
  }
  const std::string setHelp = RunCli({"set", "--help"}, dir.Path()).out;
  for (const char* option :
       {"--title", "--subject", "--author", "--keywords", "--comments", "--category", "--revision", "--last-author",
        "--manager", "--company", "--created", "--saved", "--editing-minutes", "--printed", "--file-created-date",
        "--file-created-time", "--file-modified-date", "--file-modified-time", "--file-accessed-date",
        "--file-accessed-time", "--readonly", "--archive", "--hidden", "--system", "--backup", "--custom",
        "--custom-number", "--custom-date", "--custom-yes-no", "--remove-custom", "--remove-all-custom"}) {
    EXPECT_THAT(setHelp, HasSubstr(std::string(option) + " ")) << option;
  }
  EXPECT_THAT(RunCli({"--help"}, dir.Path()).out, HasSubstr("yyyy/MM/dd H:mm:ss"));
  // Nothing was taken for a file.
  EXPECT_TRUE(fs::is_empty(dir.Path()));
}

// The version of the project(...) line of the top CMakeLists.txt.
std::string ProjectVersion() {
  std::ifstream in(std::string(KESTREL_SOURCE_DIR) + "/CMakeLists.txt");
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::smatch match;
  EXPECT_TRUE(std::regex_search(text, match, std::regex(R"(project\(kestrelpad VERSION ([0-9.]+))")));
  return match.str(1);
}

TEST(CliVersion, PrintsTheProjectVersionAndTheHelpSaysSo) {
  const TempDir dir;
  const CliResult result = RunCli({"--version"}, dir.Path());
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.out, "kestrelpad-cli " + ProjectVersion() + "\n");
  EXPECT_THAT(RunCli({"--help"}, dir.Path()).out, HasSubstr("kestrelpad-cli --version"));
}

TEST(CliUsage, ErrorsExitWithTwoAUsageLineAndNothingDone) {
  const TempDir dir;
  const fs::path file = dir.Copy(DataFile("lo-ascii-full.docx"), "a.docx");
  const std::vector<std::uint8_t> bytes = ReadBytes(file);
  struct Case {
    std::vector<std::string> words;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{}, "no command given"},
      {{"list", "a.docx"}, "unknown command \"list\""},
      {{"show"}, "no FILE given"},
      {{"show", "--bogus", "a.docx"}, "unknown option --bogus"},
      {{"show", "--help=yes"}, "option --help takes no value"},
      {{"export", "a.docx"}, "no output file given"},
      {{"export", "-o", "a.csv", "--output=b.csv", "a.docx"}, "option --output given twice"},
      {{"export", "-o", "a.csv"}, "no FILE given"},
      {{"export", "a.docx", "-o"}, "option -o needs a value"},
      {{"set", "--title", "x"}, "no FILE given"},
      {{"set", "a.docx"}, "nothing to change"},
      {{"set", "--backup", "a.docx"}, "nothing to change"},
      {{"set", "--backup=yes", "--title", "x", "a.docx"}, "option --backup takes no value"},
      {{"set", "a.docx", "--title"}, "option --title needs a value"},
      {{"set", "--title", "x", "--title=y", "a.docx"}, "option --title given twice"},
      {{"set", "--titel", "x", "a.docx"}, "unknown option --titel"},
      {{"set", "--title", std::string("\xff\xfe", 2), "a.docx"}, "option --title takes UTF-8 text"},
      {{"set", "--readonly", "yes", "a.docx"}, "option --readonly takes on or off"},
      {{"set", "--hidden=", "a.docx"}, "option --hidden takes on or off"},
      {{"set", "--revision", "three", "a.docx"}, "option --revision takes a whole number"},
      {{"set", "--editing-minutes", "32768", "a.docx"}, "option --editing-minutes takes a whole number"},
      {{"set", "--editing-minutes", "-1", "a.docx"}, "option --editing-minutes takes a whole number"},
      {{"set", "--created", "yesterday", "a.docx"}, "option --created takes a date and time"},
      {{"set", "--saved", "", "a.docx"}, "option --saved takes a date and time"},
      {{"set", "--printed", "2020/02/30", "a.docx"}, "option --printed takes a date and time"},
      {{"set", "--file-created-date", "2021/02/29", "a.docx"}, "option --file-created-date takes a date"},
      {{"set", "--file-created-date", "2021/02/03 9:00", "a.docx"}, "option --file-created-date takes a date"},
      {{"set", "--file-modified-date", "1600/12/31", "a.docx"}, "option --file-modified-date takes a date"},
      {{"set", "--file-modified-time", "24:00", "a.docx"}, "option --file-modified-time takes a time"},
      {{"set", "--file-accessed-time", "", "a.docx"}, "option --file-accessed-time takes a time"},
      {{"set", "--file-accessed-time", "2021/02/03 9:00", "a.docx"}, "option --file-accessed-time takes a time"},
      {{"set", "--custom", "novalue", "a.docx"}, "option --custom takes NAME=VALUE"},
      {{"set", "--custom", "=x", "a.docx"}, "option --custom takes NAME=VALUE"},
      {{"set", "--custom-number", "n=12a", "a.docx"}, "option --custom-number: \"12a\" is not a number"},
      {{"set", "--custom-yes-no", "n=maybe", "a.docx"}, "option --custom-yes-no: \"maybe\" is not"},
      {{"set", "--custom", "Case=1", "--remove-custom", "CASE", "a.docx"}, "custom property \"CASE\" given twice"},
      {{"set", "--remove-all-custom", "--remove-all-custom", "a.docx"}, "option --remove-all-custom given twice"},
      {{"clean", "--keep", "everything", "a.docx"}, "option --keep takes one of the items"},
      {{"clean", "--keep=author", "--keep=last-author", "--keep=manager", "--keep=company", "--keep=comments",
        "--keep=printed", "--keep=custom", "--keep=template", "--keep=hyperlink-base", "a.docx"},
       "nothing to remove"},
      {{"clean"}, "no FILE given"},
  };
  for (const Case& c : cases) {
    const std::string shown = c.words.empty() ? "(none)" : c.words[0] + " " + c.message;
    const CliResult result = RunCli(c.words, dir.Path());
    EXPECT_EQ(result.exitCode, 2) << shown;
    EXPECT_EQ(result.out, "") << shown;
    EXPECT_THAT(result.err, HasSubstr("kestrelpad-cli: " + c.message)) << shown;
    EXPECT_THAT(result.err, HasSubstr("Usage: kestrelpad-cli ")) << shown;
    EXPECT_THAT(result.err, HasSubstr("--help\" for more")) << shown;
  }
  EXPECT_EQ(ReadBytes(file), bytes);
  EXPECT_FALSE(fs::exists(dir.Path() / "a.csv"));
  EXPECT_FALSE(fs::exists(dir.Path() / "b.csv"));
}

TEST(CliUsage, WordsAfterADoubleDashAreFileNames) {
  const TempDir dir;
  const fs::path file = dir.Copy(DataFile("lo-ascii-full.docx"), "--title.docx");

  const CliResult result = RunCli({"set", "--title", "-", "--", "--title.docx"}, dir.Path());

  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, "changed: --title.docx\n");
  EXPECT_EQ(PartTexts(file, "docProps/core.xml").at("title"), "-");
}

}  // namespace
}  // namespace kestrel::test
