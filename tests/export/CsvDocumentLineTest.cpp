#include "export/CsvDocumentLine.h"

#include <sys/statfs.h>
#include <sys/xattr.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "catalogue/PropertyCatalogue.h"
#include "export/CsvLines.h"
#include "platform/fs/FileState.h"
#include "tests/support/FileSnapshot.h"
#include "tests/support/LockHolder.h"
#include "tests/support/TestSupport.h"
#include "worddoc/BinaryChange.h"

namespace kestrel::csv {
namespace {

namespace stdfs = std::filesystem;
using test::KernelTime;

constexpr std::size_t kColumns = 23;
constexpr std::int64_t kUnixEpochInFileTimeSeconds = 11'644'473'600;

// The header in code page 932, written out byte by byte.
const std::string kHeaderCp932 =
    "\"File full name\",\"File Name\","
    "\"\x83^\x83" "C\x83g\x83\x8B\","                              // タイトル
    "\"\x95\x5C\x91\xE8\","                                        // 表題
    "\"\x8D\xEC\x90\xAC\x8E\xD2\","                                // 作成者
    "\"\x83L\x81[\x83\x8F\x81[\x83h\","                            // キーワード
    "\"\x83R\x83\x81\x83\x93\x83g\","                              // コメント
    "\"\x83J\x83" "e\x83S\x83\x8A\x81[\","                         // カテゴリー
    "\"\x89\xFC\x92\xF9\x94\xD4\x8D\x86\","                        // 改訂番号
    "\"\x91O\x89\xF1\x95\xDB\x91\xB6\x8E\xD2\","                   // 前回保存者
    "\"\x8A\xC7\x97\x9D\x8E\xD2\","                                // 管理者
    "\"\x89\xEF\x8E\xD0\x96\xBC\","                                // 会社名
    "\"\x8D\xEC\x90\xAC\x93\xFA\x8E\x9E\","                        // 作成日時
    "\"\x91O\x89\xF1\x95\xDB\x91\xB6\x93\xFA\x8E\x9E\","           // 前回保存日時
    "\"\x95\xD2\x8FW\x8E\x9E\x8A\xD4\","                           // 編集時間
    "\"\x91O\x89\xF1\x88\xF3\x8D\xFC\x93\xFA\x8E\x9E\","           // 前回印刷日時
    "\"Creation Time\",\"Modify Time\",\"Last Access Time\",\"Read-only\",\"Archive\",\"Hidden\",\"System\"";

// One expected line from its fields, quoted (quotes in them doubled) and joined here rather than
// by the code under test.
std::string Line(const std::vector<std::string>& fields) {
  EXPECT_EQ(fields.size(), kColumns);
  std::string line;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    line += i == 0 ? "\"" : ",\"";
    for (const char c : fields[i]) line += c == '"' ? std::string(2, c) : std::string(1, c);
    line += '"';
  }
  return line;
}

// The fields of a line whose values hold no "," between quotes.
std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  if (line.size() < 2 || line.front() != '"') return fields;
  std::size_t start = 1;
  for (std::size_t end; (end = line.find("\",\"", start)) != std::string::npos; start = end + 3) {
    fields.push_back(line.substr(start, end - start));
  }
  if (line.back() == '"') fields.push_back(line.substr(start, line.size() - 1 - start));
  return fields;
}

KernelTime At(std::int64_t unixSeconds, std::uint32_t nanoseconds = 0) { return {unixSeconds, nanoseconds}; }

// A user.DOSATTRIB blob as Samba 4.17 writes it (version 5: attribute word and creation time),
// so the creation time the export shows is one the test chose.
void SetCreationTime(const stdfs::path& file, std::int64_t unixSeconds) {
  std::vector<std::uint8_t> blob = {0x00, 0x00, 0x05, 0x00, 0x05, 0x00, 0x00, 0x00,
                                    0x11, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
  std::uint64_t fileTime = static_cast<std::uint64_t>(unixSeconds + kUnixEpochInFileTimeSeconds) * 10'000'000U;
  for (int i = 0; i < 8; ++i, fileTime >>= 8) blob.push_back(static_cast<std::uint8_t>(fileTime & 0xFF));
  ASSERT_EQ(::setxattr(file.c_str(), "user.DOSATTRIB", blob.data(), blob.size(), 0), 0) << file;
}

struct DocumentState {
  std::int64_t creation;
  KernelTime lastWrite;
  KernelTime lastAccess;
  std::uint32_t attributes;
};

void Prepare(const stdfs::path& file, const DocumentState& state) {
  SetCreationTime(file, state.creation);
  ASSERT_TRUE(fs::SetFileAttributes(file, state.attributes)) << file;
  // Last, because changing the attributes may touch the times.
  test::SetKernelTimes(file, state.lastWrite, state.lastAccess);
}

// The snapshot of a prepared document, its times set again afterwards: taking the snapshot reads
// the bytes, and relatime moves a last-access time older than a day on every read.
test::FileSnapshot PreparedSnapshot(const stdfs::path& file, const DocumentState& state) {
  Prepare(file, state);
  test::FileSnapshot snapshot = test::TakeFileSnapshot(file);
  test::SetKernelTimes(file, state.lastWrite, state.lastAccess);
  return snapshot;
}

std::vector<std::string> BuildLines(const std::vector<stdfs::path>& files) {
  ooxml::PackageProperties packages;
  std::vector<std::string> lines = {CsvHeaderLine()};
  for (const stdfs::path& file : files) AppendDocumentLine(packages, file.string(), file.string(), lines);
  return lines;
}

std::string ReadText(const stdfs::path& file) {
  const std::vector<std::uint8_t> bytes = test::ReadBytes(file);
  return {bytes.begin(), bytes.end()};
}

bool IsPrintableAscii(const std::string& text) {
  for (const char c : text) {
    if (c < 0x20 || c > 0x7E) return false;
  }
  return true;
}

constexpr std::uint32_t kReadOnly = fs::kAttributeReadOnly;
constexpr std::uint32_t kHidden = fs::kAttributeHidden;
constexpr std::uint32_t kSystem = fs::kAttributeSystem;
constexpr std::uint32_t kArchive = fs::kAttributeArchive;

// Real documents of every kind with chosen times and attributes, through the line builder and
// the file writer, against bytes written out by hand; afterwards every document is as it was.
TEST(CsvDocumentLine, ExportOfRealDocumentsIsByteExactAndLeavesThemUntouched) {
  const test::ScopedTimeZone tokyo("Asia/Tokyo");
  const test::TempDir dir;
  const std::string folder = dir.Path().string();
  ASSERT_TRUE(IsPrintableAscii(folder)) << "the expected bytes spell the folder as it is: " << folder;

  const stdfs::path report = dir.Copy(test::DataFile("lo-ascii-full.doc"), "report.doc");
  const stdfs::path summary = dir.Copy(test::DataFile("lo-ascii-full.docx"), "summary.docx");
  const stdfs::path japanese = dir.Copy(test::DataFile("poi-ja-cp932.doc"), "報告書.doc");
  const stdfs::path gone = dir.Path() / "gone.doc";
  const stdfs::path notCompound = dir.Copy(test::DataFile("x.doc"), "notes.doc");
  const stdfs::path binaryAsPackage = dir.Copy(test::DataFile("renamed-doc-as.docx"), "renamed.docx");
  const stdfs::path multiline = dir.Copy(test::DataFile("lo-ascii-noprint-multiline.doc"), "meeting.doc");
  const stdfs::path quoted = dir.Copy(test::DataFile("lo-empty-props.doc"), "quote.doc");
  const stdfs::path accented = dir.Copy(test::DataFile("pandoc-minimal.docx"), "café.docx");

  catalogue::PropertyRows title;
  title.values.at(catalogue::kTitle) = "Say \"cheese\"";
  title.included.at(catalogue::kTitle) = true;
  ASSERT_TRUE(worddoc::ChangeBinaryProperties(quoted.string(), title));

  // Unix seconds; the texts below are their Asia/Tokyo (UTC+9) wall-clock times.
  const std::vector<std::pair<stdfs::path, DocumentState>> present = {
      {report, {1609556645, At(1646370367, 999'999'999), At(1625065200), kArchive}},
      {summary, {1572942600, At(1709218799), At(-2070781199), kHidden | kSystem}},
      {japanese, {946684800, At(1672498800), At(-2070781200), kReadOnly | kArchive}},
      {notCompound, {1268611530, At(1268611530, 500), At(0), 0}},
      {binaryAsPackage, {1268611530, At(1646370367, 123'456'789), At(1625065200, 42), kReadOnly}},
      {multiline, {946652400, At(981173106, 500'000'000), At(-2114380800), kReadOnly | kHidden | kSystem | kArchive}},
      {quoted, {1907722800, At(1907722800, 100), At(2051222400), kArchive}},
      {accented, {1514764800, At(1600000000), At(2051222400), 0}},
  };
  std::vector<test::FileSnapshot> before;
  for (const auto& [file, state] : present) before.push_back(PreparedSnapshot(file, state));
  ASSERT_FALSE(HasFatalFailure());

  const std::vector<std::string> lines =
      BuildLines({report, summary, japanese, gone, notCompound, binaryAsPackage, multiline, quoted, accented});

  // The header, eight lines (the binary document named .docx has none), 23 fields on every full line.
  ASSERT_EQ(lines.size(), 9U);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i == 4) continue;  // gone.doc
    EXPECT_EQ(Fields(lines[i]).size(), kColumns) << lines[i];
  }
  EXPECT_EQ(lines[4], "\"" + folder + "/gone.doc\",\"gone.doc\",");

  const stdfs::path target = dir.Path() / "export.csv";
  ASSERT_TRUE(WriteCsvLines(target.string(), lines));

  const std::string expected =
      kHeaderCp932 + "\r\n" +
      Line({folder + "/report.doc", "report.doc", "Quarterly Report", "Sales summary", "John Smith", "report, sales",
            "He said \"hello\" and left.", "", "3", "Jane Doe", "", "", "2019/11/05 8:30:00", "2020/02/29 23:59:59",
            "0", "2020/02/28 17:45:00", "2021/01/02 12:04:05", "2022/03/04 14:06:07", "2021/07/01", "", "Y", "", ""}) +
      "\r\n" +
      Line({folder + "/summary.docx", "summary.docx", "Quarterly Report", "Sales summary", "John Smith",
            "report sales", "He said \"hello\" and left.", "Finance", "3", "Jane Doe", "Alice Manager", "Example Corp",
            "2019/11/05 17:30:00", "2020/03/01 8:59:59", "62", "2020/02/29 2:45:00", "2019/11/05 17:30:00",
            "2024/02/29 23:59:59", "1904/05/20 0:00:01", "", "", "Y", "Y"}) +
      "\r\n" +
      Line({folder + "/\x95\xF1\x8D\x90\x8F\x91.doc", "\x95\xF1\x8D\x90\x8F\x91.doc",   // 報告書.doc
            "\x8A\xEE\x96{\x95\xB6\x8F\x91\x82\xCC\x83^\x83" "C\x83g\x83\x8B",                 // 基本文書のタイトル
            "\x8A\xEE\x96{\x82\xCC\x95\x5C\x91\xE8",                                            // 基本の表題
            "\x8ER\x93" "c\x91\xBE\x98Y",                                                       // 山田太郎
            "\x8A\xEE\x96{, \x93\xFA\x96{\x8C\xEA",                                             // 基本, 日本語
            "\x8A\xEE\x96{\x95\xB6\x8F\x91\x82\xCC\x83R\x83\x81\x83\x93\x83g\x82\xC5\x82\xB7\x81" "B",  // ...コメントです。
            "\x8BZ\x8Fp\x8E\x91\x97\xBF",                                                       // 技術資料
            "12",
            "\x97\xE9\x96\xD8\x89\xD4\x8Eq",                                                    // 鈴木花子
            "\x8A\xC7\x97\x9D\x8E\xD2 \x8D\xB2\x93\xA1\x88\xEA\x98Y",                           // 管理者 佐藤一郎
            "\x8A\x94\x8E\xAE\x89\xEF\x8E\xD0\x83" "e\x83X\x83g",                               // 株式会社テスト
            "2021/02/03 10:20:30", "2022/11/22 17:40:50", "90", "2022/11/21 9:00:00", "2000/01/01 9:00:00",
            "2023/01/01", "", "Y", "Y", "", ""}) +
      "\r\n\"" + folder + "/gone.doc\",\"gone.doc\",\r\n" +
      Line({folder + "/notes.doc", "notes.doc", "", "", "", "", "", "", "", "", "", "", "", "", "0", "",
            "2010/03/15 9:05:30", "2010/03/15 9:05:30", "1970/01/01 9:00:00", "", "", "", ""}) +
      "\r\n" +
      Line({folder + "/meeting.doc", "meeting.doc", "Meeting notes", "Weekly meeting", "Bob Brown", "notes",
            "First line\nSecond line", "", "1", "Bob Brown", "", "", "2022/09/12 14:00:00", "2022/09/13 9:05:00", "0",
            "1601/01/01 9:00:00", "2000/01/01", "2001/02/03 13:05:06", "", "Y", "Y", "Y", "Y"}) +
      "\r\n" +
      Line({folder + "/quote.doc", "quote.doc", "Say \"cheese\"", "", "", "", "", "", "0", "", "", "", "2022/01/01",
            "2022/01/01", "0", "1601/01/01 9:00:00", "2030/06/15 12:00:00", "2030/06/15 12:00:00",
            "2035/01/01 9:00:00", "", "Y", "", ""}) +
      "\r\n" +
      Line({folder + "/cafe.docx", "cafe.docx", "", "", "", "", "", "", "", "", "", "", "2020/09/13 21:26:40",
            "2020/09/13 21:26:40", "6", "", "2018/01/01 9:00:00", "2020/09/13 21:26:40", "2035/01/01 9:00:00", "", "",
            "", ""}) +
      "\r\n";
  EXPECT_EQ(ReadText(target), expected);

  for (std::size_t i = 0; i < present.size(); ++i) {
    SCOPED_TRACE(present[i].first.filename().string());
    test::ExpectUnchanged(before[i], test::TakeFileSnapshot(present[i].first));
  }
  EXPECT_FALSE(stdfs::exists(gone));
  const std::optional<fs::FileRecord> readOnly = fs::ReadFileRecord(japanese.string());
  ASSERT_TRUE(readOnly);
  EXPECT_EQ(readOnly->attributes & kReadOnly, kReadOnly);
}

// Turns every code page property `from` of the file's property sets into `to`, in place: a VT_I2
// value with its padding, which the small streams of the test documents hold in one piece.
// Answers how many it turned.
int TurnCodePages(const stdfs::path& file, std::uint16_t from, std::uint16_t to) {
  const auto property = [](std::uint16_t codePage) {
    return std::string{2, 0, 0, 0, static_cast<char>(codePage & 0xFF), static_cast<char>(codePage >> 8), 0, 0};
  };
  std::string bytes = ReadText(file);
  int turned = 0;
  for (std::size_t at = 0; (at = bytes.find(property(from), at)) != std::string::npos; ++turned) {
    bytes.replace(at, 8, property(to));
  }
  test::WriteBytes(file, {bytes.begin(), bytes.end()});
  return turned;
}

// A text a property set keeps in another 8-bit code page reaches the file through Unicode: the
// stored byte 0xE9 is é in code page 1252 (written e, as Windows writes it) and й in 1251 (the
// Shift-JIS Cyrillic letter). Copied as it is, the byte would swallow the closing quote.
TEST(CsvDocumentLine, TextsOfOtherCodePagesAreConvertedThroughUnicode) {
  const test::TempDir dir;
  const stdfs::path file = dir.Copy(test::DataFile("poi-ascii-cp1252.doc"), "cp.doc");
  catalogue::PropertyRows title;
  title.values.at(catalogue::kTitle) = "Caf\u00E9";
  title.included.at(catalogue::kTitle) = true;
  ASSERT_TRUE(worddoc::ChangeBinaryProperties(file.string(), title));
  ASSERT_NE(ReadText(file).find("Caf\xE9"), std::string::npos) << "the title is stored in code page 1252";

  struct Case {
    std::uint16_t codePage;
    std::string title;
    std::string written;
  };
  std::uint16_t stored = 1252;
  for (const Case& c : {Case{1252, "Caf\u00E9", "\"Cafe\","}, Case{1251, "Caf\u0439", "\"Caf\x84\x7A\","}}) {
    SCOPED_TRACE(c.codePage);
    if (c.codePage != stored) {
      ASSERT_GT(TurnCodePages(file, stored, c.codePage), 0);
    }
    stored = c.codePage;
    const std::vector<std::string> lines = BuildLines({file});
    ASSERT_EQ(lines.size(), 2U);
    const std::vector<std::string> fields = Fields(lines[1]);
    ASSERT_EQ(fields.size(), kColumns);
    EXPECT_EQ(fields[2], c.title);
    const stdfs::path target = dir.Path() / "out.csv";
    const Result<std::size_t> written = WriteCsvLines(target.string(), lines);
    ASSERT_TRUE(written) << written.outcome().message();
    ASSERT_EQ(*written, 0U);
    EXPECT_NE(ReadText(target).find(c.written), std::string::npos);
  }
}

// The edge of the last-access column: only times later than 1904-05-20 00:00 local time are
// written, in a zone half an hour off the hour too.
TEST(CsvDocumentLine, LastAccessIsWrittenOnlyAfterTheThresholdInLocalTime) {
  const test::ScopedTimeZone kolkata("Asia/Kolkata");  // UTC+5:30 all year
  const test::TempDir dir;
  const stdfs::path file = dir.Copy(test::DataFile("lo-empty-props.doc"), "a.doc");
  // 1904-05-19 18:30:00 UTC: converted with the offset in force now, not the one of 1904.
  constexpr std::int64_t kThreshold = -2070768600;
  struct Case {
    std::int64_t lastAccess;
    std::string expected;
  };
  for (const Case& c : {Case{kThreshold, ""}, Case{kThreshold - 1, ""}, Case{kThreshold + 1, "1904/05/20 0:00:01"},
                        Case{kThreshold + 86400, "1904/05/21"}}) {
    SCOPED_TRACE(c.lastAccess);
    ASSERT_NO_FATAL_FAILURE(Prepare(file, {1514764800, At(1514764800), At(c.lastAccess), 0}));
    const std::vector<std::string> lines = BuildLines({file});
    ASSERT_EQ(lines.size(), 2U);
    const std::vector<std::string> fields = Fields(lines[1]);
    ASSERT_EQ(fields.size(), kColumns);
    EXPECT_EQ(fields[16], "2018/01/01 5:30:00");
    EXPECT_EQ(fields[18], c.expected);
  }
}

// A folder of its own on /dev/shm, removed with everything in it.
struct ShmFolder {
  stdfs::path path;
  ~ShmFolder() {
    std::error_code ignored;
    stdfs::remove_all(path, ignored);
  }
};

// A file system that keeps times from before 1601 gives a zero file time: the field is empty
// and the line keeps its 23 fields.
TEST(CsvDocumentLine, AZeroLastAccessTimeLeavesTheFieldEmpty) {
  struct statfs info {};
  if (::statfs("/dev/shm", &info) != 0 || info.f_type != 0x01021994 /* TMPFS_MAGIC */) {
    GTEST_SKIP() << "no tmpfs at /dev/shm to hold a last-access time before 1601";
  }
  const test::ScopedTimeZone tokyo("Asia/Tokyo");
  std::string pattern = "/dev/shm/kestrel-csv-XXXXXX";
  ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
  const ShmFolder folder{pattern};
  const stdfs::path file = folder.path / "old.doc";
  stdfs::copy_file(test::DataFile("lo-empty-props.doc"), file);
  // Last access 1500-01-01.
  const test::FileSnapshot before = PreparedSnapshot(file, {1514764800, At(1514764800), At(-14831769600), kArchive});
  ASSERT_FALSE(HasFatalFailure());
  const std::vector<std::string> lines = BuildLines({file});
  const test::FileSnapshot after = test::TakeFileSnapshot(file);

  ASSERT_EQ(before.lastAccess, At(-14831769600)) << "tmpfs did not keep the time";
  ASSERT_EQ(lines.size(), 2U);
  const std::vector<std::string> fields = Fields(lines[1]);
  ASSERT_EQ(fields.size(), kColumns);
  EXPECT_EQ(fields[16], "2018/01/01 9:00:00");
  EXPECT_EQ(fields[18], "");
  EXPECT_EQ(fields[20], "Y");
  test::ExpectUnchanged(before, after);
}

TEST(CsvDocumentLine, WhatIsNotAFileGetsThePathAndNameFollowedByAComma) {
  const test::TempDir dir;
  const stdfs::path folder = dir.Path() / "folder.doc";
  stdfs::create_directory(folder);
  const std::vector<std::string> lines = BuildLines({folder, dir.Path() / "missing.docx"});
  ASSERT_EQ(lines.size(), 3U);
  const std::string folderPath = folder.string();
  const std::string missingPath = (dir.Path() / "missing.docx").string();
  EXPECT_EQ(lines[1], "\"" + folderPath + "\",\"folder.doc\",");
  EXPECT_EQ(lines[2], "\"" + missingPath + "\",\"missing.docx\",");
}

// Packages that cannot be read get no line, yet are put back: the read may have moved the
// last-access time (relatime moves it when it is older than the last write).
TEST(CsvDocumentLine, APackageThatCannotBeReadHasNoLineAndIsPutBack) {
  const test::ScopedTimeZone tokyo("Asia/Tokyo");
  for (const char* name : {"renamed-doc-as.docx", "truncated.docx", "z.docx"}) {
    for (const std::uint32_t attributes : {0U, kReadOnly | kHidden}) {
      SCOPED_TRACE(std::string(name) + " attributes " + std::to_string(attributes));
      const test::TempDir dir;
      const stdfs::path file = dir.Copy(test::DataFile(name));
      const test::FileSnapshot before =
          PreparedSnapshot(file, {1268611530, At(1646370367, 123'456'789), At(1625065200, 42), attributes});
      ASSERT_FALSE(HasFatalFailure());
      EXPECT_EQ(BuildLines({file}).size(), 1U);
      test::ExpectUnchanged(before, test::TakeFileSnapshot(file));
    }
  }
}

// Another program reading the document keeps it from being opened for the times; the line is
// written all the same and a read-only document stays read-only.
TEST(CsvDocumentLine, ADocumentHeldOpenStillGetsItsLineAndStaysReadOnly) {
  const test::ScopedTimeZone tokyo("Asia/Tokyo");
  const test::TempDir dir;
  const stdfs::path file = dir.Copy(test::DataFile("lo-ascii-full.doc"), "held.doc");
  ASSERT_NO_FATAL_FAILURE(Prepare(file, {1609556645, At(1646370367), At(1625065200), kReadOnly}));
  const test::LockHolder holder(file, false);
  ASSERT_TRUE(holder.Holding());
  const std::vector<std::string> lines = BuildLines({file});
  ASSERT_EQ(lines.size(), 2U);
  const std::vector<std::string> fields = Fields(lines[1]);
  ASSERT_EQ(fields.size(), kColumns);
  EXPECT_EQ(fields[2], "Quarterly Report");
  EXPECT_EQ(fields[19], "Y");
  const std::optional<fs::FileRecord> after = fs::ReadFileRecord(file.string());
  ASSERT_TRUE(after);
  EXPECT_EQ(after->attributes & kReadOnly, kReadOnly);
}

}  // namespace
}  // namespace kestrel::csv
