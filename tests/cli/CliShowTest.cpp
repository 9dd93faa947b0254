// kestrelpad-cli show: the export's lines on standard output, UTF-8 with LF.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "tests/cli/CliRun.h"
#include "tests/cli/KnownDocuments.h"
#include "tests/support/LockHolder.h"
#include "tests/support/TestSupport.h"

namespace kestrel::test {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

TEST(CliShow, PrintsTheHeaderAndEachDocumentsLineWithLfAndChangesNothing) {
  const TempDir dir;
  const std::optional<KnownDocuments> known = PrepareKnownDocuments(dir.Path());
  if (!known) GTEST_SKIP() << "the temporary folder's file system keeps no user.* extended attributes";
  const KnownDocuments& documents = *known;
  // Only looked at, not read: reading the bytes here would move their last-access times.
  std::vector<FileState> before;
  for (const std::string& name : documents.names) before.push_back(ReadFileState(dir.Path() / name));

  const CliResult result = RunCli(Concat({"show"}, documents.names), dir.Path());

  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.err, "");
  // The multi-line comment keeps its bare line feed inside its quotes.
  EXPECT_EQ(result.out, Joined(documents.lines));
  EXPECT_THAT(result.out, Not(HasSubstr("\r")));
  for (std::size_t i = 0; i < documents.names.size(); ++i) {
    const fs::path file = dir.Path() / documents.names[i];
    EXPECT_EQ(ReadFileState(file), before[i]) << file;
    EXPECT_EQ(ReadBytes(file), ReadBytes(DataFile(documents.sources[i]))) << file;
  }
}

TEST(CliShow, NamesEachBadFileAndWhatHappenedToIt) {
  const TempDir dir;
  dir.Copy(DataFile("x.doc"));                // a text file
  dir.Copy(DataFile("truncated.docx"));       // a damaged package
  dir.Copy(DataFile("z.docx"));               // empty
  dir.Copy(DataFile("renamed-doc-as.docx"));  // a binary document, no package
  dir.Copy(DataFile("lo-ascii-full.doc"), "good.doc");
  fs::create_directory(dir.Path() / "folder.doc");
  const std::string full = fs::canonical(dir.Path()).string() + "/";

  // Files nobody can read, root included: a fifo (opening it for reading would hang), a link
  // to itself, and a path through a file.
  ASSERT_EQ(::mkfifo((dir.Path() / "fifo.doc").c_str(), 0644), 0);
  fs::create_symlink("loop.docx", dir.Path() / "loop.docx");

  const CliResult result =
      RunCli({"show", "missing.doc", "folder.doc", "x.doc", "truncated.docx", "z.docx", "renamed-doc-as.docx",
              "fifo.doc", "loop.docx", "good.doc/inside.doc", "good.doc", "./good.doc"},
             dir.Path());

  EXPECT_EQ(result.exitCode, 1);
  // What cannot be looked up gets its path and name only; the three packages no line.
  EXPECT_THAT(result.out, HasSubstr("\n\"" + full + "missing.doc\",\"missing.doc\",\n\"" + full +
                                    "folder.doc\",\"folder.doc\",\n\"" + full + "x.doc\",\"x.doc\",\"\","));
  for (const char* package : {"truncated.docx", "z.docx", "renamed-doc-as.docx"}) {
    EXPECT_THAT(result.out, Not(HasSubstr(package))) << package;
  }
  const std::string goodLine = "\"good.doc\",\"Quarterly Report\",";
  ASSERT_THAT(result.out, HasSubstr(goodLine));
  EXPECT_EQ(result.out.find(goodLine), result.out.rfind(goodLine)) << "good.doc has one line";
  EXPECT_THAT(result.err, HasSubstr("./good.doc: named more than once; taken once"));
  EXPECT_THAT(result.err, HasSubstr("missing.doc: no such file"));
  EXPECT_THAT(result.err, HasSubstr("folder.doc: is a folder"));
  EXPECT_THAT(result.err, HasSubstr("x.doc: not a compound file"));
  for (const char* package : {"truncated.docx", "z.docx", "renamed-doc-as.docx"}) {
    EXPECT_THAT(result.err, HasSubstr(std::string(package) + ": cannot be read as a package")) << package;
  }
  EXPECT_THAT(result.err, HasSubstr("fifo.doc: is not a regular file"));
  EXPECT_THAT(result.err, HasSubstr("loop.docx: cannot be looked up: Too many levels of symbolic links"));
  EXPECT_THAT(result.err, HasSubstr("good.doc/inside.doc: cannot be looked up: Not a directory"));
  EXPECT_THAT(result.out, HasSubstr("\"fifo.doc\",\n\"" + full + "loop.docx\",\"loop.docx\",\n"));
  EXPECT_THAT(result.err, Not(HasSubstr("cli: good.doc:")));
}

TEST(CliShow, SaysWhenAnotherProgramHoldsADocument) {
  const TempDir dir;
  const fs::path doc = dir.Copy(DataFile("lo-ascii-full.doc"));
  const fs::path docx = dir.Copy(DataFile("lo-ascii-full.docx"));
  const std::vector<std::uint8_t> docBytes = ReadBytes(doc);
  const std::vector<std::uint8_t> docxBytes = ReadBytes(docx);
  const LockHolder docHolder(doc, true);
  const LockHolder docxHolder(docx, true);
  ASSERT_TRUE(docHolder.Holding() && docxHolder.Holding());

  const CliResult result = RunCli({"show", "lo-ascii-full.doc", "lo-ascii-full.docx"}, dir.Path());

  EXPECT_EQ(result.exitCode, 1);
  EXPECT_THAT(result.err, HasSubstr("lo-ascii-full.doc: held open by another program; its property fields are empty"));
  EXPECT_THAT(result.err, HasSubstr("lo-ascii-full.docx: held open by another program; it has no line"));
  EXPECT_THAT(result.out, Not(HasSubstr("Quarterly Report")));
  EXPECT_EQ(ReadBytes(doc), docBytes);
  EXPECT_EQ(ReadBytes(docx), docxBytes);
}

// Python's json module reads every line; turned back by tests/cli/read_back.py into show's CSV
// lines and show --all's lines of custom and other properties, they are what show prints.
TEST(CliShow, JsonHoldsWhatTheCsvHoldsTypedAndOneObjectPerDocument) {
  if (RunCommand("/usr/bin/python3 -c 'import json, csv'").exitCode != 0) GTEST_SKIP() << "no python3";
  const TempDir dir;
  dir.Copy(DataFile("lo-ja-full.doc"));
  dir.Copy(DataFile("lo-ja-full.docx"));
  ASSERT_EQ(RunCli({"set", "--custom-number", "n=1.5", "--custom-number", "w=-7", "--custom-date",
                    "d=2020/01/02 3:04:05", "--custom-yes-no", "y=no", "--custom", "t=\"引用\"\n", "lo-ja-full.docx"},
                   dir.Path()).exitCode,
            0);
  const std::vector<std::string> names = {"lo-ja-full.doc", "lo-ja-full.docx", "missing.doc"};
  const std::string csv = RunCli(Concat({"show"}, names), dir.Path()).out;
  const std::string expected = csv.substr(csv.find('\n') + 1) + "--all\n";
  std::istringstream listing(RunCli(Concat({"show", "--all"}, names), dir.Path()).out);
  std::string others;  // past the header, but for the 14 rows (none of which spans lines here)
  std::string line;
  std::getline(listing, line);
  while (std::getline(listing, line)) others += line.find(",\"概要\",") == std::string::npos ? line + "\n" : "";
  ASSERT_THAT(others, HasSubstr("\"w\",\"数値\",\"-7\""));

  for (const bool all : {false, true}) {
    const CliResult json = RunCli(Concat(all ? std::vector<std::string>{"show", "--json", "--all"}
                                             : std::vector<std::string>{"show", "--json"},
                                         names),
                                  dir.Path());
    EXPECT_EQ(json.exitCode, 1);
    EXPECT_EQ(json.err, "kestrelpad-cli: missing.doc: no such file; its object says so in \"error\"\n");
    EXPECT_THAT(json.out, HasSubstr("\"name\": \"missing.doc\", \"error\": \"no such file\"}\n"));
    WriteBytes(dir.Path() / "out.jsonl", {json.out.begin(), json.out.end()});
    const CommandResult read = RunCommand("/usr/bin/python3 " + ShellQuote(TestScript("cli/read_back.py").string()) +
                                          " csv " + ShellQuote((dir.Path() / "out.jsonl").string()) + " +09:00");
    EXPECT_EQ(read.output, expected + (all ? others : "")) << all;
  }
}

TEST(CliShow, FailsWhenStandardOutputCannotBeWritten) {
  const TempDir dir;
  dir.Copy(DataFile("lo-ascii-full.doc"));
  const std::string command = CliCommand({"show", "lo-ascii-full.doc"}, dir.Path());
  const CommandResult result = RunCommand("{ " + command + " >/dev/full; }");
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_THAT(result.output, HasSubstr("standard output could not be written"));
}

}  // namespace
}  // namespace kestrel::test
