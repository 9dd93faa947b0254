// kestrelpad-cli export: the file of the program's CSV export, code page 932 with CR LF.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "export/CsvLines.h"
#include "tests/cli/CliRun.h"
#include "tests/cli/KnownDocuments.h"
#include "tests/support/TestSupport.h"

namespace kestrel::test {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

// Python's cp932 codec, independent of the program's converter.
std::vector<std::uint8_t> EncodedByPython(const TempDir& dir, const std::vector<std::string>& lines) {
  std::string joined;
  for (const std::string& line : lines) joined += (joined.empty() ? "" : std::string(1, '\0')) + line;
  WriteBytes(dir.Path() / "lines.txt", {joined.begin(), joined.end()});
  FileStateOutput({"cp932", (dir.Path() / "lines.txt").string(), (dir.Path() / "expected.csv").string()});
  return ReadBytes(dir.Path() / "expected.csv");
}

TEST(CliExport, WritesTheExportFileByteForByte) {
  const TempDir dir;
  const std::optional<KnownDocuments> known = PrepareKnownDocuments(dir.Path());
  if (!known) GTEST_SKIP() << "the temporary folder's file system keeps no user.* extended attributes";
  const KnownDocuments& documents = *known;

  const CliResult result = RunCli(Concat({"export", "-o", "out.csv"}, documents.names), dir.Path());

  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "kestrelpad-cli: out.csv: " + std::to_string(documents.names.size()) +
                            " documents written, 0 characters replaced with \"?\", 0 left out\n");
  const std::vector<std::uint8_t> written = ReadBytes(dir.Path() / "out.csv");
  EXPECT_EQ(written, EncodedByPython(dir, documents.lines));
  // And exactly what the program's own export writes for the same lines.
  ASSERT_TRUE(csv::WriteCsvLines(dir.Path() / "program.csv", documents.lines));
  EXPECT_EQ(written, ReadBytes(dir.Path() / "program.csv"));
}

// Real documents changed by "set" to hold what spreadsheets trip over, exported, and read back by
// Python's csv module in code page 932, as a Japanese spreadsheet reads the file.
TEST(CliExport, PythonsCsvModuleReadsEveryFieldBack) {
  if (RunCommand("/usr/bin/python3 -c 'import csv'").exitCode != 0) {
    GTEST_SKIP() << "no python3: the file is read back by its csv module";
  }
  const TempDir dir;
  dir.Copy(DataFile("lo-ascii-full.doc"), "quote.doc");
  dir.Copy(DataFile("lo-ja-full.docx"), "marks.docx");
  dir.Copy(DataFile("lo-ja-full.doc"), "hebrew.doc");
  const std::string title = "Say \"cheese\", please";
  const std::string comment = "first line\r\nsecond \"line\",\nthird";
  for (const std::vector<std::string>& words : std::vector<std::vector<std::string>>{
           {"set", "--title", title, "--comments", comment, "quote.doc"},
           {"set", "--subject", "〜−¥‾—‖¢£¬", "marks.docx"},
           {"set", "--title", "שלום", "hebrew.doc"}}) {
    ASSERT_EQ(RunCli(words, dir.Path()).exitCode, 0) << words.back();
  }

  const CliResult result = RunCli({"export", "-o", "out.csv", "quote.doc", "marks.docx", "hebrew.doc"}, dir.Path());
  ASSERT_EQ(result.exitCode, 0) << result.err;

  const std::vector<std::vector<std::string>> records = CsvRecords(dir.Path() / "out.csv");
  ASSERT_EQ(records.size(), 4U);
  for (const std::vector<std::string>& record : records) ASSERT_EQ(record.size(), 23U);
  EXPECT_EQ(records[0][2], "タイトル");
  EXPECT_EQ(records[1][1], "quote.doc");
  EXPECT_EQ(records[1][2], title);
  EXPECT_EQ(records[1][6], comment);
  EXPECT_EQ(records[2][1], "marks.docx");
  // The marks as code page 932 shows the bytes Windows writes for them.
  EXPECT_EQ(records[2][3], "～－\\~―∥￠￡￢");
  EXPECT_EQ(records[3][1], "hebrew.doc");
  EXPECT_EQ(records[3][2], "????");
  // The count told is that of the question marks read back.
  std::size_t questionMarks = 0;
  for (const std::vector<std::string>& record : records) {
    for (const std::string& field : record) questionMarks += std::count(field.begin(), field.end(), '?');
  }
  EXPECT_THAT(result.err, HasSubstr("out.csv: 3 documents written, " + std::to_string(questionMarks) +
                                    " characters replaced with \"?\", 0 left out\n"));
}

// Read back by Python's csv module, the UTF-8 file holds what the Shift-JIS one holds.
TEST(CliExport, Utf8HoldsWhatShiftJisHolds) {
  if (RunCommand("/usr/bin/python3 -c 'import csv'").exitCode != 0) GTEST_SKIP() << "no python3";
  const TempDir dir;
  for (const char* name : {"lo-ascii-full.doc", "lo-ja-full.doc", "lo-ja-full.docx"}) dir.Copy(DataFile(name));
  const std::vector<std::string> names = {"lo-ascii-full.doc", "lo-ja-full.doc", "lo-ja-full.docx"};
  ASSERT_EQ(RunCli(Concat({"export", "-o", "sjis.csv"}, names), dir.Path()).exitCode, 0);
  const CliResult utf8 = RunCli(Concat({"export", "--utf8", "-o", "utf8.csv"}, names), dir.Path());
  EXPECT_EQ(utf8.exitCode, 0) << utf8.err;
  // Nothing is replaced in UTF-8, so nothing is counted.
  EXPECT_THAT(utf8.err, HasSubstr("utf8.csv: 3 documents written, 0 left out\n"));

  const auto records = [&](const std::string& file, const std::string& codec) {
    return RunCommand("/usr/bin/python3 " + ShellQuote(TestScript("cli/read_back.py").string()) + " records " +
                      ShellQuote((dir.Path() / file).string()) + " " + codec);
  };
  const CommandResult sjis = records("sjis.csv", "cp932");
  EXPECT_THAT(sjis.output, HasSubstr(Hex("山田太郎")));
  EXPECT_EQ(records("utf8.csv", "utf-8-sig").output, sjis.output);
  const std::vector<std::uint8_t> bytes = ReadBytes(dir.Path() / "utf8.csv");
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 3), "\xEF\xBB\xBF");
  EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), std::count(bytes.begin(), bytes.end(), '\r'));
}

TEST(CliExport, TakesTheTargetInEveryOptionForm) {
  const TempDir dir;
  dir.Copy(DataFile("lo-ascii-full.docx"));
  const std::vector<std::vector<std::string>> forms = {{"export", "-o", "a.csv", "lo-ascii-full.docx"},
                                                        {"export", "-ob.csv", "lo-ascii-full.docx"},
                                                        {"export", "lo-ascii-full.docx", "--output=c.csv"},
                                                        {"export", "--output", "d.csv", "lo-ascii-full.docx"}};
  for (const auto& words : forms) {
    EXPECT_EQ(RunCli(words, dir.Path()).exitCode, 0) << words[1];
  }
  const std::vector<std::uint8_t> first = ReadBytes(dir.Path() / "a.csv");
  EXPECT_GT(first.size(), 400u);
  for (const char* name : {"b.csv", "c.csv", "d.csv"}) EXPECT_EQ(ReadBytes(dir.Path() / name), first) << name;
}

TEST(CliExport, WritesTheFileAlsoWhenADocumentCannotBeRead) {
  const TempDir dir;
  dir.Copy(DataFile("lo-ascii-full.doc"), "good.doc");
  dir.Copy(DataFile("truncated.docx"));

  const CliResult result = RunCli({"export", "-o", "out.csv", "missing.doc", "truncated.docx", "good.doc"}, dir.Path());

  EXPECT_EQ(result.exitCode, 1);
  EXPECT_THAT(result.err, HasSubstr("missing.doc: no such file"));
  EXPECT_THAT(result.err, HasSubstr("truncated.docx: cannot be read as a package"));
  // The missing document still has a line of its path and name; the package has none.
  EXPECT_THAT(result.err, HasSubstr("out.csv: 2 documents written, 0 characters replaced with \"?\", 1 left out; "
                                    "first left out: truncated.docx: cannot be read as a package"));
  const std::vector<std::uint8_t> bytes = ReadBytes(dir.Path() / "out.csv");
  const std::string text(bytes.begin(), bytes.end());
  EXPECT_THAT(text, HasSubstr("\"missing.doc\",\r\n\""));
  EXPECT_THAT(text, HasSubstr("\"good.doc\",\"Quarterly Report\","));
  EXPECT_EQ(text.find("truncated"), std::string::npos);
}

TEST(CliExport, NamesATargetItCannotWriteAndLeavesItAlone) {
  const TempDir dir;
  dir.Copy(DataFile("lo-ascii-full.doc"));
  fs::create_directory(dir.Path() / "taken.csv");
  const fs::path readOnly = dir.Path() / "read-only.csv";
  WriteBytes(readOnly, {'o', 'l', 'd'});
  fs::permissions(readOnly, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);

  for (const std::string target : {"no-such-folder/out.csv", "taken.csv", "read-only.csv"}) {
    const CliResult result = RunCli({"export", "-o", target, "lo-ascii-full.doc"}, dir.Path());
    EXPECT_EQ(result.exitCode, 1) << target;
    EXPECT_THAT(result.err, HasSubstr(target + ": cannot be saved")) << target;
  }
  EXPECT_TRUE(fs::is_directory(dir.Path() / "taken.csv"));
  EXPECT_TRUE(fs::is_empty(dir.Path() / "taken.csv"));
  EXPECT_FALSE(fs::exists(dir.Path() / "no-such-folder"));
  EXPECT_EQ(ReadBytes(readOnly), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
}

}  // namespace
}  // namespace kestrel::test
