// Package against Python's zipfile (tests/oracle/zip_dump.py) as the independent reader.

#include "ooxml/zip/PackageZip.h"


#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cctype>
#include <ctime>
#include <functional>
#include <filesystem>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/LittleEndian.h"
#include "platform/fs/FileIo.h"
#include "tests/platform/fs/ScratchFileSystem.h"
#include "tests/support/FaultyFiles.h"
#include "tests/support/LockHolder.h"
#include "tests/support/TestSupport.h"

namespace kestrel::zip {
namespace {

namespace fsys = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

Bytes FromHex(const std::string& hex) {
  Bytes out;
  if (hex == "-") return out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return out;
}
Bytes ToBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }
std::string ToText(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

std::string Python(const std::string& arguments) {
  test::CommandResult result = test::RunCommand("/usr/bin/python3 " + test::ShellQuote(test::TestScript("oracle/zip_dump.py").string()) + " " + arguments);
  if (result.exitCode != 0) ADD_FAILURE() << "zip_dump.py " << arguments << ":\n" << result.output;
  return result.output;
}

struct PyEntry {
  std::string name;  // with "/"
  int method = 0;
  std::string dateTime;
  std::uint32_t crc = 0;
  std::uint64_t compressSize = 0;
  int flags = 0;
  int createVersion = 0;
  int extractVersion = 0;
  std::uint32_t externalAttributes = 0;
  Bytes raw;   // the compressed bytes after the local header
  Bytes data;  // zipfile's read()
};
struct PyDump {
  Bytes comment;
  bool crcsRight = false;
  std::vector<PyEntry> entries;
};

std::optional<PyDump> DumpZip(const fsys::path& file) {
  test::CommandResult result = test::RunCommand("/usr/bin/python3 " + test::ShellQuote(test::TestScript("oracle/zip_dump.py").string()) + " dump " + test::ShellQuote(file.string()));
  if (result.exitCode != 0) return std::nullopt;
  PyDump dump;
  std::istringstream lines(result.output);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream in(line);
    std::string kind, a;
    in >> kind >> a;
    if (kind == "comment") dump.comment = FromHex(a);
    if (kind == "testzip") dump.crcsRight = a == "OK";
    if (kind != "entry") continue;
    PyEntry e;
    std::string raw, data;
    e.name = ToText(FromHex(a));
    in >> e.method >> e.dateTime >> e.crc >> e.compressSize >> e.flags >> e.createVersion >> e.extractVersion >> e.externalAttributes >> raw >> data;
    e.raw = FromHex(raw);
    e.data = FromHex(data);
    dump.entries.push_back(std::move(e));
  }
  return dump;
}

std::string LowerAscii(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}
std::string LowerExtension(const fsys::path& file) { return LowerAscii(file.extension().string()); }
// The same file named in other case (only the file name part is lowered).
std::string LowerPath(const fsys::path& file) { return (file.parent_path() / LowerAscii(file.filename().string())).string(); }

std::string Backslashed(std::string name) {
  std::replace(name.begin(), name.end(), '/', '\\');
  return name;
}

// Our own valid packages, plus the public corpus's that zipfile opens.
std::vector<fsys::path> Packages() {
  std::vector<fsys::path> files;
  for (const char* name : {"lo-ascii-full.docx", "lo-ascii-noprint-multiline.docx", "lo-custom-names.docx", "lo-empty-props.docx",
                           "lo-ja-full.docx", "lo-large-image.docx", "lo-long-values.docx", "lo-untouched-empty.docx",
                           "pandoc-ja.docx", "pandoc-minimal.docx", "MixedCase.Docx"}) {
    files.push_back(test::DataFile(name));
  }
  if (auto corpus = test::PublicCorpusDir()) {
    for (const auto& entry : fsys::directory_iterator(*corpus)) {
      if (LowerExtension(entry.path()) == ".docx" && DumpZip(entry.path())) files.push_back(entry.path());
    }
  } else {
    std::printf("public corpus absent: only tests/data packages are used\n");
  }
  return files;
}

bool HasTemporaryFiles(const fsys::path& folder) {
  for (const auto& entry : fsys::directory_iterator(folder)) {
    if (entry.path().filename().string().rfind("KPZ", 0) == 0) return true;
  }
  return false;
}

// A failed step fails the test and goes on with what it would have given empty, so later checks
// show more.
Package Opened(const fsys::path& file) {
  Package zip;
  zip.SetRelativePaths(true);
  zip.SetZipName(file.string());
  const Outcome opened = zip.OpenArchive();
  EXPECT_TRUE(opened) << opened.message();
  return zip;
}

// The count an operation gave, or -1 after failing the test.
int Count(const Result<int>& result) {
  EXPECT_TRUE(result) << result.outcome().message();
  return result ? *result : -1;
}

Bytes Extract(Package& zip, const std::string& name) {
  Bytes out;
  Count(zip.ExtractToMemory(&out, name));
  return out;
}

// An entry's full name ("word\\_rels\\document.xml.rels"), or its failure's message.
std::string FullName(const Package& zip, int index) {
  const Result<std::string> path = zip.EntryPathName(index);
  const Result<std::string> file = zip.EntryFileName(index);
  if (!path) return path.outcome().message();
  return *path + (file ? *file : file.outcome().message());
}

// Everything zipfile sees of `after` equals `before`, except the entry at `replaced`, which
// holds `content`.
void ExpectOnlyReplaced(const PyDump& before, const PyDump& after, std::size_t replaced, const Bytes& content) {
  EXPECT_TRUE(after.crcsRight);
  EXPECT_EQ(after.comment, before.comment);
  ASSERT_EQ(after.entries.size(), before.entries.size());
  for (std::size_t i = 0; i < before.entries.size(); ++i) {
    const PyEntry& b = before.entries[i];
    const PyEntry& a = after.entries[i];
    SCOPED_TRACE(b.name);
    EXPECT_EQ(a.name, b.name);
    if (i == replaced) {
      EXPECT_EQ(a.data, content);
      continue;
    }
    EXPECT_EQ(a.method, b.method);
    EXPECT_EQ(a.dateTime, b.dateTime);
    EXPECT_EQ(a.crc, b.crc);
    EXPECT_EQ(a.compressSize, b.compressSize);
    EXPECT_EQ(a.raw, b.raw);
    EXPECT_EQ(a.data, b.data);
  }
}

std::size_t IndexOf(const PyDump& dump, const std::string& name) {
  for (std::size_t i = 0; i < dump.entries.size(); ++i) {
    if (dump.entries[i].name == name) return i;
  }
  return dump.entries.size();
}

std::string MakePackage(const std::string& arguments) {
  test::CommandResult result = test::RunCommand("/usr/bin/python3 " + test::ShellQuote(test::TestScript("ooxml/zip/make_packages.py").string()) + " " + arguments);
  if (result.exitCode != 0) ADD_FAILURE() << "make_packages.py " << arguments << ":\n" << result.output;
  return result.output;
}

// Runs make_packages.py commands in turn, "{}" standing for `file`.
void MakePackages(const std::vector<std::string>& makers, const fsys::path& file) {
  for (std::string maker : makers) {
    for (std::size_t at; (at = maker.find("{}")) != std::string::npos;) maker.replace(at, 2, test::ShellQuote(file.string()));
    MakePackage(maker);
  }
}

// ---------------------------------------------------------------------------------------------
// Reading

TEST(PackageZipRead, EveryEntryMatchesZipfile) {
  for (const fsys::path& file : Packages()) {
    SCOPED_TRACE(file.string());
    std::optional<PyDump> dump = DumpZip(file);
    ASSERT_TRUE(dump);
    Package zip = Opened(file);
    ASSERT_EQ(zip.EntryCount(), static_cast<int>(dump->entries.size()));
    for (int i = 0; i < zip.EntryCount(); ++i) {
      const PyEntry& expected = dump->entries[static_cast<std::size_t>(i)];
      const std::string full = FullName(zip, i);
      EXPECT_EQ(full, Backslashed(expected.name));
      if (dump->crcsRight) {
        EXPECT_EQ(Extract(zip, full), expected.data) << full;
      }
    }
    EXPECT_EQ(zip.ArchiveComment(), dump->comment);
  }
}

TEST(PackageZipRead, NamesSplitAndMatchIgnoringCase) {
  test::TempDir dir;
  Package zip = Opened(dir.Copy(test::DataFile("MixedCase.Docx")));
  ASSERT_EQ(zip.EntryCount(), 10);
  EXPECT_EQ(*zip.EntryFileName(0), ".rels");
  EXPECT_EQ(*zip.EntryPathName(0), "_rels\\");
  EXPECT_EQ(*zip.EntryPathName(9), "");
  EXPECT_EQ(*zip.EntryFileName(9), "[Content_Types].xml");
  EXPECT_EQ(*zip.EntryPathName(4), "word\\_rels\\");
  EXPECT_EQ(zip.Entry(4)->storedName, "word/_rels/document.xml.rels");

  Bytes exact = Extract(zip, "docProps\\core.xml");
  ASSERT_GT(exact.size(), 100u);
  Bytes upper;
  EXPECT_EQ(Count(zip.ExtractToMemory(&upper, "DOCPROPS\\CORE.XML")), 1);
  EXPECT_EQ(upper, exact);
  Bytes leading;
  EXPECT_EQ(Count(zip.ExtractToMemory(&leading, "\\docProps\\core.xml")), 0);
  EXPECT_TRUE(leading.empty());
  Bytes blank;
  EXPECT_EQ(Count(zip.ExtractToMemory(&blank, "  \t")), 0);
  EXPECT_TRUE(blank.empty());
  EXPECT_EQ(Count(zip.ExtractToMemory(nullptr, "docProps\\core.xml")), 0);
  // Appends to what the stream holds.
  Bytes twice = exact;
  EXPECT_EQ(Count(zip.ExtractToMemory(&twice, "docProps\\core.xml")), 1);
  EXPECT_EQ(twice.size(), 2 * exact.size());
}

TEST(PackageZipRead, IndexErrorsCarryTheIndex) {
  Package empty;
  EXPECT_EQ(empty.EntryCount(), 0);
  test::TempDir dir;
  Package zip = Opened(dir.Copy(test::DataFile("lo-ascii-full.docx")));
  for (const Outcome& refused : {empty.EntryFileName(0).outcome(), zip.EntryFileName(10).outcome(),
                                 zip.EntryPathName(-1).outcome(), zip.Entry(10).outcome()}) {
    EXPECT_EQ(refused.kind(), FailureKind::InvalidValue);
  }
  EXPECT_EQ(empty.EntryFileName(0).outcome().message(), "Index 0 is out of range");
  EXPECT_EQ(zip.EntryPathName(-1).outcome().message(), "Index -1 is out of range");
  EXPECT_EQ(FullName(zip, 9), "[Content_Types].xml");
}

TEST(PackageZipRead, EmptyFileHasNoEntries) {
  test::TempDir dir;
  Package zip = Opened(dir.Copy(test::DataFile("z.docx")));
  EXPECT_EQ(zip.EntryCount(), 0);
  Bytes out;
  EXPECT_EQ(Count(zip.ExtractToMemory(&out, "docProps\\core.xml")), 0);
  EXPECT_TRUE(out.empty());
}

TEST(PackageZipRead, FilesWithoutEndRecordAreNotZips) {
  test::TempDir dir;
  for (const auto& [source, name] : std::vector<std::pair<std::string, std::string>>{
           {"x.doc", "x.docx"}, {"renamed-doc-as.docx", "renamed-doc-as.docx"}, {"truncated.docx", "truncated.docx"}}) {
    Package zip;
    zip.SetZipName(dir.Copy(test::DataFile(source), name).string());
    const Outcome opened = zip.OpenArchive();
    EXPECT_EQ(opened.kind(), FailureKind::NotADocument) << name;
    EXPECT_EQ(opened.message(), "Not a valid zip file!") << name;
    EXPECT_EQ(zip.EntryCount(), 0);
  }
  // 1 to 21 bytes cannot hold the record.
  fsys::path tiny = dir.Path() / "tiny.docx";
  test::WriteBytes(tiny, ToBytes("PK\x05\x06"));
  Package zip;
  zip.SetZipName(tiny.string());
  EXPECT_EQ(zip.OpenArchive().kind(), FailureKind::NotADocument);
}

TEST(PackageZipRead, AssumeBadRebuildsFromLocalHeaders) {
  test::TempDir dir;
  Package zip;
  zip.SetZipName(dir.Copy(test::DataFile("truncated.docx")).string());
  zip.SetIncompleteZipMode(IncompleteZipMode::AssumeDamaged);
  ASSERT_TRUE(zip.OpenArchive());
  ASSERT_GE(zip.EntryCount(), 1);
  EXPECT_EQ(FullName(zip, 0), "_rels\\.rels");
}

TEST(PackageZipRead, DamagedCentralDirectoryIsRebuilt) {
  test::TempDir dir;
  fsys::path original = dir.Path() / "plain.docx";
  Python("plain " + test::ShellQuote(original.string()));
  std::optional<PyDump> dump = DumpZip(original);
  ASSERT_TRUE(dump);
  const Bytes bytes = test::ReadBytes(original);
  const std::size_t end = bytes.size() - 22;
  const std::size_t directory = le::Get32(&bytes[end + 16]);
  // Each damage leaves the local headers intact, so the rebuild must find all five entries.
  std::map<std::string, std::function<void(Bytes&)>> damages = {
      {"wrong signature", [&](Bytes& b) { b[directory] = 'X'; }},
      {"directory offset past the file", [&](Bytes& b) { le::Put32(&b[end + 16], 0xfffffff0u); }},
      {"directory size past the end record", [&](Bytes& b) { le::Put32(&b[end + 12], 0x7fffffffu); }},
      {"count larger than the directory", [&](Bytes& b) { le::Put16(&b[end + 10], 0xffff); le::Put16(&b[end + 8], 0xffff); }},
      {"local offset outside the file", [&](Bytes& b) { le::Put32(&b[directory + 42], 0xfffffff0u); }},
      {"compressed size larger than the file", [&](Bytes& b) { le::Put32(&b[directory + 20], 0xfffffff0u); }},
      {"name length past the directory", [&](Bytes& b) { le::Put16(&b[directory + 28], 0xffff); }},
      {"name with a NUL byte", [&](Bytes& b) { b[directory + 46 + 2] = 0; }},
      {"directory pointing at itself", [&](Bytes& b) { le::Put32(&b[end + 16], static_cast<std::uint32_t>(end)); }},
  };
  for (const auto& [what, damage] : damages) {
    SCOPED_TRACE(what);
    Bytes damaged = bytes;
    damage(damaged);
    fsys::path file = dir.Path() / "damaged.docx";
    test::WriteBytes(file, damaged);
    Package zip = Opened(file);
    ASSERT_EQ(zip.EntryCount(), 5);
    for (int i = 0; i < 5; ++i) {
      const PyEntry& expected = dump->entries[static_cast<std::size_t>(i)];
      EXPECT_EQ(FullName(zip, i), Backslashed(expected.name));
      EXPECT_EQ(Extract(zip, Backslashed(expected.name)), expected.data);
    }
  }
  // An end record and nothing else: no local header to rebuild from.
  fsys::path bare = dir.Path() / "bare.docx";
  Bytes record(bytes.end() - 22, bytes.end());
  std::fill(record.begin() + 8, record.end(), 0xee);
  record[20] = record[21] = 0;
  Bytes lone = ToBytes("no archive here at all, just text before the record ");
  lone.insert(lone.end(), record.begin(), record.end());
  test::WriteBytes(bare, lone);
  Package zip;
  zip.SetZipName(bare.string());
  const Outcome opened = zip.OpenArchive();
  EXPECT_EQ(opened.kind(), FailureKind::NotADocument);
  EXPECT_EQ(opened.message(), "Not a valid zip file!");
}

TEST(PackageZipRead, DamagedEntryDataIsAFailedRead) {
  test::TempDir dir;
  fsys::path file = dir.Path() / "plain.docx";
  Python("plain " + test::ShellQuote(file.string()));
  Bytes bytes = test::ReadBytes(file);
  // The first local header's signature: the entry cannot be located.
  bytes[0] = 'X';
  test::WriteBytes(file, bytes);
  Package zip = Opened(file);
  Bytes out;
  Outcome refused = zip.ExtractToMemory(&out, "[Content_Types].xml").outcome();
  EXPECT_EQ(refused.kind(), FailureKind::Damaged);
  EXPECT_EQ(refused.message(), "Bad local header for [Content_Types].xml");
  // Garbage in a Deflate stream.
  bytes[0] = 'P';
  const std::size_t data = 30 + std::string("[Content_Types].xml").size();
  std::fill(bytes.begin() + static_cast<long>(data), bytes.begin() + static_cast<long>(data) + 13, 0xff);
  test::WriteBytes(file, bytes);
  zip = Opened(file);
  refused = zip.ExtractToMemory(&out, "[Content_Types].xml").outcome();
  EXPECT_EQ(refused.kind(), FailureKind::Damaged);
  EXPECT_EQ(refused.message(), "[Content_Types].xml is damaged");
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(Extract(zip, "_rels\\.rels").size(), 16u * 30);
}

TEST(PackageZipRead, UnknownMethodIsAnErrorNamingTheEntryAndMethod) {
  test::TempDir dir;
  fsys::path file = dir.Path() / "bzip2.docx";
  Python("bzip2 " + test::ShellQuote(file.string()));
  Package zip = Opened(file);
  Bytes out;
  const Outcome refused = zip.ExtractToMemory(&out, "docProps\\core.xml").outcome();
  EXPECT_EQ(refused.kind(), FailureKind::Unsupported);
  EXPECT_EQ(refused.message(), "docProps/core.xml is compressed by method 12, which cannot be read (only stored and Deflate)");
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(ToText(Extract(zip, "docProps\\app.xml")), "<Properties/>");
}

TEST(PackageZipRead, PartLargerThan64MiBIsAFailedRead) {
  test::TempDir dir;
  fsys::path file = dir.Path() / "bomb.docx";
  Python("bomb " + test::ShellQuote(file.string()) + " 65");
  Package zip = Opened(file);
  Bytes out;
  const Outcome refused = zip.ExtractToMemory(&out, "word\\document.xml").outcome();
  EXPECT_EQ(refused.kind(), FailureKind::Unsupported);
  EXPECT_EQ(refused.message(), "word/document.xml is larger than 67108864 bytes, more than a part is read with");
  EXPECT_TRUE(out.empty());
  zip.SetMaxPartSize(std::size_t{66} << 20);
  EXPECT_EQ(Count(zip.ExtractToMemory(&out, "word\\document.xml")), 1);
  EXPECT_EQ(out.size(), std::size_t{65} << 20);
}

// Another program puts a package of the same size and last-write time in place between two calls:
// the loaded directory must not be used for it, whether the file was replaced or written in place.
TEST(PackageZipRead, StaleDirectoryIsNeverUsed) {
  const std::map<std::string, std::function<void(const fsys::path&, const fsys::path&)>> swaps = {
      {"renamed over it", [](const fsys::path& other, const fsys::path& file) { fsys::rename(other, file); }},
      {"written in place", [](const fsys::path& other, const fsys::path& file) { test::WriteBytes(file, test::ReadBytes(other)); }},
  };
  for (const auto& [what, swap] : swaps) {
    SCOPED_TRACE(what);
    test::TempDir dir;
    fsys::path file = dir.Path() / "plain.docx";
    fsys::path other = dir.Path() / "other.docx";
    Python("plain " + test::ShellQuote(file.string()));
    MakePackage("reversed " + test::ShellQuote(file.string()) + " " + test::ShellQuote(other.string()));
    ASSERT_EQ(fsys::file_size(file), fsys::file_size(other));
    std::optional<PyDump> replacement = DumpZip(other);
    ASSERT_TRUE(replacement);
    Package zip = Opened(file);
    ASSERT_EQ(FullName(zip, 0), "[Content_Types].xml");
    struct stat before {};
    ASSERT_EQ(::stat(file.c_str(), &before), 0);
    swap(other, file);
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
    EXPECT_EQ(Extract(zip, "docProps\\core.xml"), replacement->entries[IndexOf(*replacement, "docProps/core.xml")].data);
    EXPECT_EQ(FullName(zip, 0), "word\\document.xml");
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
    const Bytes content = ToBytes("<Properties>fresh</Properties>");
    EXPECT_EQ(Count(zip.ReplaceFromMemory(&content, "docProps\\app.xml")), 1);
    std::optional<PyDump> after = DumpZip(file);
    ASSERT_TRUE(after);
    ExpectOnlyReplaced(*replacement, *after, IndexOf(*replacement, "docProps/app.xml"), content);
  }
  // The same path in other case keeps the directory, another path discards it.
  test::TempDir dir;
  fsys::path file = dir.Copy(test::DataFile("lo-ascii-full.docx"));
  Package zip = Opened(file);
  zip.SetZipName(LowerPath(file));
  EXPECT_EQ(zip.EntryCount(), 10);
  zip.SetZipName((dir.Path() / "other.docx").string());
  EXPECT_EQ(zip.EntryCount(), 0);
}

TEST(PackageZipRead, MissingOrHeldPackagesFailToOpen) {
  test::TempDir dir;
  Package zip;
  const std::string missing = (dir.Path() / "missing.docx").string();
  zip.SetZipName(missing);
  Outcome opened = zip.OpenArchive();
  EXPECT_EQ(opened.kind(), FailureKind::NotFound);
  EXPECT_EQ(opened.message(), missing + ": no such file");
  fsys::path file = dir.Copy(test::DataFile("lo-ascii-full.docx"));
  test::LockHolder holder(file, /*exclusive=*/true);
  ASSERT_TRUE(holder.Holding());
  zip.SetZipName(file.string());
  opened = zip.OpenArchive();
  EXPECT_EQ(opened.kind(), FailureKind::HeldOpen);
  EXPECT_EQ(opened.message(), file.string() + ": held open by another program");
}

// ---------------------------------------------------------------------------------------------
// Replacing

TEST(PackageZipReplace, PropertyPartsReplacedOthersKeptByteForByte) {
  for (const fsys::path& source : Packages()) {
    SCOPED_TRACE(source.string());
    test::TempDir dir;
    fsys::path file = dir.Copy(source);
    std::optional<PyDump> original = DumpZip(file);
    ASSERT_TRUE(original);
    Package zip = Opened(file);
    PyDump before = *original;
    for (const std::string part : {"docProps/app.xml", "docProps/core.xml"}) {
      const std::size_t index = IndexOf(before, part);
      if (index == before.entries.size()) continue;  // the package has no such part
      const Bytes content = ToBytes("<?xml version=\"1.0\"?><new part=\"" + part + "\">" + std::string(3000, 'k') + "</new>");
      EXPECT_EQ(Count(zip.ReplaceFromMemory(&content, Backslashed(part))), 1);
      std::optional<PyDump> after = DumpZip(file);
      ASSERT_TRUE(after);
      ExpectOnlyReplaced(before, *after, index, content);
      const PyEntry& fresh = after->entries[index];
      EXPECT_EQ(fresh.method, 8);
      EXPECT_EQ(fresh.flags, 0);
      EXPECT_EQ(fresh.createVersion, 20);
      EXPECT_EQ(fresh.extractVersion, 20);
      EXPECT_EQ(fresh.externalAttributes, 0x20u);
      // The same component sees the new content, and a fresh one does too.
      EXPECT_EQ(Extract(zip, Backslashed(part)), content);
      Package other = Opened(file);
      EXPECT_EQ(Extract(other, Backslashed(part)), content);
      before = *after;
    }
    EXPECT_FALSE(HasTemporaryFiles(dir.Path()));
  }
}

TEST(PackageZipReplace, NewEntryCarriesTheCurrentLocalTime) {
  test::ScopedTimeZone zone("Asia/Tokyo");
  test::TempDir dir;
  fsys::path file = dir.Copy(test::DataFile("pandoc-minimal.docx"));
  Package zip = Opened(file);
  const Bytes content = ToBytes("<Properties/>");
  std::time_t now = std::time(nullptr);
  EXPECT_EQ(Count(zip.ReplaceFromMemory(&content, "docProps\\app.xml")), 1);
  std::optional<PyDump> after = DumpZip(file);
  ASSERT_TRUE(after);
  std::tm local{};
  localtime_r(&now, &local);
  const std::string expectedDate = std::to_string(local.tm_year + 1900) + "-" + std::to_string(local.tm_mon + 1) + "-" + std::to_string(local.tm_mday) + "-" + std::to_string(local.tm_hour) + "-";
  const PyEntry& fresh = after->entries[IndexOf(*after, "docProps/app.xml")];
  EXPECT_EQ(fresh.dateTime.substr(0, expectedDate.size()), expectedDate);  // to the hour
}

TEST(PackageZipReplace, ArchiveCommentIsKept) {
  test::TempDir dir;
  fsys::path file = dir.Path() / "commented.docx";
  Python("comment " + test::ShellQuote(test::DataFile("lo-ja-full.docx").string()) + " " + test::ShellQuote(file.string()) + " 'kept comment'");
  std::optional<PyDump> before = DumpZip(file);
  ASSERT_TRUE(before);
  ASSERT_EQ(ToText(before->comment), "kept comment");
  Package zip = Opened(file);
  EXPECT_EQ(ToText(zip.ArchiveComment()), "kept comment");
  const Bytes content = ToBytes("<Properties>x</Properties>");
  EXPECT_EQ(Count(zip.ReplaceFromMemory(&content, "docProps\\app.xml")), 1);
  std::optional<PyDump> after = DumpZip(file);
  ASSERT_TRUE(after);
  ExpectOnlyReplaced(*before, *after, IndexOf(*before, "docProps/app.xml"), content);
}

TEST(PackageZipReplace, AbsentPartIsAppendedStoredAtLevelZero) {
  test::TempDir dir;
  fsys::path file = dir.Copy(test::DataFile("lo-ascii-full.docx"));
  std::optional<PyDump> before = DumpZip(file);
  ASSERT_TRUE(before);
  Package zip = Opened(file);
  ASSERT_TRUE(zip.SetPackLevel(0));
  const Bytes content = ToBytes("<custom/>");
  EXPECT_EQ(Count(zip.ReplaceFromMemory(&content, "docProps\\extra.xml")), 1);
  std::optional<PyDump> after = DumpZip(file);
  ASSERT_TRUE(after);
  ASSERT_EQ(after->entries.size(), before->entries.size() + 1);
  EXPECT_EQ(after->entries.back().name, "docProps/extra.xml");
  EXPECT_EQ(after->entries.back().method, 0);
  EXPECT_EQ(after->entries.back().data, content);
  after->entries.pop_back();
  ExpectOnlyReplaced(*before, *after, before->entries.size(), {});
  EXPECT_EQ(zip.SetPackLevel(10).kind(), FailureKind::InvalidValue);
  EXPECT_EQ(zip.PackLevel(), 0);
  // Null stream and blank names do nothing.
  const Bytes unchanged = test::ReadBytes(file);
  EXPECT_EQ(Count(zip.ReplaceFromMemory(nullptr, "docProps\\app.xml")), 0);
  EXPECT_EQ(Count(zip.ReplaceFromMemory(&content, " ")), 0);
  EXPECT_EQ(test::ReadBytes(file), unchanged);
}

TEST(PackageZipReplace, WithoutRelativePathsOnlyTheFileNameIsStored) {
  test::TempDir dir;
  fsys::path file = dir.Copy(test::DataFile("lo-ascii-full.docx"));
  Package zip;
  zip.SetZipName(file.string());
  ASSERT_TRUE(zip.OpenArchive());
  const Bytes content = ToBytes("<x/>");
  EXPECT_EQ(Count(zip.ReplaceFromMemory(&content, "docProps\\added.xml")), 1);
  std::optional<PyDump> after = DumpZip(file);
  ASSERT_TRUE(after);
  EXPECT_EQ(after->entries.back().name, "added.xml");
}

TEST(PackageZipReplace, EmptyPackageGetsItsFirstEntry) {
  test::TempDir dir;
  fsys::path file = dir.Copy(test::DataFile("z.docx"));
  Package zip = Opened(file);
  const Bytes content = ToBytes("<Properties/>");
  EXPECT_EQ(Count(zip.ReplaceFromMemory(&content, "docProps\\app.xml")), 1);
  std::optional<PyDump> after = DumpZip(file);
  ASSERT_TRUE(after);
  ASSERT_EQ(after->entries.size(), 1u);
  EXPECT_EQ(after->entries[0].data, content);
}

TEST(PackageZipReplace, EveryFailedWriteLeavesThePackageIdentical) {
  test::TempDir dir;
  fsys::path file = dir.Copy(test::DataFile("lo-custom-names.docx"));
  const Bytes original = test::ReadBytes(file);
  const Bytes content = ToBytes("<Properties>faulty</Properties>");
  std::size_t writes = 0;
  {
    test::TempDir probeDir;
    fsys::path probe = probeDir.Copy(file);
    test::FaultyFiles counting(0);
    Package zip = Opened(probe);
    EXPECT_EQ(Count(zip.ReplaceFromMemory(&content, "docProps\\core.xml")), 1);
    writes = counting.Writes();
  }
  ASSERT_GT(writes, 3u);
  for (std::size_t n = 1; n <= writes; ++n) {
    SCOPED_TRACE("failing write " + std::to_string(n));
    Package zip = Opened(file);
    test::FaultyFiles faulty(n);
    EXPECT_EQ(zip.ReplaceFromMemory(&content, "docProps\\core.xml").outcome().kind(), FailureKind::Io);
    EXPECT_EQ(test::ReadBytes(file), original);
    EXPECT_FALSE(HasTemporaryFiles(dir.Path()));
    EXPECT_EQ(Extract(zip, "docProps\\core.xml"), Extract(zip, "DOCPROPS\\CORE.XML"));
  }
  test::FaultyFiles spare(writes + 1);
  Package zip = Opened(file);
  EXPECT_EQ(Count(zip.ReplaceFromMemory(&content, "docProps\\core.xml")), 1);
  EXPECT_EQ(Extract(zip, "docProps\\core.xml"), content);
  // The new archive reaches the disk before the rename makes it the package.
  ASSERT_FALSE(spare.Log().empty());
  EXPECT_TRUE(spare.Log().back().sync);
}

// A full disk: the failure says so in the system's words, and the package stays as it was.
TEST(PackageZipReplace, AFullDiskIsRefusedWithTheSystemsReason) {
  const test::ScratchFileSystem disk(test::ScratchFileSystem::Kind::Tmpfs);
  if (!disk.Mounted()) GTEST_SKIP() << disk.SkipReason();
  const fsys::path file = disk.Path() / "large.docx";
  fsys::copy_file(test::DataFile("lo-large-image.docx"), file);
  const Bytes original = test::ReadBytes(file);
  // Leaves less room than the package takes.
  test::WriteBytes(disk.Path() / "filler", Bytes((16u << 20) - 2 * original.size(), 0));
  Package zip = Opened(file);
  const Bytes content = ToBytes("<x/>");
  const Outcome refused = zip.ReplaceFromMemory(&content, "docProps\\app.xml").outcome();
  EXPECT_EQ(refused.kind(), FailureKind::Io);
  EXPECT_NE(refused.message().find("No space left on device"), std::string::npos) << refused.message();
  EXPECT_EQ(test::ReadBytes(file), original);
  EXPECT_FALSE(HasTemporaryFiles(disk.Path()));
}

TEST(PackageZipReplace, HeldPackageIsRefusedUnchanged) {
  test::TempDir dir;
  fsys::path file = dir.Copy(test::DataFile("lo-ascii-full.docx"));
  const Bytes original = test::ReadBytes(file);
  const Bytes content = ToBytes("<x/>");
  Package zip = Opened(file);
  for (bool exclusive : {true, false}) {
    test::LockHolder holder(file, exclusive);
    ASSERT_TRUE(holder.Holding());
    const Outcome refused = zip.ReplaceFromMemory(&content, "docProps\\app.xml").outcome();
    EXPECT_EQ(refused.kind(), FailureKind::HeldOpen);
    EXPECT_EQ(refused.message(), file.string() + ": held open by another program");
    EXPECT_EQ(test::ReadBytes(file), original);
    EXPECT_FALSE(HasTemporaryFiles(dir.Path()));
  }
}

// The new package keeps the old one's permission bits and, where we may set it, its owner: a
// document of another user changed by root stays that user's. The package is only read, so a
// read-only one is rewritten and read-only throughout.
TEST(PackageZipReplace, PermissionBitsAndOwnerAreKept) {
  for (mode_t mode : {mode_t{0640}, mode_t{0604}, mode_t{0666}, mode_t{0444}}) {
    test::TempDir dir;
    fsys::path file = dir.Copy(test::DataFile("lo-ascii-full.docx"));
    ASSERT_EQ(::chmod(file.c_str(), mode), 0);
    const bool root = ::geteuid() == 0;
    if (root) {
      ASSERT_EQ(::chown(file.c_str(), 12345, 23456), 0);
    }
    Package zip = Opened(file);
    const Bytes content = ToBytes("<x/>");
    EXPECT_EQ(Count(zip.ReplaceFromMemory(&content, "docProps\\app.xml")), 1);
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, mode);
    if (root) {
      EXPECT_EQ(st.st_uid, 12345u);
      EXPECT_EQ(st.st_gid, 23456u);
    }
  }
}

// Copied entries are streamed: replacing a part beside 256 MiB of stored data raises the peak
// resident size by far less than the package. Measured in a child so earlier tests do not count.
TEST(PackageZipReplace, LargePackageIsStreamed) {
  test::TempDir dir;
  fsys::path file = dir.Path() / "big.docx";
  Python("big " + test::ShellQuote(file.string()) + " 256");
  ASSERT_GT(fsys::file_size(file), std::uintmax_t{256} << 20);
  int pipeFds[2];
  ASSERT_EQ(::pipe(pipeFds), 0);
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(pipeFds[0]);
    long result[2] = {-1, -1};
    rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    result[0] = usage.ru_maxrss;
    Package zip = Opened(file);
    const Bytes content = ToBytes("<Properties>big</Properties>");
    if (zip.ReplaceFromMemory(&content, "docProps\\app.xml")) {
      ::getrusage(RUSAGE_SELF, &usage);
      result[1] = usage.ru_maxrss;
    }
    (void)!::write(pipeFds[1], result, sizeof result);
    ::_exit(0);
  }
  ::close(pipeFds[1]);
  long result[2] = {0, 0};
  ASSERT_EQ(::read(pipeFds[0], result, sizeof result), static_cast<ssize_t>(sizeof result));
  ::close(pipeFds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_GE(result[1], 0) << "the replace failed in the child";
  const long growthKiB = result[1] - result[0];
  std::printf("peak RSS growth while replacing in a %ju-byte package: %ld KiB\n", static_cast<std::uintmax_t>(fsys::file_size(file)), growthKiB);
  EXPECT_LT(growthKiB, 48 * 1024);
  EXPECT_EQ(Python("testzip " + test::ShellQuote(file.string())), "OK docProps/app.xml <Properties>big</Properties>\n");
}

// Each layout is either carried over (every other entry identical for zipfile, its ZIP64 fields and
// end records kept) or refused as damaged with the package byte-identical and the reason in the
// message.
TEST(PackageZipReplace, LayoutsAreCarriedOverOrRefused) {
  struct Case {
    std::string what;
    std::vector<std::string> makers;  // make_packages.py commands; "{}" is the package
    std::string replaced;             // an absent name is appended
    std::string refusal;              // empty: must be written
  };
  const std::vector<Case> cases = {
      {"data descriptors", {"descriptors {}"}, "docProps/core.xml", ""},
      {"directory rebuilt from descriptors", {"descriptors {}.whole", "cut {}.whole {}"}, "docProps/core.xml",
       "the central directory was rebuilt from local headers: not written"},
      {"overlapping entries", {"overlap {}"}, "word/outer.bin", "entry 1 (word/inner.xml) overlaps entry 0 (word/outer.bin)"},
      {"ZIP64 end records and extra fields", {"zip64 {}"}, "word/document.xml", ""},
      {"70,000 entries", {"many {} 70000"}, "p/69999", ""},
      {"70,000 entries, count wrapped", {"many {} 70000 wrap"}, "p/12", ""},
      {"65,535 entries and one more", {"many {} 65535"}, "docProps/new.xml", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::TempDir dir;
    const fsys::path file = dir.Path() / "package.docx";
    MakePackages(c.makers, file);
    const Bytes original = test::ReadBytes(file);
    Package zip;
    zip.SetRelativePaths(true);
    zip.SetZipName(file.string());
    zip.SetIncompleteZipMode(IncompleteZipMode::AssumeDamaged);
    const Bytes content = ToBytes("<new>" + c.what + "</new>");
    if (!c.refusal.empty()) {
      const Outcome refused = zip.ReplaceFromMemory(&content, c.replaced).outcome();
      EXPECT_EQ(refused.kind(), FailureKind::Damaged);
      EXPECT_EQ(refused.message(), file.string() + ": " + c.refusal);
      EXPECT_EQ(test::ReadBytes(file), original);
      EXPECT_FALSE(HasTemporaryFiles(dir.Path()));
      continue;
    }
    std::optional<PyDump> before = DumpZip(file);
    ASSERT_TRUE(before);
    const std::string endsBefore = MakePackage("ends " + test::ShellQuote(file.string()));
    ASSERT_TRUE(zip.OpenArchive());
    ASSERT_EQ(zip.EntryCount(), static_cast<int>(before->entries.size()));
    EXPECT_EQ(Count(zip.ReplaceFromMemory(&content, Backslashed(c.replaced))), 1);
    std::optional<PyDump> after = DumpZip(file);
    ASSERT_TRUE(after);
    const std::string endsAfter = MakePackage("ends " + test::ShellQuote(file.string()));
    std::size_t index = IndexOf(*before, c.replaced);
    if (index == before->entries.size()) {
      ASSERT_EQ(after->entries.size(), before->entries.size() + 1);
      EXPECT_EQ(after->entries.back().name, c.replaced);
      before->entries.push_back(after->entries.back());
    }
    ExpectOnlyReplaced(*before, *after, index, content);
    // A ZIP64 end record where there was one or the count needs it; every kept entry's extra field
    // exactly as it was (the replaced entry is the last one with an extra field, or has none).
    const bool zip64 = endsBefore.rfind("zip64 yes", 0) == 0 || after->entries.size() > 0xffff;
    EXPECT_EQ(endsAfter.substr(0, endsAfter.find('\n')), zip64 ? "zip64 yes" : "zip64 no");
    const std::string replacedLine = "\n" + c.replaced + " ";
    auto keptExtras = [&](const std::string& ends) {
      std::string kept = ends.substr(ends.find('\n'));
      const std::size_t at = kept.find(replacedLine);
      return at == std::string::npos ? kept : kept.erase(at, kept.find('\n', at + 1) - at);
    };
    EXPECT_TRUE(keptExtras(endsAfter) == keptExtras(endsBefore));
  }
}

// A directory past the limits is refused before it is held, whether read from the central
// directory or rebuilt from the local headers, by the reading and the rewrite alike.
TEST(PackageZipRead, DirectoriesPastTheLimitsAreRefused) {
  struct Case {
    std::string what;
    std::vector<std::string> makers;  // make_packages.py commands; "{}" is the package
    DirectoryLimits limits;
    std::string refusal;
  };
  const std::string tooMany = "The package has more than 5 entries, more than are read here";
  const std::string tooLarge = "The package's directory is larger than 200 bytes, more than is read here";
  const std::vector<Case> cases = {
      {"six entries", {"many {} 6"}, {5, 1000}, tooMany},
      {"six entries' records", {"many {} 6"}, {6, 200}, tooLarge},
      {"six entries rebuilt", {"many {}.whole 6", "cut {}.whole {}"}, {5, 1000}, tooMany},
      {"six records rebuilt", {"many {}.whole 6", "cut {}.whole {}"}, {6, 200}, tooLarge},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::TempDir dir;
    const fsys::path file = dir.Path() / "package.docx";
    MakePackages(c.makers, file);
    const Bytes original = test::ReadBytes(file);
    Package zip;
    zip.SetZipName(file.string());
    zip.SetIncompleteZipMode(IncompleteZipMode::AssumeDamaged);
    zip.SetDirectoryLimits(c.limits);
    const Outcome read = zip.OpenArchive();
    EXPECT_EQ(read.kind(), FailureKind::Unsupported);
    EXPECT_EQ(read.message(), c.refusal);
    const Bytes content = ToBytes("<new/>");
    const Outcome refused = zip.ReplaceFromMemory(&content, "p\\1").outcome();
    EXPECT_EQ(refused.message(), file.string() + ": " + c.refusal);
    EXPECT_EQ(test::ReadBytes(file), original);
    zip.SetDirectoryLimits({6, 1000});
    EXPECT_TRUE(zip.OpenArchive());
  }
}

TEST(PackageZipRead, RebuildMeasuresEntriesByTheirDataDescriptors) {
  test::TempDir dir;
  const fsys::path whole = dir.Path() / "whole.docx";
  const fsys::path cut = dir.Path() / "cut.docx";
  MakePackage("descriptors " + test::ShellQuote(whole.string()));
  MakePackage("cut " + test::ShellQuote(whole.string()) + " " + test::ShellQuote(cut.string()));
  std::optional<PyDump> dump = DumpZip(whole);
  ASSERT_TRUE(dump);
  Package zip;
  zip.SetZipName(cut.string());
  zip.SetRelativePaths(true);
  zip.SetIncompleteZipMode(IncompleteZipMode::AssumeDamaged);
  ASSERT_TRUE(zip.OpenArchive());
  ASSERT_EQ(zip.EntryCount(), static_cast<int>(dump->entries.size()));
  for (const PyEntry& entry : dump->entries) EXPECT_EQ(Extract(zip, Backslashed(entry.name)), entry.data) << entry.name;
}

TEST(PackageZipReplace, SeveralEntriesInOneRewrite) {
  test::TempDir dir;
  const fsys::path file = dir.Copy(test::DataFile("lo-ja-full.docx"));
  std::optional<PyDump> before = DumpZip(file);
  ASSERT_TRUE(before);
  const Bytes core = ToBytes("<core/>"), app = ToBytes("<app/>"), custom = ToBytes("<custom/>");
  const std::vector<EntryReplacement> replacements = {
      {"DOCPROPS/core.xml", core}, {"docProps\\app.xml", app}, {" ", custom}, {"docProps\\extra.xml", custom}};
  Package zip = Opened(file);
  test::FaultyFiles counting(0);
  EXPECT_EQ(Count(zip.ReplaceEntriesFromMemory(replacements)), 3);
  EXPECT_EQ(std::count_if(counting.Log().begin(), counting.Log().end(), [](const auto& e) { return e.sync; }), 1);
  std::optional<PyDump> after = DumpZip(file);
  ASSERT_TRUE(after);
  ASSERT_EQ(after->entries.size(), before->entries.size() + 1);
  EXPECT_EQ(after->entries.back().data, custom);
  EXPECT_EQ(after->entries[IndexOf(*before, "docProps/app.xml")].data, app);
  before->entries[IndexOf(*before, "docProps/app.xml")] = after->entries[IndexOf(*before, "docProps/app.xml")];
  after->entries.pop_back();
  ExpectOnlyReplaced(*before, *after, IndexOf(*before, "docProps/core.xml"), core);
  const std::vector<EntryReplacement> twice = {{"docProps\\app.xml", app}, {"DocProps/App.xml", app}};
  const Outcome refused = zip.ReplaceEntriesFromMemory(twice).outcome();
  EXPECT_EQ(refused.kind(), FailureKind::InvalidValue);
  EXPECT_EQ(refused.message(), "DocProps/App.xml is given twice in one rewrite");
}

TEST(PackageZipReplace, SymbolicLinksAreFollowedHardLinksRefused) {
  test::TempDir dir;
  fsys::create_directory(dir.Path() / "real");
  const fsys::path target = dir.Copy(test::DataFile("lo-ascii-full.docx"), "real/target.docx");
  const fsys::path link = dir.Path() / "link.docx";
  fsys::create_symlink("real/target.docx", link);
  const Bytes content = ToBytes("<Properties>linked</Properties>");
  Package zip = Opened(link);
  EXPECT_EQ(Count(zip.ReplaceFromMemory(&content, "docProps\\app.xml")), 1);
  EXPECT_TRUE(fsys::is_symlink(link));
  EXPECT_EQ(Extract(zip, "docProps\\app.xml"), content);
  EXPECT_FALSE(HasTemporaryFiles(dir.Path() / "real"));

  const fsys::path second = dir.Path() / "second.docx";
  fsys::create_hard_link(target, second);
  const Bytes before = test::ReadBytes(target);
  const Outcome refused = zip.ReplaceFromMemory(&content, "docProps\\core.xml").outcome();
  EXPECT_EQ(refused.kind(), FailureKind::Io);
  EXPECT_EQ(refused.message(), target.string() + ": has 2 hard links; replacing it would split them");
  EXPECT_EQ(test::ReadBytes(target), before);
  EXPECT_EQ(fsys::hard_link_count(second), 2u);
}

// A file door whose new package (opened under /proc) gets one byte flipped in the first write after
// its start that begins with `signature`.
class CorruptingFile final : public fs::RandomAccessFile {
 public:
  CorruptingFile(std::unique_ptr<fs::RandomAccessFile> inner, std::string signature, long at)
      : inner_(std::move(inner)), signature_(std::move(signature)), at_(at) {}
  std::uint64_t Size() const override { return inner_->Size(); }
  Outcome ReadAt(std::uint64_t offset, void* buffer, std::size_t n) override { return inner_->ReadAt(offset, buffer, n); }
  Outcome Sync() override { return inner_->Sync(); }
  Outcome WriteAt(std::uint64_t offset, const void* data, std::size_t n) override {
    Bytes bytes(static_cast<const std::uint8_t*>(data), static_cast<const std::uint8_t*>(data) + n);
    if (!done_ && offset > 0 && n >= 4 && std::equal(signature_.begin(), signature_.end(), bytes.begin())) {
      bytes[static_cast<std::size_t>(at_ < 0 ? static_cast<long>(n) + at_ : at_)] ^= 0x20;
      done_ = true;
    }
    return inner_->WriteAt(offset, bytes.data(), n);
  }

 private:
  std::unique_ptr<fs::RandomAccessFile> inner_;
  std::string signature_;
  long at_;
  bool done_ = false;
};

TEST(PackageZipReplace, NewFileThatDoesNotReadBackIsNotInstalled) {
  const std::vector<std::tuple<std::string, std::string, long, std::string>> cases = {
      {"a CRC in the directory", "PK\x01\x02", 16, "differs at entry 0 ([Content_Types].xml): CRC"},
      {"a local header offset", "PK\x01\x02", 42, "differs at entry 0 ([Content_Types].xml): offset"},
      {"the end record's count", "PK\x01\x02", -12, "the new file's central directory does not read back"},
      {"the new entry's local name", "PK\x03\x04", 31, "entry 2 (docProps/core.xml): its local header names another entry"},
  };
  for (const auto& [what, signature, at, reason] : cases) {
    SCOPED_TRACE(what);
    test::TempDir dir;
    const fsys::path file = dir.Path() / "plain.docx";
    Python("plain " + test::ShellQuote(file.string()));
    const Bytes original = test::ReadBytes(file);
    fs::SetFileOpener([&, sig = signature, offset = at](const std::string& path, fs::OpenMode mode) {
      fs::OpenResult opened = fs::OpenPosixFile(path, mode);
      if (opened.file && path.rfind("/proc/", 0) == 0) opened.file = std::make_unique<CorruptingFile>(std::move(opened.file), sig, offset);
      return opened;
    });
    Package zip = Opened(file);
    const Bytes content = ToBytes("<coreProperties/>");
    const Outcome refused = zip.ReplaceFromMemory(&content, "docProps\\core.xml").outcome();
    fs::SetFileOpener({});
    EXPECT_EQ(refused.kind(), FailureKind::Io);
    EXPECT_NE(refused.message().find(reason), std::string::npos) << refused.message();
    EXPECT_EQ(test::ReadBytes(file), original);
    EXPECT_FALSE(HasTemporaryFiles(dir.Path()));
  }
}

// Killed halfway through the copy (the file-size limit's signal), the rewrite leaves the package as
// it was and no file beside it.
TEST(PackageZipReplace, KilledRewriteLeavesNothingBehind) {
  test::TempDir dir;
  const fsys::path file = dir.Path() / "big.docx";
  Python("big " + test::ShellQuote(file.string()) + " 8");
  const Bytes original = test::ReadBytes(file);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const rlimit limit{std::uint64_t{4} << 20, std::uint64_t{4} << 20};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    Package zip = Opened(file);
    const Bytes content = ToBytes("<coreProperties/>");
    zip.ReplaceFromMemory(&content, "docProps\\core.xml");
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(WTERMSIG(status), SIGXFSZ);
  EXPECT_EQ(test::ReadBytes(file), original);
  EXPECT_EQ(std::distance(fsys::directory_iterator(dir.Path()), fsys::directory_iterator()), 1);
}

}  // namespace
}  // namespace kestrel::zip
