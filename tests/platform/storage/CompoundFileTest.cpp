// Reading: agreement with olefile on real documents and generated files, lookups by name, and
// damaged files that must fail cleanly (and never be opened for writing).

#include "platform/storage/CompoundFile.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>

#include "platform/storage/CfbDirectory.h"
#include "tests/platform/storage/CfbTestFiles.h"
#include "tests/support/TestSupport.h"

namespace kestrel::storage {
namespace {

namespace stdfs = std::filesystem;
using testing::BuildCompoundFile;
using testing::GenOptions;
using testing::GenStream;
using testing::Pattern;

std::vector<stdfs::path> TestDocuments() {
  std::vector<stdfs::path> files;
  for (const auto& entry : stdfs::directory_iterator(test::DataFile(""))) {
    if (entry.path().extension() == ".doc") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::vector<stdfs::path> PublicCorpusDocuments() {
  std::vector<stdfs::path> files;
  if (auto dir = test::PublicCorpusDir()) {
    for (const auto& entry : stdfs::directory_iterator(*dir / "docs")) {
      if (entry.path().extension() == ".doc") files.push_back(entry.path());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

// Every stream olefile finds reads the same through us, whole and in ranges.
void ExpectSameAsOlefile(const stdfs::path& file) {
  SCOPED_TRACE(file.filename().string());
  std::string olefileError;
  auto dump = testing::OlefileDump(file, "", &olefileError);
  auto cf = CompoundFile::Open(file.string(), fs::OpenMode::Read);
  if (!dump) {
    // olefile refuses it; we may read more of it, but must not crash doing so.
    return;
  }
  ASSERT_TRUE(cf) << "olefile opens it, we do not: " << cf.outcome().message();
  EXPECT_EQ(testing::DifferencesFromOlefile(**cf, *dump), "");
}

std::vector<std::uint8_t> SampleFile(int version = 3) {
  return BuildCompoundFile({{u"Small", Pattern(100, 1)},
                            {u"Big", Pattern(10000, 2)},
                            {u"Empty", {}},
                            {u"Mini2", Pattern(4095, 3)}},
                           GenOptions{version, 0, false});
}

class CompoundFileReadTest : public ::testing::Test {
 protected:
  stdfs::path Write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    stdfs::path path = dir_.Path() / name;
    test::WriteBytes(path, bytes);
    return path;
  }
  test::TempDir dir_;
};

TEST_F(CompoundFileReadTest, EveryStreamOfTheTestDocumentsMatchesOlefile) {
  if (!test::OlefilePython()) GTEST_SKIP() << "python3-olefile is not installed";
  std::size_t compared = 0;
  for (const stdfs::path& file : TestDocuments()) {
    ExpectSameAsOlefile(file);
    ++compared;
  }
  EXPECT_GE(compared, 12u);
}

TEST_F(CompoundFileReadTest, EveryStreamOfThePublicCorpusMatchesOlefile) {
  if (!test::OlefilePython()) GTEST_SKIP() << "python3-olefile is not installed";
  std::vector<stdfs::path> files = PublicCorpusDocuments();
  if (files.empty()) {
    std::cout << "[  SKIPPED ] no public corpus beside the checkout\n";
    GTEST_SKIP() << "no public corpus";
  }
  for (const stdfs::path& file : files) ExpectSameAsOlefile(file);
}

TEST_F(CompoundFileReadTest, GeneratedVersion3And4FilesMatchOlefile) {
  if (!test::OlefilePython()) GTEST_SKIP() << "python3-olefile is not installed";
  for (int version : {3, 4}) {
    stdfs::path path = Write("v" + std::to_string(version) + ".cfb", SampleFile(version));
    std::string error;
    auto dump = testing::OlefileDump(path, "--strict --tree --rb", &error);
    ASSERT_TRUE(dump) << error;
    EXPECT_EQ(dump->size(), 4u);
    auto cf = testing::Opened(CompoundFile::Open(path.string(), fs::OpenMode::Read));
    ASSERT_NE(cf, nullptr);
    EXPECT_EQ(testing::DifferencesFromOlefile(*cf, *dump), "");
  }
}

TEST_F(CompoundFileReadTest, WriteModeAcceptsEveryWholeDocument) {
  for (const stdfs::path& source : TestDocuments()) {
    if (!CompoundFile::IsCompoundFile(source.string())) continue;
    stdfs::path copy = dir_.Copy(source);
    const auto cf = CompoundFile::Open(copy.string(), fs::OpenMode::ReadWrite);
    EXPECT_TRUE(cf) << source.filename() << ": " << cf.outcome().message();
    EXPECT_EQ(test::ReadBytes(copy), test::ReadBytes(source)) << "opening alone writes nothing";
  }
}

TEST_F(CompoundFileReadTest, RangesAreSlicesOfTheWholeStream) {
  auto cf = testing::Opened(CompoundFile::Open(test::DataFile("lo-large-image.doc").string(), fs::OpenMode::Read));
  ASSERT_NE(cf, nullptr);
  for (const char16_t* name : {u"Data", u"WordDocument", u"1Table", u"\x05SummaryInformation"}) {
    std::optional<EntryId> id = cf->FindChild(kRootEntry, name);
    ASSERT_TRUE(id);
    auto whole = cf->ReadStream(*id);
    ASSERT_TRUE(whole);
    ASSERT_EQ(whole->size(), cf->StreamSize(*id));
    for (std::uint64_t offset : {std::uint64_t{0}, std::uint64_t{63}, std::uint64_t{511}, std::uint64_t{4000},
                                 whole->size() - 18, whole->size()}) {
      auto part = cf->ReadStreamRange(*id, offset, 18);
      ASSERT_TRUE(part);
      const std::size_t expected = std::min<std::uint64_t>(18, whole->size() - std::min<std::uint64_t>(offset, whole->size()));
      ASSERT_EQ(part->size(), expected) << "offset " << offset;
      EXPECT_TRUE(std::equal(part->begin(), part->end(), whole->begin() + static_cast<std::ptrdiff_t>(offset)));
    }
    EXPECT_EQ(cf->ReadStreamRange(*id, whole->size() + 1000, 5)->size(), 0u) << "past the end reads nothing";
  }
}

// Each refusal of Open has its kind and says why; a directory larger than any document's is
// refused before it is read, and one of the largest size allowed opens.
TEST_F(CompoundFileReadTest, OpenReportsWhyItFailed) {
  const stdfs::path copy = dir_.Copy(test::DataFile("lo-ascii-full.doc"));
  const stdfs::path readOnly = dir_.Copy(test::DataFile("lo-ascii-full.doc"), "read-only.doc");
  stdfs::permissions(readOnly, stdfs::perms::owner_read);
  std::vector<std::uint8_t> shifted = SampleFile();
  shifted[0x1E] = 12;  // version 3 with 4096-byte sectors
  auto entries = [](std::size_t count) {  // the root and empty streams; 65,536 fill 16,384 sectors
    std::vector<GenStream> streams(count - 1);
    for (std::size_t i = 0; i < streams.size(); ++i) {
      for (char digit : std::to_string(i)) streams[i].name += static_cast<char16_t>(digit);
    }
    return BuildCompoundFile(streams);
  };
  struct Case {
    const char* what;
    stdfs::path path;
    fs::OpenMode mode;
    FailureKind kind;  // None: it opens
    std::string message;
  };
  const auto reader = testing::Opened(CompoundFile::Open(copy.string(), fs::OpenMode::Read));
  const std::vector<Case> cases = {
      {"missing", dir_.Path() / "missing.doc", fs::OpenMode::Read, FailureKind::NotFound, "no such file"},
      {"no signature", test::DataFile("x.doc"), fs::OpenMode::Read, FailureKind::NotADocument,
       "not a compound file, so not a binary Office document"},
      {"a package", test::DataFile("z.docx"), fs::OpenMode::Read, FailureKind::NotADocument,
       "not a compound file, so not a binary Office document"},
      {"held by a reader", copy, fs::OpenMode::ReadWrite, FailureKind::HeldOpen, "held open by another program"},
      {"read-only", readOnly, fs::OpenMode::ReadWrite, FailureKind::ReadOnly, "read-only"},
      {"sector size of another version", Write("shift.cfb", shifted), fs::OpenMode::Read, FailureKind::Damaged,
       "damaged compound file: the header's version, byte order or sector sizes are not those of a compound file"},
      {"65,536 directory entries", Write("most.cfb", entries(65536)), fs::OpenMode::Read, FailureKind::None, ""},
      {"more directory entries", Write("more.cfb", entries(65537)), fs::OpenMode::Read, FailureKind::Unsupported,
       "the directory has more than 65536 entries, far more than any document has"},
  };
  for (const Case& c : cases) {
    const auto opened = CompoundFile::Open(c.path.string(), c.mode);
    EXPECT_EQ(opened.outcome().kind(), c.kind) << c.what;
    EXPECT_EQ(opened.outcome().message(), c.message) << c.what;
  }
}

TEST_F(CompoundFileReadTest, IsCompoundFileLooksAtTheSignature) {
  EXPECT_TRUE(CompoundFile::IsCompoundFile(test::DataFile("lo-ascii-full.doc").string()));
  EXPECT_TRUE(CompoundFile::IsCompoundFile(test::DataFile("renamed-doc-as.docx").string()));
  EXPECT_FALSE(CompoundFile::IsCompoundFile(test::DataFile("lo-ascii-full.docx").string()));
  EXPECT_FALSE(CompoundFile::IsCompoundFile(test::DataFile("x.doc").string()));
  EXPECT_FALSE(CompoundFile::IsCompoundFile(test::DataFile("z.docx").string()));
  EXPECT_FALSE(CompoundFile::IsCompoundFile((dir_.Path() / "missing").string()));
  const std::vector<std::uint8_t> sample = SampleFile();
  std::vector<std::uint8_t> header(sample.begin(), sample.begin() + 511);
  EXPECT_FALSE(CompoundFile::IsCompoundFile(Write("short.cfb", header).string()));
}

TEST_F(CompoundFileReadTest, FindChildComparesTheCompoundFileWay) {
  auto cf = testing::Opened(CompoundFile::Open(test::DataFile("lo-ascii-full.doc").string(), fs::OpenMode::Read));
  ASSERT_NE(cf, nullptr);
  std::optional<EntryId> word = cf->FindChild(kRootEntry, u"WordDocument");
  ASSERT_TRUE(word);
  EXPECT_TRUE(cf->IsStream(*word));
  EXPECT_FALSE(cf->IsStorage(*word));
  EXPECT_EQ(cf->FindChild(kRootEntry, u"WORDdocument"), word);
  EXPECT_FALSE(cf->FindChild(kRootEntry, u"WordDocumen"));
  EXPECT_FALSE(cf->FindChild(kRootEntry, u"WordDocuments"));
  EXPECT_FALSE(cf->FindChild(*word, u"WordDocument")) << "a stream has no children";
  EXPECT_TRUE(cf->IsStorage(kRootEntry));

  EXPECT_LT(cfb::CompareNames(u"Zz", u"aaa"), 0) << "shorter first";
  EXPECT_EQ(cfb::CompareNames(u"\u00e9t\u00e9", u"\u00c9T\u00c9"), 0);
  EXPECT_EQ(cfb::CompareNames(u"\u03b1\u0431", u"\u0391\u0411"), 0) << "Greek and Cyrillic";
  EXPECT_LT(cfb::CompareNames(u"abc", u"ABD"), 0);
}

TEST_F(CompoundFileReadTest, FindChildFallsBackForUnsortedTrees) {
  std::vector<GenStream> streams = {{u"Zeta", Pattern(10, 1)}, {u"Alpha", Pattern(20, 2)}, {u"Mu", Pattern(30, 3)},
                                    {u"LongerName", Pattern(40, 4)}};
  stdfs::path path = Write("unsorted.cfb", BuildCompoundFile(streams, GenOptions{3, 0, true}));
  auto cf = testing::Opened(CompoundFile::Open(path.string(), fs::OpenMode::Read));
  ASSERT_NE(cf, nullptr);
  for (const GenStream& stream : streams) {
    std::optional<EntryId> id = cf->FindChild(kRootEntry, stream.name);
    ASSERT_TRUE(id);
    EXPECT_EQ(cf->ReadStream(*id), stream.content);
  }
}

// --- damaged files ---

struct Damage {
  const char* what;
  std::function<void(std::vector<std::uint8_t>&)> apply;
  // Streams of DamageSampleStreams() that must still read correctly afterwards.
  std::vector<std::u16string> intact;
  // What write mode's refusal says, where that is worth pinning down.
  const char* refusal = nullptr;
};

std::size_t EntryOffset(const std::vector<std::uint8_t>& file, std::uint32_t id) {
  const std::uint32_t firstDir = cfb::Get32(file.data() + 0x30);
  return (std::size_t{firstDir} + 1) * 512 + id * 128;  // generated directories are contiguous
}

std::uint32_t EntryStart(const std::vector<std::uint8_t>& f, std::uint32_t id) {
  return cfb::Get32(f.data() + EntryOffset(f, id) + 0x74);
}

void SetFat(std::vector<std::uint8_t>& f, std::uint32_t index, std::uint32_t value) {
  const std::uint32_t fatSector = cfb::Get32(f.data() + 0x4C + 4 * (index / 128));
  cfb::Put32(f.data() + (std::size_t{fatSector} + 1) * 512 + 4 * (index % 128), value);
}

std::vector<GenStream> DamageSampleStreams() {
  return {{u"Small", Pattern(100, 1)}, {u"Big", Pattern(10000, 2)}, {u"Empty", {}},
          {u"Mini2", Pattern(4095, 3)}, {u"Huge", Pattern(130000, 4)}};
}

// Entries of DamageSampleStreams(): 1 Small, 2 Big, 3 Empty, 4 Mini2, 5 Huge; every chain is
// contiguous.
std::vector<Damage> Damages() {
  return {
      {"truncated in the middle of Big", [](auto& f) { f.resize((EntryStart(f, 2) + 11) * 512); },
       {u"Small", u"Mini2", u"Empty"}},
      {"truncated inside the header", [](auto& f) { f.resize(300); }, {}},
      {"FAT chain of Big loops", [](auto& f) { SetFat(f, EntryStart(f, 2) + 17, EntryStart(f, 2)); },
       {u"Small", u"Mini2", u"Huge"}, "the FAT chain of entry 2 loops"},
      {"FAT chain of Big points past the end", [](auto& f) { SetFat(f, EntryStart(f, 2) + 7, 50000); },
       {u"Small", u"Mini2", u"Huge"}},
      {"start sector past the end", [](auto& f) { cfb::Put32(f.data() + EntryOffset(f, 2) + 0x74, 100000); },
       {u"Small", u"Mini2", u"Huge"}},
      {"absurd stream size", [](auto& f) { cfb::Put32(f.data() + EntryOffset(f, 2) + 0x78, 0xFFFFFFF0); },
       {u"Small", u"Mini2", u"Huge"}},
      {"mini stream size beyond its chain",
       [](auto& f) { cfb::Put32(f.data() + EntryOffset(f, 0) + 0x78, 0x7FFFFFFF); }, {u"Big", u"Huge"}},
      {"mini FAT chain loops",
       [](auto& f) { cfb::Put32(f.data() + (cfb::Get32(f.data() + 0x3C) + 1) * 512 + 4 * 3, 2); },
       {u"Big", u"Small"}},
      {"directory cycle through a sibling",
       [](auto& f) {
         const std::uint32_t top = cfb::Get32(f.data() + EntryOffset(f, 0) + 0x4C);
         for (std::uint32_t id = 1; id <= 5; ++id) {
           if (cfb::Get32(f.data() + EntryOffset(f, id) + 0x44) == cfb::kNoStream) {
             cfb::Put32(f.data() + EntryOffset(f, id) + 0x44, top);
           }
         }
       },
       {}},
      {"child id out of range", [](auto& f) { cfb::Put32(f.data() + EntryOffset(f, 0) + 0x4C, 5000); }, {}},
      {"name length too long", [](auto& f) { cfb::Put16(f.data() + EntryOffset(f, 2) + 0x40, 66); }, {}},
      {"name length odd", [](auto& f) { cfb::Put16(f.data() + EntryOffset(f, 1) + 0x40, 7); }, {}},
      {"directory chain loops",
       [](auto& f) { SetFat(f, cfb::Get32(f.data() + 0x30) + 1, cfb::Get32(f.data() + 0x30)); }, {}},
      {"FAT sector count absurd", [](auto& f) { cfb::Put32(f.data() + 0x2C, 0xFFFFFFF0); }, {}},
      {"DIFAT chain loops",
       [](auto& f) {
         f.resize(f.size() + 512);  // an unused sector at the end
         const std::uint32_t difat = static_cast<std::uint32_t>(f.size() / 512 - 2);
         cfb::Put32(f.data() + 0x2C, 250);
         cfb::Put32(f.data() + 0x44, difat);
         cfb::Put32(f.data() + 0x48, 2);
         cfb::Put32(f.data() + (difat + 2) * 512 - 4, difat);  // its last entry links to itself
       },
       {}},
      {"mini FAT sector marked free", [](auto& f) { SetFat(f, cfb::Get32(f.data() + 0x3C), cfb::kFreeSect); },
       {u"Big", u"Huge"}},
      {"two streams share a sector", [](auto& f) { cfb::Put32(f.data() + EntryOffset(f, 4) + 0x74, EntryStart(f, 1)); },
       {u"Big", u"Huge"}, "entry 4 is larger than its chain"},
  };
}

TEST_F(CompoundFileReadTest, DamagedFilesFailCleanlyAndAreNeverOpenedForWriting) {
  const std::vector<GenStream> streams = DamageSampleStreams();
  const std::vector<std::uint8_t> good = BuildCompoundFile(streams);
  ASSERT_GT(good.size(), 260u * 512) << "the DIFAT damage needs more than 236 sectors";
  for (const Damage& damage : Damages()) {
    SCOPED_TRACE(damage.what);
    std::vector<std::uint8_t> bytes = good;
    damage.apply(bytes);
    ASSERT_NE(bytes, good);
    stdfs::path path = Write("damaged.cfb", bytes);
    const auto started = std::chrono::steady_clock::now();

    if (auto opened = CompoundFile::Open(path.string(), fs::OpenMode::Read)) {
      const CompoundFile* cf = opened->get();
      for (const GenStream& stream : streams) {
        std::optional<EntryId> id = cf->FindChild(kRootEntry, stream.name);
        std::optional<std::vector<std::uint8_t>> content = id ? cf->ReadStream(*id) : std::nullopt;
        const bool shouldRead = std::find(damage.intact.begin(), damage.intact.end(), stream.name) != damage.intact.end();
        if (shouldRead) {
          EXPECT_EQ(content, stream.content) << "damage elsewhere spoils this stream";
        } else if (content) {
          EXPECT_EQ(*content, stream.content) << "a damaged stream reads as something else";
        }
        if (id) (void)cf->ReadStreamRange(*id, 5000, 100);
      }
    } else {
      EXPECT_TRUE(damage.intact.empty()) << "lenient reading should still open this";
    }
    const auto refused = CompoundFile::Open(path.string(), fs::OpenMode::ReadWrite);
    EXPECT_FALSE(refused);
    EXPECT_NE(refused.outcome().message(), "") << "a refusal says what is wrong";
    if (damage.refusal != nullptr) {
      EXPECT_EQ(refused.outcome().message(), std::string("damaged compound file: ") + damage.refusal);
    }
    EXPECT_EQ(test::ReadBytes(path), bytes) << "refusing must not touch the file";
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
  }
}

TEST_F(CompoundFileReadTest, HugeSizeInVersion4DoesNotAllocate) {
  std::vector<std::uint8_t> bytes = SampleFile(4);
  const std::uint32_t firstDir = cfb::Get32(bytes.data() + 0x30);
  const std::size_t bigEntry = (std::size_t{firstDir} + 1) * 4096 + 2 * 128;
  cfb::Put64(bytes.data() + bigEntry + 0x78, std::uint64_t{1} << 40);
  auto cf = testing::Opened(CompoundFile::Open(Write("huge.cfb", bytes).string(), fs::OpenMode::Read));
  ASSERT_NE(cf, nullptr);
  std::optional<EntryId> big = cf->FindChild(kRootEntry, u"Big");
  ASSERT_TRUE(big);
  EXPECT_EQ(cf->StreamSize(*big), std::uint64_t{1} << 40);
  EXPECT_FALSE(cf->ReadStream(*big));
  EXPECT_FALSE(cf->ReadStreamRange(*big, 0, 10));
  EXPECT_TRUE(cf->ReadStream(*cf->FindChild(kRootEntry, u"Small")));
}

}  // namespace
}  // namespace kestrel::storage
