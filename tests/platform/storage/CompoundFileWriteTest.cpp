// Writing: every operation checked by olefile (each changed stream new, every other stream
// unchanged, trees in order), and stopped after each of its writes in turn to show that every
// prefix of the writes leaves a file olefile and we can open, with each stream old or new.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <set>

#include "platform/storage/CfbFormat.h"
#include "platform/storage/CompoundFile.h"
#include "tests/platform/storage/CfbTestFiles.h"
#include "tests/support/FaultyFiles.h"
#include "tests/support/TestSupport.h"

namespace kestrel::storage {
namespace {

namespace stdfs = std::filesystem;
using testing::BuildCompoundFile;
using testing::DumpedStream;
using testing::GenOptions;
using testing::GenStream;
using testing::Pattern;
using Dump = std::map<std::string, DumpedStream>;
using Contents = std::map<std::string, std::vector<std::uint8_t>>;  // escaped path -> content

// cfb_dump.py's escaping of a one-level path.
std::string Key(std::u16string_view name) {
  std::string key;
  char buf[8];
  for (char16_t c : name) {
    if (c >= 0x21 && c <= 0x7E && c != u'\\') {
      key += static_cast<char>(c);
    } else {
      std::snprintf(buf, sizeof buf, c < 0x100 ? "\\x%02x" : "\\u%04x", static_cast<unsigned>(c));
      key += buf;
    }
  }
  return key;
}

using StoppedWrites = test::FaultyFiles;

using Operation = std::function<bool(CompoundFile&)>;

class CompoundFileWriteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::OlefilePython()) GTEST_SKIP() << "python3-olefile is not installed";
  }

  stdfs::path Write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    stdfs::path path = dir_.Path() / name;
    test::WriteBytes(path, bytes);
    return path;
  }

  static Dump StrictDump(const stdfs::path& file, const std::string& flags = "--strict --tree") {
    std::string error;
    auto dump = testing::OlefileDump(file, flags, &error);
    EXPECT_TRUE(dump) << "olefile: " << error;
    return dump.value_or(Dump{});
  }

  static bool Run(const stdfs::path& file, const Operation& op) {
    auto cf = CompoundFile::Open(file.string(), fs::OpenMode::ReadWrite);
    EXPECT_NE(cf, nullptr);
    return cf && op(*cf) && cf->Flush();
  }

  // After a complete operation: `changed` streams hold their new content, every other stream of
  // `before` is unchanged, nothing else appeared, we read the same, and write mode accepts it.
  static void ExpectAfter(const stdfs::path& file, const Dump& before, const Contents& changed,
                          const std::string& flags = "--strict --tree") {
    Dump after = StrictDump(file, flags);
    for (const auto& [path, stream] : before) {
      ASSERT_TRUE(after.count(path)) << path << " vanished";
      if (!changed.count(path)) {
        EXPECT_EQ(after[path].sha256, stream.sha256) << path << " changed";
      }
    }
    for (const auto& [path, content] : changed) {
      ASSERT_TRUE(after.count(path)) << path << " missing";
      EXPECT_EQ(after[path].size, content.size()) << path;
      EXPECT_EQ(after[path].sha256, testing::Sha256Hex(content)) << path;
    }
    std::size_t created = 0;
    for (const auto& entry : changed) created += before.count(entry.first) ? 0 : 1;
    EXPECT_EQ(after.size(), before.size() + created);
    auto cf = CompoundFile::Open(file.string(), fs::OpenMode::Read);
    ASSERT_NE(cf, nullptr);
    EXPECT_EQ(testing::DifferencesFromOlefile(*cf, after), "");
    cf.reset();  // its shared lock would keep write mode out
    EXPECT_NE(CompoundFile::Open(file.string(), fs::OpenMode::ReadWrite), nullptr) << "write mode refuses our result";
  }

  // Runs `op` on `original` once whole, then stopped at each of its writes in turn. After every
  // stop, olefile (strictly) and we open the file and each stream is old or new.
  // The file after the whole operation goes to *result.
  void ExpectCrashSafe(const std::vector<std::uint8_t>& original, const Operation& op, const Contents& changed,
                       std::vector<std::uint8_t>* result = nullptr) {
    stdfs::path file = Write("crash.cfb", original);
    const Dump before = StrictDump(file);
    std::size_t writes = 0;
    {
      StoppedWrites counter(0);
      ASSERT_TRUE(Run(file, op));
      writes = counter.Writes();
    }
    ExpectAfter(file, before, changed);
    if (result != nullptr) *result = test::ReadBytes(file);
    ASSERT_GT(writes, 0u);
    for (std::size_t stopAt = 1; stopAt <= writes; ++stopAt) {
      SCOPED_TRACE("stopped at write " + std::to_string(stopAt) + " of " + std::to_string(writes));
      test::WriteBytes(file, original);
      {
        StoppedWrites stop(stopAt);
        auto cf = CompoundFile::Open(file.string(), fs::OpenMode::ReadWrite);
        ASSERT_NE(cf, nullptr);
        EXPECT_FALSE(op(*cf));
        for (EntryId id = 1; id < 8; ++id) {
          if (cf->IsStream(id)) {
            EXPECT_FALSE(cf->ReplaceStream(id, Pattern(10, 1))) << "writes after a failure are refused";
          }
        }
        EXPECT_FALSE(cf->Flush());
      }
      std::string error;
      auto after = testing::OlefileDump(file, "--strict --tree", &error);
      ASSERT_TRUE(after) << error;
      for (const auto& [path, stream] : before) {
        ASSERT_TRUE(after->count(path)) << path;
        const std::string& hash = after->at(path).sha256;
        const bool isNew = changed.count(path) && hash == testing::Sha256Hex(changed.at(path));
        EXPECT_TRUE(hash == stream.sha256 || isNew) << path << " is neither old nor new";
      }
      for (const auto& [path, stream] : *after) {
        if (!before.count(path)) {
          ASSERT_TRUE(changed.count(path)) << path << " appeared";
          EXPECT_EQ(stream.sha256, testing::Sha256Hex(changed.at(path))) << path << " appeared half-made";
        }
      }
      auto cf = CompoundFile::Open(file.string(), fs::OpenMode::Read);
      ASSERT_NE(cf, nullptr);
      EXPECT_EQ(testing::DifferencesFromOlefile(*cf, *after), "");
      cf.reset();
      EXPECT_NE(CompoundFile::Open(file.string(), fs::OpenMode::ReadWrite), nullptr)
          << "a stopped write leaves a file we cannot write again";
    }
  }

  test::TempDir dir_;
};

Operation Replace(std::u16string name, std::vector<std::uint8_t> content) {
  return [name, content](CompoundFile& cf) {
    std::optional<EntryId> id = cf.FindChild(kRootEntry, name);
    return id && cf.ReplaceStream(*id, content);
  };
}

Operation Create(std::u16string name, std::vector<std::uint8_t> content) {
  return [name, content](CompoundFile& cf) { return cf.CreateStream(kRootEntry, name, content).has_value(); };
}

TEST_F(CompoundFileWriteTest, ReplaceAcrossTheCutoffBothWaysKeepsEveryOtherStream) {
  struct Case {
    const char* document;
    std::u16string stream;
  };
  for (const Case& c : {Case{"lo-ascii-full.doc", u"\x05SummaryInformation"}, Case{"lo-large-image.doc", u"Data"},
                        Case{"poi-ja-cp932.doc", u"WordDocument"}}) {
    SCOPED_TRACE(c.document);
    stdfs::path file = dir_.Copy(test::DataFile(c.document));
    for (std::size_t size : {0, 1, 63, 64, 4095, 4096, 4097, 100000, 63, 0, 5000, 64}) {
      SCOPED_TRACE(size);
      const Dump before = StrictDump(file);
      const std::vector<std::uint8_t> content = Pattern(size, static_cast<std::uint8_t>(size));
      {
        auto cf = CompoundFile::Open(file.string(), fs::OpenMode::ReadWrite);
        ASSERT_NE(cf, nullptr);
        std::optional<EntryId> id = cf->FindChild(kRootEntry, c.stream);
        ASSERT_TRUE(id);
        ASSERT_TRUE(cf->ReplaceStream(*id, content));
        EXPECT_EQ(cf->StreamSize(*id), size);
        EXPECT_EQ(cf->ReadStream(*id), content) << "the same object reads its own write";
        ASSERT_TRUE(cf->Flush());
      }
      ExpectAfter(file, before, {{Key(c.stream), content}});
    }
  }
}

TEST_F(CompoundFileWriteTest, WritesNeverShrinkTheFileOrMoveOtherStreams) {
  stdfs::path file = dir_.Copy(test::DataFile("lo-large-image.doc"));
  const std::vector<std::uint8_t> original = test::ReadBytes(file);
  std::vector<std::uint8_t> word;
  {
    auto cf = CompoundFile::Open(file.string(), fs::OpenMode::ReadWrite);
    ASSERT_NE(cf, nullptr);
    ASSERT_TRUE(cf->ReplaceStream(*cf->FindChild(kRootEntry, u"Data"), Pattern(10, 1)));
    word = *cf->ReadStream(*cf->FindChild(kRootEntry, u"WordDocument"));
  }
  const std::vector<std::uint8_t> after = test::ReadBytes(file);
  EXPECT_GE(after.size(), original.size());
  // WordDocument's bytes stay where they were: its first 512 bytes are found at the same place.
  auto at = std::search(original.begin(), original.end(), word.begin(), word.begin() + 512);
  ASSERT_NE(at, original.end());
  EXPECT_TRUE(std::equal(word.begin(), word.begin() + 512, after.begin() + (at - original.begin())));
}

TEST_F(CompoundFileWriteTest, SetStreamSizeTruncatesAndZeroExtends) {
  stdfs::path file = dir_.Copy(test::DataFile("lo-ascii-full.doc"));
  const Dump before = StrictDump(file);
  std::vector<std::uint8_t> word;
  {
    auto cf = CompoundFile::Open(file.string(), fs::OpenMode::ReadWrite);
    ASSERT_NE(cf, nullptr);
    EntryId id = *cf->FindChild(kRootEntry, u"WordDocument");
    word = *cf->ReadStream(id);
    ASSERT_TRUE(cf->SetStreamSize(id, 5000));
    ASSERT_TRUE(cf->SetStreamSize(id, 4100));
    ASSERT_TRUE(cf->SetStreamSize(id, 100));
  }
  std::vector<std::uint8_t> expected(word.begin(), word.begin() + 100);
  ExpectAfter(file, before, {{"WordDocument", expected}});
  {
    auto cf = CompoundFile::Open(file.string(), fs::OpenMode::ReadWrite);
    ASSERT_TRUE(cf->SetStreamSize(*cf->FindChild(kRootEntry, u"WordDocument"), 4500));
  }
  expected.resize(4500, 0);
  ExpectAfter(file, before, {{"WordDocument", expected}});
}

TEST_F(CompoundFileWriteTest, WriteStreamRangeChangesBytesInPlace) {
  for (const char* document : {"lo-large-image.doc", "lo-ascii-full.doc"}) {
    SCOPED_TRACE(document);
    stdfs::path file = dir_.Copy(test::DataFile(document));
    const Dump before = StrictDump(file);
    std::vector<std::uint8_t> table;
    const std::vector<std::uint8_t> block = Pattern(18, 9);
    {
      auto cf = CompoundFile::Open(file.string(), fs::OpenMode::ReadWrite);
      ASSERT_NE(cf, nullptr);
      EntryId id = *cf->FindChild(kRootEntry, u"1Table");
      table = *cf->ReadStream(id);
      EXPECT_FALSE(cf->WriteStreamRange(id, table.size() - 17, block)) << "past the end";
      ASSERT_TRUE(cf->WriteStreamRange(id, 1077 + 20, block));  // crosses a mini sector boundary
      EXPECT_EQ(cf->ReadStreamRange(id, 1077 + 20, block.size()), block) << "the same object reads what it wrote";
    }
    std::copy(block.begin(), block.end(), table.begin() + 1097);
    const std::vector<std::uint8_t> original = test::ReadBytes(test::DataFile(document));
    EXPECT_EQ(test::ReadBytes(file).size(), original.size()) << "in place";
    ExpectAfter(file, before, {{"1Table", table}});
  }
}

TEST_F(CompoundFileWriteTest, CreateStreamLinksNamesIntoTheTree) {
  stdfs::path file = dir_.Copy(test::DataFile("lo-ascii-full.doc"));
  const Dump before = StrictDump(file);
  Contents created;
  const std::vector<std::pair<std::u16string, std::size_t>> names = {
      {u"Kestrel", 0}, {u"A", 10}, {u"\u00c9t\u00e9", 5000}, {u"Zzzzzzzzzzzzzzzzzzzzzzzzzzzzzzz", 64}, {u"\x05Mine", 300},
      {u"1Tablf", 4096}};
  {
    auto cf = CompoundFile::Open(file.string(), fs::OpenMode::ReadWrite);
    ASSERT_NE(cf, nullptr);
    for (const auto& [name, size] : names) {
      std::vector<std::uint8_t> content = Pattern(size, static_cast<std::uint8_t>(name.size()));
      std::optional<EntryId> id = cf->CreateStream(kRootEntry, name, content);
      ASSERT_TRUE(id);
      EXPECT_EQ(cf->FindChild(kRootEntry, name), id);
      EXPECT_EQ(cf->ReadStream(*id), content);
      created[Key(name)] = content;
    }
    const std::vector<std::uint8_t> bytes = test::ReadBytes(file);
    EXPECT_FALSE(cf->CreateStream(kRootEntry, u"kestrel", Pattern(5, 5))) << "names are case-insensitive";
    EXPECT_FALSE(cf->CreateStream(kRootEntry, u"worddocument", Pattern(5, 5)));
    EXPECT_FALSE(cf->CreateStream(kRootEntry, std::u16string(32, u'x'), Pattern(5, 5))) << "32 code units";
    EXPECT_FALSE(cf->CreateStream(kRootEntry, u"a/b", Pattern(5, 5)));
    EXPECT_FALSE(cf->CreateStream(kRootEntry, u"", Pattern(5, 5)));
    EXPECT_FALSE(cf->CreateStream(*cf->FindChild(kRootEntry, u"A"), u"Child", Pattern(5, 5))) << "not a storage";
    EXPECT_EQ(test::ReadBytes(file), bytes) << "a refused create writes nothing";
  }
  ExpectAfter(file, before, created);
}

TEST_F(CompoundFileWriteTest, CreatedTreesAreRedBlackTrees) {
  for (int version : {3, 4}) {
    SCOPED_TRACE(version);
    stdfs::path file = Write("empty.cfb", BuildCompoundFile({}, GenOptions{version, 0, false}));
    const Dump before = StrictDump(file);
    Contents created;
    {
      auto cf = CompoundFile::Open(file.string(), fs::OpenMode::ReadWrite);
      ASSERT_NE(cf, nullptr);
      for (int i = 0; i < 40; ++i) {
        // Names in an order that exercises every rotation: rising, falling, interleaved lengths.
        std::u16string name = i % 3 == 0 ? u"S" + std::u16string(static_cast<std::size_t>(i % 7 + 1), u'a' + i % 26)
                              : i % 3 == 1 ? u"N" + std::u16string(1, static_cast<char16_t>(u'z' - i % 26)) + u"x"
                                           : u"Q" + std::u16string(static_cast<std::size_t>(i % 5), u'm') +
                                                 static_cast<char16_t>(u'0' + i % 10);
        if (cf->FindChild(kRootEntry, name)) continue;
        std::vector<std::uint8_t> content = Pattern(static_cast<std::size_t>(i * 97), static_cast<std::uint8_t>(i));
        ASSERT_TRUE(cf->CreateStream(kRootEntry, name, content));
        created[Key(name)] = content;
      }
    }
    EXPECT_GT(created.size(), 20u);
    ExpectAfter(file, before, created, "--strict --tree --rb");
  }
}

TEST_F(CompoundFileWriteTest, Version4FilesReplaceAndCreate) {
  std::vector<GenStream> streams = {{u"Small", Pattern(100, 1)}, {u"Big", Pattern(10000, 2)}, {u"Mini2", Pattern(4095, 3)}};
  stdfs::path file = Write("v4.cfb", BuildCompoundFile(streams, GenOptions{4, 0, false}));
  Contents changed;
  const Dump before = StrictDump(file);
  {
    auto cf = CompoundFile::Open(file.string(), fs::OpenMode::ReadWrite);
    ASSERT_NE(cf, nullptr);
    ASSERT_TRUE(cf->ReplaceStream(*cf->FindChild(kRootEntry, u"Small"), Pattern(9000, 4)));
    ASSERT_TRUE(cf->ReplaceStream(*cf->FindChild(kRootEntry, u"Big"), Pattern(3000, 5)));
    ASSERT_TRUE(cf->CreateStream(kRootEntry, u"New", Pattern(70000, 6)));
    changed = {{"Small", Pattern(9000, 4)}, {"Big", Pattern(3000, 5)}, {"New", Pattern(70000, 6)}};
  }
  ExpectAfter(file, before, changed);
}

TEST_F(CompoundFileWriteTest, ReadModeAndFailedObjectsRefuseWrites) {
  stdfs::path file = dir_.Copy(test::DataFile("lo-ascii-full.doc"));
  const std::vector<std::uint8_t> original = test::ReadBytes(file);
  {
    auto cf = CompoundFile::Open(file.string(), fs::OpenMode::Read);
    ASSERT_NE(cf, nullptr);
    EntryId id = *cf->FindChild(kRootEntry, u"WordDocument");
    EXPECT_FALSE(cf->ReplaceStream(id, Pattern(10, 1)));
    EXPECT_FALSE(cf->SetStreamSize(id, 10));
    EXPECT_FALSE(cf->WriteStreamRange(id, 0, Pattern(10, 1)));
    EXPECT_FALSE(cf->CreateStream(kRootEntry, u"New", Pattern(10, 1)));
    EXPECT_FALSE(cf->Flush());
  }
  EXPECT_EQ(test::ReadBytes(file), original);
  {
    StoppedWrites stop(1);
    auto cf = CompoundFile::Open(file.string(), fs::OpenMode::ReadWrite);
    ASSERT_NE(cf, nullptr);
    EXPECT_FALSE(cf->WriteStreamRange(*cf->FindChild(kRootEntry, u"WordDocument"), 0, Pattern(10, 1)));
  }
  {
    StoppedWrites stop(2);
    auto cf = CompoundFile::Open(file.string(), fs::OpenMode::ReadWrite);
    ASSERT_NE(cf, nullptr);
    EXPECT_FALSE(cf->ReplaceStream(*cf->FindChild(kRootEntry, u"WordDocument"), Pattern(10, 1)));
    EXPECT_FALSE(cf->WriteStreamRange(*cf->FindChild(kRootEntry, u"1Table"), 0, Pattern(10, 1)));
    EXPECT_EQ(stop.Writes(), 2u) << "nothing tried after the failure";
  }
}

// --- stopped at every write ---

TEST_F(CompoundFileWriteTest, StoppedReplaceGrowingTheMiniStreamAndMiniFat) {
  const auto original = test::ReadBytes(test::DataFile("lo-ascii-full.doc"));
  const auto content = Pattern(3000, 7);
  std::vector<std::uint8_t> result;
  ExpectCrashSafe(original, Replace(u"\x05SummaryInformation", content), {{"\\x05SummaryInformation", content}}, &result);
  ASSERT_GE(result.size(), 512u);
  EXPECT_GT(cfb::Get32(result.data() + 0x40), cfb::Get32(original.data() + 0x40)) << "the mini FAT grew";
}

TEST_F(CompoundFileWriteTest, StoppedReplaceCrossingTheCutoff) {
  const auto up = Pattern(5000, 8);
  ExpectCrashSafe(test::ReadBytes(test::DataFile("lo-ascii-full.doc")), Replace(u"WordDocument", up), {{"WordDocument", up}});
  const auto down = Pattern(100, 9);
  ExpectCrashSafe(test::ReadBytes(test::DataFile("lo-long-values.doc")), Replace(u"\x05SummaryInformation", down),
                  {{"\\x05SummaryInformation", down}});
}

TEST_F(CompoundFileWriteTest, StoppedCreateNeedingANewDirectorySector) {
  // Root and seven streams fill two directory sectors exactly.
  std::vector<GenStream> streams;
  for (char16_t c = u'A'; c < u'A' + 7; ++c) streams.push_back({std::u16string(3, c), Pattern(200, static_cast<std::uint8_t>(c))});
  const auto original = BuildCompoundFile(streams);
  const auto content = Pattern(5000, 10);
  std::vector<std::uint8_t> result;
  ExpectCrashSafe(original, Create(u"Newcomer", content), {{"Newcomer", content}}, &result);
  ASSERT_GE(result.size(), 512u);
  EXPECT_NE(cfb::Get32(result.data() + 0x30), cfb::Get32(original.data() + 0x30)) << "the directory was copied";
  const auto small = Pattern(70, 11);
  ExpectCrashSafe(original, Create(u"B", small), {{"B", small}});
}

TEST_F(CompoundFileWriteTest, StoppedGrowthNeedingNewFatSectors) {
  const auto big = Pattern(100000, 12);
  std::vector<std::uint8_t> result;
  ExpectCrashSafe(test::ReadBytes(test::DataFile("lo-ascii-full.doc")), Replace(u"WordDocument", big), {{"WordDocument", big}},
                  &result);
  ASSERT_GE(result.size(), 512u);
  EXPECT_EQ(cfb::Get32(result.data() + 0x2C), 2u) << "a second FAT sector";
  // Version 4: one FAT sector, every entry in use.
  const auto v4 = BuildCompoundFile({{u"Small", Pattern(100, 1)}}, GenOptions{4, 1, false});
  const auto content = Pattern(5000, 13);
  ExpectCrashSafe(v4, Replace(u"Small", content), {{"Small", content}}, &result);
  ASSERT_GE(result.size(), 512u);
  EXPECT_EQ(cfb::Get32(result.data() + 0x2C), 2u);
}

TEST_F(CompoundFileWriteTest, StoppedGrowthNeedingTheFirstDifatSector) {
  // 109 full FAT sectors: the header's DIFAT is full, so one more sector needs a DIFAT sector.
  const auto original = BuildCompoundFile({{u"Small", Pattern(100, 1)}}, GenOptions{3, 109, false});
  const auto content = Pattern(5000, 14);
  std::vector<std::uint8_t> result;
  ExpectCrashSafe(original, Replace(u"Small", content), {{"Small", content}}, &result);
  ASSERT_GE(result.size(), 512u);
  EXPECT_EQ(cfb::Get32(result.data() + 0x2C), 110u);
  EXPECT_EQ(cfb::Get32(result.data() + 0x48), 1u) << "one DIFAT sector";
}

TEST_F(CompoundFileWriteTest, GrowthNeedingASecondDifatSector) {
  // 109 + 127 full FAT sectors: the one DIFAT sector is full too.
  stdfs::path file = Write("difat.cfb", BuildCompoundFile({{u"Small", Pattern(100, 1)}}, GenOptions{3, 236, false}));
  const Dump before = StrictDump(file);
  const auto content = Pattern(70000, 15);
  ASSERT_TRUE(Run(file, Replace(u"Small", content)));
  ExpectAfter(file, before, {{"Small", content}});
  const std::vector<std::uint8_t> result = test::ReadBytes(file);
  EXPECT_EQ(cfb::Get32(result.data() + 0x2C), 238u) << "137 data and 2 DIFAT sectors need two more FAT sectors";
  EXPECT_EQ(cfb::Get32(result.data() + 0x48), 2u) << "a second DIFAT sector";
}

}  // namespace
}  // namespace kestrel::storage
