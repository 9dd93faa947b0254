#include "export/CsvLines.h"

#include <sys/resource.h>
#include <sys/stat.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/LockHolder.h"
#include "tests/support/TestSupport.h"

namespace kestrel::csv {
namespace {

namespace fs = std::filesystem;
using test::ReadBytes;
using test::RunCommand;
using test::ShellQuote;
using test::TempDir;

// How many characters became "?", or -1 when nothing was written.
long Replaced(const Result<std::size_t>& written) { return written ? static_cast<long>(*written) : -1; }

// Written out here, not taken from the catalogue, so that a changed caption shows up.
constexpr std::string_view kHeader =
    "\"File full name\",\"File Name\",\"タイトル\",\"表題\",\"作成者\",\"キーワード\",\"コメント\","
    "\"カテゴリー\",\"改訂番号\",\"前回保存者\",\"管理者\",\"会社名\",\"作成日時\",\"前回保存日時\","
    "\"編集時間\",\"前回印刷日時\",\"Creation Time\",\"Modify Time\",\"Last Access Time\","
    "\"Read-only\",\"Archive\",\"Hidden\",\"System\"";

std::string ReadText(const fs::path& file) {
  const std::vector<std::uint8_t> bytes = ReadBytes(file);
  return {bytes.begin(), bytes.end()};
}

void WriteText(const fs::path& file, std::string_view text) {
  std::ofstream(file, std::ios::binary) << text;
}

// Python's own cp932 codec, independent of the converter under test.
std::string PythonCp932(const fs::path& script, const fs::path& input, const fs::path& output) {
  const test::CommandResult result = RunCommand("/usr/bin/python3 " + ShellQuote(script.string()) + " " +
                                                ShellQuote(input.string()) + " " + ShellQuote(output.string()));
  EXPECT_EQ(result.exitCode, 0) << result.output;
  return ReadText(output);
}

std::string EncodeWithPython(const TempDir& dir, std::string_view utf8) {
  WriteText(dir.Path() / "utf8.txt", utf8);
  WriteText(dir.Path() / "encode.py",
            "import sys\n"
            "text = open(sys.argv[1], 'rb').read().decode('utf-8')\n"
            "open(sys.argv[2], 'wb').write(text.encode('cp932'))\n");
  return PythonCp932(dir.Path() / "encode.py", dir.Path() / "utf8.txt", dir.Path() / "cp932.txt");
}

std::string DecodeWithPython(const TempDir& dir, const fs::path& cp932File) {
  WriteText(dir.Path() / "decode.py",
            "import sys\n"
            "text = open(sys.argv[1], 'rb').read().decode('cp932')\n"
            "open(sys.argv[2], 'wb').write(text.encode('utf-8'))\n");
  return PythonCp932(dir.Path() / "decode.py", cp932File, dir.Path() / "decoded.txt");
}

std::vector<std::string> FolderEntries(const fs::path& folder) {
  std::vector<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

mode_t ModeBits(const fs::path& file) {
  struct stat info {};
  EXPECT_EQ(::stat(file.c_str(), &info), 0);
  return info.st_mode & 07777;
}

TEST(CsvHeader, IsTheTwentyThreeQuotedColumnNames) { EXPECT_EQ(CsvHeaderLine(), kHeader); }

TEST(CsvHeader, IsWrittenAsTheExactCp932BytesPythonProduces) {
  TempDir dir;
  const fs::path target = dir.Path() / "out.csv";
  ASSERT_TRUE(WriteCsvLines(target, {CsvHeaderLine()}));
  EXPECT_EQ(ReadText(target), EncodeWithPython(dir, std::string(kHeader) + "\r\n"));
}

TEST(CsvFields, AreQuotedWithQuotesDoubledAndCommaSeparated) {
  std::string line;
  AppendField(line, "say \"hi\"", false);
  AppendField(line, "line one\r\nline two\nthree", false);
  AppendField(line, "", false);
  AppendField(line, "\"", false);
  AppendField(line, "end, \"\"", true);
  EXPECT_EQ(line, "\"say \"\"hi\"\"\",\"line one\r\nline two\nthree\",\"\",\"\"\"\",\"end, \"\"\"\"\"");

  // A document whose file cannot be looked up keeps the comma after its second field.
  std::string shortLine;
  AppendField(shortLine, "/a/x.doc", false);
  AppendField(shortLine, "x.doc", false);
  EXPECT_EQ(shortLine, "\"/a/x.doc\",\"x.doc\",");

  std::string onlyEmpty;
  AppendField(onlyEmpty, "", true);
  EXPECT_EQ(onlyEmpty, "\"\"");
}

TEST(CsvFields, FileNameIsWhatFollowsTheLastSlashBackslashOrColon) {
  EXPECT_EQ(CsvFileName("/a/b/報告書.docx"), "報告書.docx");
  EXPECT_EQ(CsvFileName("C:\\x\\y.doc"), "y.doc");
  EXPECT_EQ(CsvFileName("d:z.doc"), "z.doc");
  EXPECT_EQ(CsvFileName("name"), "name");
  EXPECT_EQ(CsvFileName("/a/b\\c:d/e.doc"), "e.doc");
  EXPECT_EQ(CsvFileName("/a/folder/"), "");
  EXPECT_EQ(CsvFileName(""), "");
}

TEST(CsvWrite, WritesCp932WithCrLfAfterEveryLineAndNoByteOrderMark) {
  TempDir dir;
  const fs::path target = dir.Path() / "out.csv";
  ASSERT_TRUE(WriteCsvLines(target, {"日本", "ab", ""}));
  EXPECT_EQ(ReadText(target), "\x93\xFA\x96\x7B\r\nab\r\n\r\n");

  ASSERT_TRUE(WriteCsvLines(target, {}));
  EXPECT_EQ(ReadText(target), "");
}

TEST(CsvWrite, Utf8WritesAByteOrderMarkAndEveryCharacterWithCrLfAndReplacesNothing) {
  TempDir dir;
  const fs::path target = dir.Path() / "out.csv";
  const Result<std::size_t> written = WriteCsvLines(target, {"日本 שלום", "", "a\xFF"}, CsvEncoding::Utf8);
  EXPECT_EQ(Replaced(written), 0);
  EXPECT_EQ(ReadText(target), "\xEF\xBB\xBF日本 שלום\r\n\r\na\xEF\xBF\xBD\r\n");
}

TEST(CsvWrite, JapaneseTextRoundTripsThroughPythonsCp932) {
  TempDir dir;
  const fs::path target = dir.Path() / "out.csv";
  const std::vector<std::string> lines = {
      CsvHeaderLine(), "\"/home/山田/報告書①.doc\",\"髙橋\",\"ｶﾀｶﾅ ひらがな 漢字\",\"\"",
      "\"複数行の\r\nコメント\",\"Ω×÷\""};
  ASSERT_TRUE(WriteCsvLines(target, lines));
  EXPECT_EQ(DecodeWithPython(dir, target), lines[0] + "\r\n" + lines[1] + "\r\n" + lines[2] + "\r\n");
}

// What code page 932 lacks is written as Windows writes it: a look-alike where its best-fit table
// has one, otherwise one "?" per character, and the answer counts the question marks.
TEST(CsvWrite, CharactersCp932LacksBecomeLookAlikesOrCountedQuestionMarks) {
  TempDir dir;
  const fs::path target = dir.Path() / "out.csv";
  EXPECT_EQ(Replaced(WriteCsvLines(target, {"aé日😀b\u00A0c", "〜−¥", "😀😀", "ok"})), 4);
  EXPECT_EQ(ReadText(target), "ae\x93\xFA?b?c\r\n\x81\x60\x81\x7C\x5C\r\n??\r\nok\r\n");

  EXPECT_EQ(Replaced(WriteCsvLines(target, {"\xE6\x97x", "\xFFy", "z\xE6"})), 3);
  EXPECT_EQ(ReadText(target), "?x\r\n?y\r\nz?\r\n");

  EXPECT_EQ(Replaced(WriteCsvLines(target, {CsvHeaderLine()})), 0);
}

TEST(CsvReplace, ReplacesAnExistingTargetWholeAndKeepsItsPermissionBits) {
  TempDir dir;
  const fs::path target = dir.Path() / "out.csv";
  WriteText(target, std::string(10000, 'x'));
  ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
  ASSERT_TRUE(WriteCsvLines(target, {"new"}));
  EXPECT_EQ(ReadText(target), "new\r\n");
  EXPECT_EQ(ModeBits(target), 0640U);
  EXPECT_EQ(FolderEntries(dir.Path()), std::vector<std::string>{"out.csv"});
}

// A target that is a symbolic link: the file it names gets the lines, the link stays a link.
TEST(CsvReplace, WritesThroughASymbolicLink) {
  TempDir dir;
  const fs::path real = dir.Path() / "real.csv";
  const fs::path link = dir.Path() / "link.csv";
  WriteText(real, "old");
  fs::create_symlink(real, link);
  ASSERT_TRUE(WriteCsvLines(link, {"new"}));
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(ReadText(real), "new\r\n");
}

TEST(CsvReplace, ANewTargetGetsTheModeOfANormalNewFile) {
  TempDir dir;
  const fs::path target = dir.Path() / "new.csv";
  const mode_t old = ::umask(027);
  const bool written = WriteCsvLines(target, {"a"}).ok();
  ::umask(old);
  ASSERT_TRUE(written);
  EXPECT_EQ(ModeBits(target), 0640U);
}

TEST(CsvReplace, FailuresSayWhyAndLeaveTheFolderAsItWas) {
  TempDir dir;
  const fs::path old = dir.Path() / "old.csv";
  WriteText(old, "old content\r\n");
  const fs::path folderTarget = dir.Path() / "folder.csv";
  fs::create_directory(folderTarget);
  const fs::path fifo = dir.Path() / "fifo.csv";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
  const std::vector<std::string> before = FolderEntries(dir.Path());

  const struct {
    std::string target;
    const char* reason;
  } kCases[] = {
      {(dir.Path() / "missing" / "out.csv").string(), "No such file or directory"},
      {folderTarget.string(), "is a folder, not a file"},
      {(old / "out.csv").string(), "Not a directory"},
      {"", "names no file"},
      {dir.Path().string() + "/gone/", "names no file"},
      {fifo.string(), "is not a regular file"},
  };
  for (const auto& c : kCases) {
    const Result<std::size_t> written = WriteCsvLines(c.target, {"a"});
    EXPECT_FALSE(written) << c.target;
    EXPECT_THAT(written.outcome().message(), ::testing::HasSubstr(c.reason)) << c.target;
  }
  EXPECT_TRUE(fs::is_empty(folderTarget));
  EXPECT_TRUE(fs::is_fifo(fifo));
  EXPECT_EQ(FolderEntries(dir.Path()), before);
  EXPECT_EQ(ReadText(old), "old content\r\n");
}

// What cannot be written on the user's system is not replaced either: a read-only target, and one
// another program has open (it would save its own copy over the export later).
TEST(CsvReplace, AReadOnlyTargetOrOneHeldOpenIsLeftAsItWas) {
  TempDir dir;
  const fs::path readOnly = dir.Path() / "readonly.csv";
  WriteText(readOnly, "old content\r\n");
  ASSERT_EQ(::chmod(readOnly.c_str(), 0444), 0);
  const fs::path locked = dir.Path() / "locked.csv";
  WriteText(locked, "old content\r\n");
  const fs::path opened = dir.Path() / "opened.csv";
  WriteText(opened, "old content\r\n");
  WriteText(dir.Path() / ".~lock.opened.csv#", ",someone,host,01.02.2024 10:00,file:///home;");
  const test::LockHolder holder(locked, true);
  ASSERT_TRUE(holder.Holding());
  const std::vector<std::string> before = FolderEntries(dir.Path());

  EXPECT_EQ(WriteCsvLines(readOnly, {"new"}).outcome().kind(), FailureKind::ReadOnly);
  EXPECT_EQ(WriteCsvLines(locked, {"new"}).outcome().kind(), FailureKind::HeldOpen);
  EXPECT_EQ(WriteCsvLines(opened, {"new"}).outcome().kind(), FailureKind::HeldOpen);

  for (const fs::path& target : {readOnly, locked, opened}) EXPECT_EQ(ReadText(target), "old content\r\n") << target;
  EXPECT_EQ(ModeBits(readOnly), 0444U);
  EXPECT_EQ(FolderEntries(dir.Path()), before);
}

// A write that fails halfway (file size limit) must not touch the old target.
TEST(CsvReplace, AWriteFailingHalfwayKeepsTheOldTargetAndRemovesTheTemporaryFile) {
  TempDir dir;
  const fs::path target = dir.Path() / "out.csv";
  WriteText(target, "old content\r\n");
  const std::vector<std::string> before = FolderEntries(dir.Path());

  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 4096;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const Result<std::size_t> written = WriteCsvLines(target, {std::string(10000, 'x')});
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, oldHandler);

  EXPECT_THAT(written.outcome().message(), ::testing::HasSubstr("File too large"));
  EXPECT_EQ(ReadText(target), "old content\r\n");
  EXPECT_EQ(FolderEntries(dir.Path()), before);
}

}  // namespace
}  // namespace kestrel::csv
