// kestrelpad-cli set: the batch change over the files given, checked with independent readers.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "tests/cli/CliRun.h"
#include "tests/support/LockHolder.h"
#include "tests/support/Oracles.h"
#include "tests/support/TestSupport.h"

namespace kestrel::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr unsigned kOwnerWrite = 0200;
constexpr const char* kNoAttributeStore = "the temporary folder's file system keeps no user.* extended attributes";

// Whole-second times, so that "put back" compares exactly. Set after the test's own readers have
// read the file, since reading moves the last-access time.
void SetKnownTimes(const fs::path& file) {
  SetTimes(file, Nanoseconds(TokyoSeconds(2022y / 3 / 4, 5h + 6min + 7s)),
           Nanoseconds(TokyoSeconds(2021y / 2 / 3, 4h + 5min + 6s)));
}

fs::path CopyWithTimes(const TempDir& dir, const std::string& source, const std::string& name) {
  const fs::path file = dir.Copy(DataFile(source), name);
  SetKnownTimes(file);
  return file;
}

unsigned AttributeWord(const FileState& state) { return static_cast<unsigned>(std::stoul(state.attributes)); }

TEST(CliSet, WritesOnlyTheGivenPropertiesOfABinaryDocumentAndPutsItsTimesBack) {
  if (!OlefilePython()) GTEST_SKIP() << "python3-olefile is not installed";
  const TempDir dir;
  const fs::path file = dir.Copy(DataFile("lo-ascii-full.doc"), "a.doc");
  const auto summaryBefore = DumpPropertySet(file, "SummaryInformation");
  const auto docSummaryBefore = DumpPropertySet(file, "DocumentSummaryInformation");
  SetKnownTimes(file);
  const FileState stateBefore = ReadFileState(file);
  ASSERT_TRUE(summaryBefore && docSummaryBefore);

  const CliResult result = RunCli({"set", "--title", "Annual report", "--author=Carol", "a.doc"}, dir.Path());

  const FileState stateAfter = ReadFileState(file);  // before the readers below move the last access
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, "changed: a.doc\n");
  EXPECT_EQ(result.err, "");
  PropertyDump expected = *summaryBefore;
  expected.properties[{0, 2}] = DumpedText(30, "Annual report");
  expected.properties[{0, 4}] = DumpedText(30, "Carol");
  EXPECT_EQ(DumpPropertySet(file, "SummaryInformation"), expected);
  EXPECT_EQ(DumpPropertySet(file, "DocumentSummaryInformation"), docSummaryBefore);
  EXPECT_EQ(stateAfter.mode, stateBefore.mode);
  EXPECT_EQ(stateAfter.atimeNs, stateBefore.atimeNs);
  EXPECT_EQ(stateAfter.mtimeNs, stateBefore.mtimeNs);
}

TEST(CliSet, WritesOnlyTheGivenPropertiesOfAPackage) {
  const TempDir dir;
  const fs::path file = dir.Copy(DataFile("lo-ja-full.docx"), "b.docx");
  const auto coreBefore = PartTexts(file, "docProps/core.xml");
  const auto appBefore = PartTexts(file, "docProps/app.xml");
  SetKnownTimes(file);
  const FileState stateBefore = ReadFileState(file);

  const CliResult result = RunCli({"set", "--title=年次報告書", "--author", "佐藤 次郎", "b.docx"}, dir.Path());

  const FileState stateAfter = ReadFileState(file);
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, "changed: b.docx\n");
  auto expected = coreBefore;
  expected["title"] = "年次報告書";
  expected["creator"] = "佐藤 次郎";
  EXPECT_EQ(PartTexts(file, "docProps/core.xml"), expected);
  EXPECT_EQ(PartTexts(file, "docProps/app.xml"), appBefore);
  EXPECT_EQ(stateAfter.atimeNs, stateBefore.atimeNs);
  EXPECT_EQ(stateAfter.mtimeNs, stateBefore.mtimeNs);
}

// Damaged and rearranged copies of a real package: either the change is made (Python's zipfile
// reads every entry, the other entries unchanged, the title written) or the package keeps every
// byte and the reason is printed. No third outcome.
TEST(CliSet, APackageIsChangedWholeOrLeftAsItWasWithItsReason) {
  const TempDir dir;
  const fs::path source = dir.Copy(DataFile("lo-ja-full.docx"), "source.docx");
  const std::string maker = "/usr/bin/python3 " + ShellQuote(TestScript("ooxml/zip/make_packages.py").string());
  const std::string dump = "/usr/bin/python3 " + ShellQuote(TestScript("oracle/zip_dump.py").string()) + " dump ";
  for (const std::string layout : {"reversed", "cut"}) {
    SCOPED_TRACE(layout);
    const fs::path file = dir.Path() / (layout + ".docx");
    ASSERT_EQ(RunCommand(maker + " " + layout + " " + ShellQuote(source.string()) + " " + ShellQuote(file.string())).exitCode, 0);
    const std::vector<std::uint8_t> before = ReadBytes(file);
    const CommandResult entriesBefore = RunCommand(dump + ShellQuote(file.string()));
    const CliResult result = RunCli({"set", "--title=壊れていない題名", file.filename().string()}, dir.Path());
    if (result.exitCode == 0) {
      EXPECT_EQ(PartTexts(file, "docProps/core.xml").at("title"), "壊れていない題名");
      const CommandResult entriesAfter = RunCommand(dump + ShellQuote(file.string()));
      ASSERT_EQ(entriesAfter.exitCode, 0) << "zipfile cannot read the changed package";
      // Every entry but the core part ("docProps/core.xml" in hex) is as it was: name, method,
      // CRC, sizes, flags, data.
      auto others = [](const std::string& listing) {
        std::string kept;
        std::istringstream lines(listing);
        for (std::string line; std::getline(lines, line);) {
          if (line.find(" 646f6350726f70732f636f72652e786d6c ") == std::string::npos) kept += line + "\n";
        }
        return kept;
      };
      EXPECT_EQ(others(entriesAfter.output), others(entriesBefore.output));
    } else {
      EXPECT_EQ(ReadBytes(file), before) << "a refused change wrote";
      EXPECT_THAT(result.err, HasSubstr(file.filename().string() + ": ")) << "no reason given";
    }
  }
}

// A name with control characters is printed escaped: it cannot break its line or forge another.
TEST(CliSet, ANameCannotForgeAStatusLine) {
  const TempDir dir;
  const std::string name = "junk.doc\nchanged: report.docx\t\x1b";
  dir.Copy(DataFile("x.doc"), name);
  const CliResult result = RunCli({"set", "--title=T", name}, dir.Path());
  EXPECT_EQ(result.out, "change error: junk.doc\\nchanged: report.docx\\t\\x1b\n");
  EXPECT_THAT(result.err, HasSubstr("kestrelpad-cli: junk.doc\\nchanged: report.docx\\t\\x1b: "));
}

TEST(CliSet, TakesDatesAndNumbersAsTheBatchEditorsGiveThem) {
  const TempDir dir;
  const fs::path file = dir.Copy(DataFile("lo-ascii-full.docx"), "c.docx");

  const CliResult result =
      RunCli({"set", "--created", "2010/3/5 9:05", "--editing-minutes", "0042", "--revision=7", "c.docx"}, dir.Path());

  EXPECT_EQ(result.exitCode, 0) << result.err;
  const auto core = PartTexts(file, "docProps/core.xml");
  EXPECT_EQ(core.at("created"), "2010-03-05T00:05:00Z");  // Tokyo is nine hours ahead
  EXPECT_EQ(core.at("revision"), "7");
  EXPECT_EQ(PartTexts(file, "docProps/app.xml").at("TotalTime"), "42");
}

TEST(CliSet, AnEmptyPrintedValueErasesTheLastPrintedDate) {
  const TempDir dir;
  const fs::path doc = dir.Copy(DataFile("lo-ja-full.doc"), "p.doc");
  const fs::path docx = dir.Copy(DataFile("lo-ja-full.docx"), "p.docx");
  ASSERT_FALSE(PartTexts(docx, "docProps/core.xml").at("lastPrinted").empty());

  const CliResult result = RunCli({"set", "--printed", "", "p.doc", "p.docx"}, dir.Path());

  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, "changed: p.doc\nchanged: p.docx\n");
  const auto core = PartTexts(docx, "docProps/core.xml");
  EXPECT_TRUE(!core.contains("lastPrinted") || core.at("lastPrinted").empty());
  if (!OlefilePython()) GTEST_SKIP() << "python3-olefile is not installed; the .doc was not checked";
  const auto summary = DumpPropertySet(doc, "SummaryInformation");
  ASSERT_TRUE(summary);
  const auto printed = summary->properties.find({0, 11});  // PIDSI_LASTPRINTED
  if (printed != summary->properties.end()) {
    EXPECT_EQ(printed->second, "1 -");
  }
}

TEST(CliSet, ChangesOnlyTheGivenPartsOfTheFileTimes) {
  const TempDir dir;
  std::vector<fs::path> files;
  for (const auto& [source, name] : {std::pair{"lo-ascii-full.doc", "t.doc"}, {"lo-ascii-full.docx", "t.docx"}}) {
    files.push_back(CopyWithTimes(dir, source, name));
    if (!SetDosAttrib(files.back(), 0x20, FileTimeOfSeconds(TokyoSeconds(2015y / 6 / 7, 8h + 9min + 10s)))) {
      GTEST_SKIP() << kNoAttributeStore;
    }
  }

  const CliResult result = RunCli({"set", "--file-created-time", "11:22:33", "--file-modified-date=2020/01/02",
                                   "--file-accessed-date", "2019/12/31", "--file-accessed-time=23:59", "t.doc",
                                   "t.docx"},
                                  dir.Path());

  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, "changed: t.doc\nchanged: t.docx\n");
  for (const fs::path& file : files) {
    const FileState state = ReadFileState(file);
    EXPECT_EQ(state.creation, std::to_string(FileTimeOfSeconds(TokyoSeconds(2015y / 6 / 7, 11h + 22min + 33s))))
        << file;
    EXPECT_EQ(state.mtimeNs, Nanoseconds(TokyoSeconds(2020y / 1 / 2, 4h + 5min + 6s))) << file;
    EXPECT_EQ(state.atimeNs, Nanoseconds(TokyoSeconds(2019y / 12 / 31, 23h + 59min))) << file;
  }
}

TEST(CliSet, SetsAndClearsTheAttributesGivenAndKeepsTheOthers) {
  const TempDir dir;
  const fs::path file = dir.Copy(DataFile("lo-ascii-full.docx"), "r.docx");
  if (!SetDosAttrib(file, 0x20, FileTimeOfSeconds(TokyoSeconds(2015y / 6 / 7, 0s)))) GTEST_SKIP() << kNoAttributeStore;

  CliResult result =
      RunCli({"set", "--readonly", "on", "--hidden", "on", "--system=on", "--archive", "off", "r.docx"}, dir.Path());
  EXPECT_EQ(result.exitCode, 0) << result.err;
  FileState state = ReadFileState(file);
  EXPECT_EQ(state.mode & kOwnerWrite, 0u);
  EXPECT_EQ(AttributeWord(state) & 0x26, 0x06u);

  // A read-only document is changed and stays read-only, hidden and system.
  result = RunCli({"set", "--title", "Kept", "r.docx"}, dir.Path());
  EXPECT_EQ(result.out, "changed: r.docx\n") << result.err;
  EXPECT_EQ(PartTexts(file, "docProps/core.xml").at("title"), "Kept");
  state = ReadFileState(file);
  EXPECT_EQ(state.mode & kOwnerWrite, 0u);
  EXPECT_EQ(AttributeWord(state) & 0x26, 0x06u);

  result = RunCli({"set", "--readonly=off", "--hidden", "off", "r.docx"}, dir.Path());
  EXPECT_EQ(result.exitCode, 0) << result.err;
  state = ReadFileState(file);
  EXPECT_EQ(state.mode & kOwnerWrite, kOwnerWrite);
  EXPECT_EQ(AttributeWord(state) & 0x27, 0x04u);
}

TEST(CliSet, BackupKeepsTheOriginalBesideEachDocument) {
  const TempDir dir;
  const fs::path doc = CopyWithTimes(dir, "lo-ascii-full.doc", "a.doc");
  const fs::path docx = CopyWithTimes(dir, "lo-ascii-full.docx", "b.docx");
  const std::vector<std::uint8_t> docBytes = ReadBytes(doc);
  const std::vector<std::uint8_t> docxBytes = ReadBytes(docx);
  const std::int64_t lastWrite = ReadFileState(doc).mtimeNs;

  // Named again, under its own name, a symbolic link and a hard link, a.doc is changed once, so its
  // backup stays the original.
  fs::create_symlink("a.doc", dir.Path() / "link.doc");
  fs::create_hard_link(doc, dir.Path() / "hard.doc");
  const CliResult result = RunCli({"set", "--backup", "--title", "New", "a.doc", "b.docx", "./a.doc", "link.doc", "hard.doc"},
                                  dir.Path());

  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, "changed: a.doc\nchanged: b.docx\n");
  EXPECT_EQ(result.err,
            "kestrelpad-cli: ./a.doc: named more than once; taken once\n"
            "kestrelpad-cli: link.doc: named more than once; taken once\n"
            "kestrelpad-cli: hard.doc: named more than once; taken once\n");
  EXPECT_EQ(ReadBytes(dir.Path() / "a.doc.bak"), docBytes);
  EXPECT_EQ(ReadBytes(dir.Path() / "b.docx.bak"), docxBytes);
  EXPECT_EQ(ReadFileState(dir.Path() / "a.doc.bak").mtimeNs, lastWrite);
  EXPECT_NE(ReadBytes(doc), docBytes);
  EXPECT_EQ(PartTexts(docx, "docProps/core.xml").at("title"), "New");
}

TEST(CliSet, AFailedBackupEndsTheRunLikeTheBatchRun) {
  const TempDir dir;
  const fs::path first = dir.Copy(DataFile("lo-ascii-full.doc"), "a.doc");
  const fs::path second = dir.Copy(DataFile("lo-ascii-full.doc"), "b.doc");
  const fs::path third = dir.Copy(DataFile("lo-ascii-full.docx"), "c.docx");
  fs::create_directory(dir.Path() / "b.doc.bak");
  const std::vector<std::uint8_t> original = ReadBytes(second);
  const std::vector<std::uint8_t> thirdBytes = ReadBytes(third);

  const CliResult result = RunCli({"set", "--backup", "--author", "X", "a.doc", "b.doc", "c.docx"}, dir.Path());

  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.out, "changed: a.doc\nbackup error: b.doc\nnot changed: c.docx\n");
  EXPECT_THAT(result.err, HasSubstr("b.doc: a folder stands where its backup goes"));
  EXPECT_NE(ReadBytes(first), original);
  EXPECT_EQ(ReadBytes(second), original);
  EXPECT_EQ(ReadBytes(third), thirdBytes);
  EXPECT_TRUE(fs::is_directory(dir.Path() / "b.doc.bak"));
  EXPECT_FALSE(fs::exists(dir.Path() / "c.docx.bak"));
}

TEST(CliSet, WithBackupsADocumentHeldOpenFailsAloneWithoutABackup) {
  const TempDir dir;
  const fs::path held = dir.Copy(DataFile("lo-ascii-full.doc"), "a.doc");
  dir.Copy(DataFile("lo-ascii-full.docx"), "b.docx");
  WriteBytes(dir.Path() / ".~lock.a.doc#", {','});
  const std::vector<std::uint8_t> original = ReadBytes(held);

  const CliResult result = RunCli({"set", "--backup", "--author", "X", "a.doc", "b.docx"}, dir.Path());

  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.out, "change error: a.doc\nchanged: b.docx\n");
  EXPECT_THAT(result.err, HasSubstr("a.doc: held open by another program"));
  EXPECT_EQ(ReadBytes(held), original);
  EXPECT_FALSE(fs::exists(dir.Path() / "a.doc.bak"));
  EXPECT_TRUE(fs::exists(dir.Path() / "b.docx.bak"));
}

TEST(CliSet, SaysWhenTheEarlierBackupIsHeldOpen) {
  const TempDir dir;
  const fs::path file = dir.Copy(DataFile("lo-ascii-full.doc"), "a.doc");
  WriteBytes(dir.Path() / "a.doc.bak", {'o', 'l', 'd'});
  WriteBytes(dir.Path() / ".~lock.a.doc.bak#", {','});
  const std::vector<std::uint8_t> original = ReadBytes(file);

  const CliResult result = RunCli({"set", "--backup", "--author", "X", "a.doc"}, dir.Path());

  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.out, "backup error: a.doc\n");
  EXPECT_THAT(result.err, HasSubstr("a.doc: its earlier backup"));
  EXPECT_THAT(result.err, HasSubstr("is held open by another program"));
  EXPECT_EQ(ReadBytes(file), original);
  EXPECT_EQ(ReadBytes(dir.Path() / "a.doc.bak"), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
}

TEST(CliSet, NamesEachFileItCannotChangeAndGoesOn) {
  const TempDir dir;
  fs::create_directory(dir.Path() / "folder.doc");
  const fs::path text = dir.Copy(DataFile("x.doc"));
  const fs::path damaged = dir.Copy(DataFile("truncated.docx"));
  // Held open: one under another process's lock, one with LibreOffice's lock file beside it.
  const fs::path held = CopyWithTimes(dir, "lo-ascii-full.doc", "held.doc");
  const fs::path edited = CopyWithTimes(dir, "lo-ascii-full.docx", "edited.docx");
  WriteBytes(dir.Path() / ".~lock.edited.docx#", {'x'});
  const std::vector<fs::path> untouched = {text, damaged, held, edited};
  std::vector<std::vector<std::uint8_t>> bytes;
  for (const fs::path& file : untouched) bytes.push_back(ReadBytes(file));
  const FileState heldState = ReadFileState(held);
  const FileState editedState = ReadFileState(edited);
  dir.Copy(DataFile("lo-ascii-full.doc"), "good.doc");
  const LockHolder holder(held, true);
  ASSERT_TRUE(holder.Holding());

  ASSERT_EQ(::mkfifo((dir.Path() / "fifo.doc").c_str(), 0644), 0);

  const CliResult result = RunCli({"set", "--title", "T", "missing.doc", "folder.doc", "fifo.doc", "x.doc",
                                   "truncated.docx", "held.doc", "edited.docx", "good.doc"},
                                  dir.Path());

  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.out,
            "change error: missing.doc\nchange error: folder.doc\nchange error: fifo.doc\nchange error: x.doc\n"
            "change error: truncated.docx\nchange error: held.doc\nchange error: edited.docx\nchanged: good.doc\n");
  EXPECT_THAT(result.err, HasSubstr("fifo.doc: is not a regular file"));
  EXPECT_THAT(result.err, HasSubstr("missing.doc: no such file"));
  EXPECT_THAT(result.err, HasSubstr("folder.doc: is a folder"));
  EXPECT_THAT(result.err, HasSubstr("x.doc: not a compound file"));
  EXPECT_THAT(result.err, HasSubstr("truncated.docx: not a ZIP package"));
  EXPECT_THAT(result.err, HasSubstr("held.doc: held open by another program"));
  EXPECT_THAT(result.err, HasSubstr("edited.docx: held open by another program"));
  for (std::size_t i = 0; i < untouched.size(); ++i) EXPECT_EQ(ReadBytes(untouched[i]), bytes[i]) << untouched[i];
  // A document held open is not even read: its times and attributes stay too.
  EXPECT_EQ(ReadFileState(held), heldState);
  EXPECT_EQ(ReadFileState(edited), editedState);
}

TEST(CliSet, RelativeNamesWorkFromAWorkingFolderTooDeepForAFullPath) {
  const TempDir dir;
  for (const char* name : {"lo-ja-full.docx", "lo-ja-full.doc"}) dir.Copy(DataFile(name), name);
  // The shell cannot even enter such a folder by name; Python goes down step by step, moving the
  // documents along, and runs the companion there.
  const std::string script =
      "import os, subprocess, sys\n"
      "os.chdir(sys.argv[1])\n"
      "for _ in range(25):\n"
      "    os.mkdir('d' * 200)\n"
      "    for name in ('lo-ja-full.docx', 'lo-ja-full.doc'): os.rename(name, 'd' * 200 + '/' + name)\n"
      "    os.chdir('d' * 200)\n"
      "env = dict(os.environ, TZ='Asia/Tokyo')\n"
      "for words in (['set', '--title', '深い'], ['show']):\n"
      "    subprocess.run([sys.argv[2]] + words + ['lo-ja-full.docx', 'lo-ja-full.doc'], env=env, check=True)\n";
  const std::vector<std::string> names{"lo-ja-full.docx", "lo-ja-full.doc"};
  const std::string command = "/usr/bin/python3 -c " + ShellQuote(script) + " " + ShellQuote(dir.Path().string()) + " " +
                              ShellQuote(KESTREL_CLI);

  const CommandResult run = RunCommand(command);

  EXPECT_EQ(run.exitCode, 0) << run.output;
  for (const std::string& name : names) {
    EXPECT_THAT(run.output, HasSubstr("changed: " + name + "\n"));
    const auto rows = ShownRows(run.output, name);
    ASSERT_TRUE(rows) << run.output;
    EXPECT_EQ(rows->at(0), "深い") << name;
  }
}

// Custom properties set by the companion show with show --all, and clean takes them out with the
// personal rows, leaving what --keep names; for both kinds of document.
TEST(CliSet, CustomPropertiesAreSetListedAndCleaned) {
  const TempDir dir;
  const fs::path package = dir.Copy(DataFile("lo-ascii-full.docx"), "a.docx");
  const fs::path binary = dir.Copy(DataFile("lo-ascii-full.doc"), "b.doc");
  const fs::path openDocument = dir.Copy(DataFile("lo-ascii-full.odt"), "c.odt");
  const CliResult set = RunCli({"set", "--custom", "Case=A-12", "--custom-number", "Count=-3.5", "--custom-date",
                                "Due=2015/04/02 9:30:00", "--custom-yes-no", "Done=yes", "a.docx", "b.doc", "c.odt"},
                               dir.Path());
  EXPECT_EQ(set.out, "changed: a.docx\nchanged: b.doc\nchanged: c.odt\n") << set.err;
  const CliResult listed = RunCli({"show", "--all", "a.docx", "b.doc", "c.odt"}, dir.Path());
  EXPECT_EQ(listed.exitCode, 0) << listed.err;
  for (const fs::path& file : {package, binary, openDocument}) {
    const std::string prefix = "\"" + file.string() + "\",";
    EXPECT_THAT(listed.out, HasSubstr(prefix + "\"概要\",\"作成者\",\"\",\"John Smith\"\n"));
    for (const char* line : {"\"Case\",\"テキスト\",\"A-12\"", "\"Count\",\"数値\",\"-3.5\"",
                             "\"Due\",\"日付\",\"2015/04/02 9:30:00\"", "\"Done\",\"はい/いいえ\",\"はい\""}) {
      EXPECT_THAT(listed.out, HasSubstr(prefix + "\"ユーザー設定\"," + line + "\n")) << file;
    }
  }
  const CliResult clean = RunCli({"clean", "--keep", "comments", "a.docx", "b.doc", "c.odt"}, dir.Path());
  EXPECT_EQ(clean.out, "changed: a.docx\nchanged: b.doc\nchanged: c.odt\n") << clean.err;
  const CliResult after = RunCli({"show", "--all", "a.docx", "b.doc", "c.odt"}, dir.Path());
  EXPECT_THAT(after.out, Not(HasSubstr("ユーザー設定"))) << after.out;
  EXPECT_THAT(after.out, Not(HasSubstr("John Smith")));
  // Not even in the sectors the change freed.
  const std::vector<std::uint8_t> bytes = ReadBytes(binary);
  for (const std::string removed : {"John Smith", "Jane Doe", "A-12"}) {
    EXPECT_EQ(std::search(bytes.begin(), bytes.end(), removed.begin(), removed.end()), bytes.end()) << removed;
  }
  EXPECT_EQ(RunCli({"clean", "--keep", "comments", "a.docx"}, dir.Path()).out, "already so: a.docx\n");
}

// The OpenDocument layer's refusal reaches the user with its reason, and the file stays as it was.
TEST(CliSet, AnOpenDocumentWhosePropertiesAreEncryptedIsRefusedWithItsReason) {
  const TempDir dir;
  const fs::path file = dir.Path() / "locked.odt";
  const std::string script = R"(
import sys, zipfile
src, dst = zipfile.ZipFile(sys.argv[1]), zipfile.ZipFile(sys.argv[2], "w")
for info in src.infolist():
    data = src.read(info)
    if info.filename == "META-INF/manifest.xml":
        data = data.replace(b'manifest:full-path="meta.xml" manifest:media-type="text/xml"/>', b'manifest:full-path="meta.xml" manifest:media-type="text/xml"><manifest:encryption-data/></manifest:file-entry>')
    dst.writestr(info, data)
)";
  ASSERT_EQ(RunCommand("/usr/bin/python3 -c " + ShellQuote(script) + " " + ShellQuote(DataFile("lo-ja-full.odt").string()) +
                       " " + ShellQuote(file.string())).exitCode, 0);
  const std::vector<std::uint8_t> before = ReadBytes(file);
  const CliResult result = RunCli({"set", "--title=x", "locked.odt"}, dir.Path());
  EXPECT_NE(result.exitCode, 0);
  EXPECT_THAT(result.err, HasSubstr("locked.odt: ")) << result.err;
  EXPECT_THAT(result.err, HasSubstr("meta.xml is encrypted")) << result.err;
  EXPECT_EQ(ReadBytes(file), before);
}

}  // namespace
}  // namespace kestrel::test
