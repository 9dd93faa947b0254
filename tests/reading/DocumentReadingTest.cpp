#include "reading/DocumentReading.h"

#include <gtest/gtest.h>

#include "platform/fs/FileIo.h"
#include "tests/support/ExpectedRows.h"
#include "tests/support/FileSnapshot.h"
#include "tests/support/LockHolder.h"
#include "tests/support/PreparedDocument.h"
#include "tests/support/TestSupport.h"

namespace kestrel::reading {
namespace {

namespace stdfs = std::filesystem;

std::optional<DocumentReading> Read(const stdfs::path& file) {
  ooxml::PackageProperties packages;
  Result<DocumentReading> reading = ReadDocument(packages, file.string());
  if (!reading) return std::nullopt;
  return std::move(*reading);
}

std::optional<PropertyTexts> ReadRows(const stdfs::path& file) {
  ooxml::PackageProperties packages;
  return ReadDocumentRows(packages, file.string());
}

const test::ExpectedRows& Expected(const std::string& name) {
  static const auto rows = test::LoadExpectedRows(test::DataFile("expected-rows.jsonl"));
  return rows.at(name);
}

TEST(ReadDocument, ShowsTheRowsAndLeavesTheFileExactlyAsItWas) {
  const test::ScopedTimeZone tokyo("Asia/Tokyo");
  for (const char* name : {"lo-ja-full.doc", "lo-ja-full.docx", "poi-no-dsi.doc", "MixedCase.Docx"}) {
    for (const bool readOnly : {false, true}) {
      SCOPED_TRACE(std::string(name) + (readOnly ? " read-only" : ""));
      const test::TempDir dir;
      const auto file = test::PrepareDocument(dir, name, readOnly);
      const auto before = test::TakeFileSnapshot(file);
      const auto reading = Read(file);
      ASSERT_TRUE(reading);
      EXPECT_TRUE(reading->Succeeded());
      ASSERT_TRUE(reading->rows);
      EXPECT_EQ(*reading->rows, *Expected(name));
      EXPECT_EQ(reading->record.attributes & fs::kAttributeReadOnly, readOnly ? fs::kAttributeReadOnly : 0u);
      EXPECT_EQ(reading->record.times.lastWrite, (fs::Timestamp{test::kOddLastWrite.seconds, test::kOddLastWrite.nanoseconds}));
      test::ExpectUnchanged(before, test::TakeFileSnapshot(file));
    }
  }
}

// Each document is opened once: its record, its bytes and the check that nobody writes it all
// come through that one open.
TEST(ReadDocument, OpensEachDocumentOnce) {
  const test::ScopedTimeZone tokyo("Asia/Tokyo");
  for (const char* name : {"lo-ja-full.doc", "lo-ja-full.docx", "truncated.docx", "x.doc"}) {
    SCOPED_TRACE(name);
    const test::TempDir dir;
    const auto file = test::PrepareDocument(dir, name, true);
    int opens = 0;
    fs::SetFileOpener([&opens](const std::string& path, fs::OpenMode mode) {
      ++opens;
      return fs::OpenPosixFile(path, mode);
    });
    const auto reading = Read(file);
    fs::SetFileOpener({});
    ASSERT_TRUE(reading);
    EXPECT_EQ(opens, 1);
    EXPECT_EQ(reading->record.attributes & fs::kAttributeReadOnly, fs::kAttributeReadOnly);
  }
}

// Real documents from many producers, damaged ones among them: each reads as the independent
// readings say (or fails where they say it must) and is left exactly as it was.
TEST(ReadDocument, PublicDocumentsReadAsExpectedAndStayAsTheyWere) {
  const auto corpus = test::PublicCorpusDir();
  if (!corpus) GTEST_SKIP() << "../shared/corpus-public is not beside the checkout";
  const test::ScopedTimeZone tokyo("Asia/Tokyo");
  int checked = 0;
  for (const auto& [name, rows] : test::LoadExpectedRows(*corpus / "expected-rows.jsonl")) {
    SCOPED_TRACE(name);
    const test::TempDir dir;
    const auto file = dir.Copy(*corpus / "docs" / name);
    test::SetKernelTimes(file, test::kOddLastWrite, test::kOddLastAccess);
    test::MakeReadOnly(file);
    const auto before = test::TakeFileSnapshot(file);
    const auto reading = Read(file);
    ASSERT_TRUE(reading);
    EXPECT_EQ(reading->rows, rows);
    test::ExpectUnchanged(before, test::TakeFileSnapshot(file));
    ++checked;
  }
  EXPECT_GE(checked, 30);
}

// The attribute store of a hidden, system document comes back byte for byte.
TEST(ReadDocument, KeepsTheAttributeStoreOfAHiddenSystemDocument) {
  const test::ScopedTimeZone tokyo("Asia/Tokyo");
  const test::TempDir dir;
  const auto file = test::PrepareDocument(dir, "lo-ascii-full.doc", false);
  ASSERT_TRUE(fs::SetFileAttributes(file, fs::kAttributeHidden | fs::kAttributeSystem | fs::kAttributeReadOnly));
  test::SetKernelTimes(file, test::kOddLastWrite, test::kOddLastAccess);
  const auto before = test::TakeFileSnapshot(file);
  ASSERT_FALSE(before.xattrs.empty());
  const auto reading = Read(file);
  ASSERT_TRUE(reading);
  EXPECT_TRUE(reading->Succeeded());
  EXPECT_EQ(reading->record.attributes & 0x27u, fs::kAttributeHidden | fs::kAttributeSystem | fs::kAttributeReadOnly);
  test::ExpectUnchanged(before, test::TakeFileSnapshot(file));
}

// A package that cannot be read is a failed read that leaves the file as it was.
TEST(ReadDocument, AFailedPackageReadLeavesTheFileAsItWas) {
  const test::ScopedTimeZone tokyo("Asia/Tokyo");
  for (const char* name : {"truncated.docx", "z.docx", "renamed-doc-as.docx"}) {
    for (const bool readOnly : {false, true}) {
      SCOPED_TRACE(std::string(name) + (readOnly ? " read-only" : ""));
      const test::TempDir dir;
      const auto file = test::PrepareDocument(dir, name, readOnly);
      const auto before = test::TakeFileSnapshot(file);
      const auto reading = Read(file);
      ASSERT_TRUE(reading);
      EXPECT_FALSE(reading->rows);
      EXPECT_FALSE(reading->Succeeded());
      test::ExpectUnchanged(before, test::TakeFileSnapshot(file));
    }
  }
}

// A property part that is not well-formed makes the XML layer throw; the reading turns that into
// a failed read.
TEST(ReadDocumentRows, APartThatIsNotWellFormedIsAFailedRead) {
  const auto python = test::OlefilePython();
  if (!python) GTEST_SKIP() << "Debian's python3 is not installed";
  const test::TempDir dir;
  const auto source = test::DataFile("lo-ja-full.docx");
  const auto file = dir.Path() / "broken.docx";
  const std::string script =
      "import sys, zipfile\n"
      "src = zipfile.ZipFile(sys.argv[1])\n"
      "with zipfile.ZipFile(sys.argv[2], 'w', zipfile.ZIP_DEFLATED) as out:\n"
      "    for info in src.infolist():\n"
      "        data = src.read(info.filename)\n"
      "        if info.filename == 'docProps/core.xml': data = data[:len(data) // 2]\n"
      "        out.writestr(info, data)\n";
  ASSERT_EQ(test::RunCommand(*python + " -c " + test::ShellQuote(script) + " " + test::ShellQuote(source.string()) + " " +
                             test::ShellQuote(file.string()))
                .exitCode,
            0);
  EXPECT_FALSE(ReadRows(file));
  const auto reading = Read(file);
  ASSERT_TRUE(reading);
  EXPECT_FALSE(reading->Succeeded());
}

TEST(ReadDocumentRows, TheExtensionDecidesTheKind) {
  const test::ScopedTimeZone tokyo("Asia/Tokyo");
  const auto mixedCase = ReadRows(test::DataFile("MixedCase.Docx"));
  ASSERT_TRUE(mixedCase);
  EXPECT_EQ(*mixedCase, *Expected("MixedCase.Docx"));
  // A binary document named .docx is no package.
  EXPECT_FALSE(ReadRows(test::DataFile("renamed-doc-as.docx")));
}

// A file named .doc that is no compound file: 13 empty rows and "0" minutes, and no failure.
TEST(ReadDocument, ADocThatIsNoCompoundFileReadsAsEmptyRows) {
  const test::TempDir dir;
  const auto file = test::PrepareDocument(dir, "x.doc", true);
  const auto before = test::TakeFileSnapshot(file);
  const auto reading = Read(file);
  ASSERT_TRUE(reading);
  EXPECT_TRUE(reading->Succeeded());
  PropertyTexts expected{};
  expected[catalogue::kEditingTime] = "0";
  EXPECT_EQ(*reading->rows, expected);
  test::ExpectUnchanged(before, test::TakeFileSnapshot(file));
}

TEST(ReadDocument, AMissingDocumentIsNotRead) {
  const test::TempDir dir;
  EXPECT_FALSE(Read(dir.Path() / "gone.doc"));
  EXPECT_FALSE(Read(dir.Path() / "gone.docx"));
  // A folder is no document.
  stdfs::create_directory(dir.Path() / "folder.doc");
  EXPECT_FALSE(Read(dir.Path() / "folder.doc"));
}

// Another program writing the document: the reading fails and leaves the file alone.
TEST(ReadDocument, ADocumentHeldByAnotherProgramStaysReadOnly) {
  const test::TempDir dir;
  const auto file = test::PrepareDocument(dir, "lo-ja-full.doc", true);
  const auto before = test::TakeFileSnapshot(file);
  const test::LockHolder holder(file, true);
  ASSERT_TRUE(holder.Holding());
  const auto reading = Read(file);
  ASSERT_TRUE(reading);
  EXPECT_FALSE(reading->opened);
  EXPECT_FALSE(reading->Succeeded());
  const auto after = test::TakeFileSnapshot(file);
  EXPECT_TRUE(before.bytes == after.bytes);
  EXPECT_EQ(before.mode, after.mode);
  EXPECT_TRUE(before.xattrs == after.xattrs);
  EXPECT_EQ(test::ToString(before.lastWrite), test::ToString(after.lastWrite));
}

}  // namespace
}  // namespace kestrel::reading
