// Commit: Replace, Patch and Create together on real documents and on generated files that need
// new FAT, DIFAT and directory sectors, checked by olefile; stopped at every write; the writes
// and syncs it makes; what it refuses; and that repeated commits reuse the sectors they free.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>

#include "platform/storage/CfbFormat.h"
#include "platform/storage/CompoundFile.h"
#include "tests/platform/storage/CfbTestFiles.h"
#include "tests/support/FaultyFiles.h"
#include "tests/support/TestSupport.h"

namespace kestrel::storage {
namespace {

namespace stdfs = std::filesystem;
using testing::BuildCompoundFile;
using testing::GenOptions;
using testing::Pattern;
using Dump = std::map<std::string, testing::DumpedStream>;
using Contents = std::map<std::string, std::vector<std::uint8_t>>;  // escaped name -> content
using Kind = StreamEdits::Kind;

// cfb_dump.py's escaping of a name in the root storage.
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

// One edit by stream name (in the root storage). A patch's offset is moved back to fit the stream.
struct Step {
  Kind kind;
  std::u16string name;
  std::vector<std::uint8_t> bytes;
  std::uint64_t offset = 0;
};

// The edits of `steps` for `cf`, and each edited stream's expected content.
StreamEdits Stage(const CompoundFile& cf, const std::vector<Step>& steps, Contents* expected) {
  StreamEdits edits;
  for (const Step& step : steps) {
    std::vector<std::uint8_t>& content = (*expected)[Key(step.name)];
    if (step.kind == Kind::Create) {
      edits.Create(kRootEntry, step.name, step.bytes);
      content = step.bytes;
      continue;
    }
    const EntryId id = cf.FindChild(kRootEntry, step.name).value_or(9999);
    if (step.kind == Kind::Replace) {
      edits.Replace(id, step.bytes);
      content = step.bytes;
      continue;
    }
    if (content.empty()) content = cf.ReadStream(id).value_or(std::vector<std::uint8_t>{});
    const std::uint64_t offset = std::min<std::uint64_t>(step.offset, content.size() - step.bytes.size());
    edits.Patch(id, offset, step.bytes);
    std::copy(step.bytes.begin(), step.bytes.end(), content.begin() + static_cast<std::ptrdiff_t>(offset));
  }
  return edits;
}

struct CommitCase {
  const char* what;
  std::function<std::vector<std::uint8_t>()> original;
  std::vector<Step> steps;
};

std::vector<std::uint8_t> Document(const char* name) { return test::ReadBytes(test::DataFile(name)); }

std::vector<CommitCase> Cases() {
  const auto stats = Pattern(18, 0x5A);
  return {
      {"lo-ja-full.doc: property set in the mini stream, statistics block, new stream",
       [] { return Document("lo-ja-full.doc"); },
       {{Kind::Replace, u"\x05SummaryInformation", Pattern(700, 1)}, {Kind::Patch, u"1Table", stats, 1097},
        {Kind::Create, u"Kestrel", Pattern(300, 2)}}},
      {"lo-ascii-full.doc: mini FAT and mini stream grow", [] { return Document("lo-ascii-full.doc"); },
       {{Kind::Replace, u"\x05SummaryInformation", Pattern(3000, 3)}, {Kind::Patch, u"1Table", stats, 2000}}},
      {"poi-large-cp932.doc: across the cutoff, a patch deep in a large stream",
       [] { return Document("poi-large-cp932.doc"); },
       {{Kind::Replace, u"\x05SummaryInformation", Pattern(9000, 4)}, {Kind::Patch, u"WordDocument", stats, 300000},
        {Kind::Patch, u"WordDocument", Pattern(4, 9), 300010}, {Kind::Create, u"Big new", Pattern(5000, 5)}}},
      {"lo-large-image.doc: a large stream into the mini stream", [] { return Document("lo-large-image.doc"); },
       {{Kind::Replace, u"Data", Pattern(10, 6)}, {Kind::Patch, u"1Table", stats, 5000},
        {Kind::Create, u"\x05DocumentSummaryInformationX", Pattern(64, 7)}}},
      {"version 4", [] { return BuildCompoundFile({{u"Small", Pattern(100, 1)}, {u"Big", Pattern(10000, 2)}}, {4, 0, false}); },
       {{Kind::Replace, u"Small", Pattern(9000, 8)}, {Kind::Patch, u"Big", stats, 4090},
        {Kind::Create, u"New", Pattern(70000, 9)}}},
      {"version 4, a full FAT", [] { return BuildCompoundFile({{u"Small", Pattern(100, 1)}}, {4, 1, false}); },
       {{Kind::Replace, u"Small", Pattern(5000, 10)}, {Kind::Patch, u"Filler", stats, 100000}}},
      {"109 full FAT sectors: the first DIFAT sector",
       [] { return BuildCompoundFile({{u"Small", Pattern(100, 1)}}, {3, 109, false}); },
       {{Kind::Replace, u"Small", Pattern(5000, 11)}, {Kind::Create, u"New", Pattern(100, 12)}}},
      {"236 full FAT sectors: a second DIFAT sector",
       [] { return BuildCompoundFile({{u"Small", Pattern(100, 1)}}, {3, 236, false}); },
       {{Kind::Replace, u"Small", Pattern(70000, 13)}, {Kind::Patch, u"Filler", stats, 7000000}}},
      {"a full directory: a new directory sector",
       [] {
         std::vector<testing::GenStream> streams;
         for (char16_t c = u'A'; c < u'A' + 7; ++c) streams.push_back({std::u16string(3, c), Pattern(200, 1)});
         return BuildCompoundFile(streams);
       },
       {{Kind::Create, u"Newcomer", Pattern(5000, 14)}, {Kind::Create, u"B", Pattern(70, 15)}}},
  };
}

// Where the header write, which makes the new file live, stands in a commit's log.
std::size_t HeaderEvent(const std::vector<test::FaultyFiles::Event>& log) {
  std::size_t header = log.size();
  for (std::size_t i = 0; i < log.size(); ++i) {
    if (!log[i].sync && log[i].offset == 0 && log[i].size == 512) header = i;
  }
  return header;
}

class CompoundFileCommitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::OlefilePython()) GTEST_SKIP() << "python3-olefile is not installed";
  }

  stdfs::path Write(const std::vector<std::uint8_t>& bytes) {
    stdfs::path path = dir_.Path() / "commit.cfb";
    test::WriteBytes(path, bytes);
    return path;
  }

  static Dump StrictDump(const stdfs::path& file, const std::string& flags = "--strict --tree") {
    std::string error;
    auto dump = testing::OlefileDump(file, flags, &error);
    EXPECT_TRUE(dump) << "olefile: " << error;
    return dump.value_or(Dump{});
  }

  static Outcome Commit(const stdfs::path& file, const std::vector<Step>& steps, Contents* expected) {
    auto cf = CompoundFile::Open(file.string(), fs::OpenMode::ReadWrite);
    if (!cf) return cf.outcome();
    return (*cf)->Commit(Stage(**cf, steps, expected));
  }

  // olefile sees `expected` streams new and every other stream of `before` unchanged, we read
  // the same as olefile, and write mode accepts the file again.
  static void ExpectStreams(const stdfs::path& file, const Dump& before, const Contents& expected,
                            const std::string& flags = "--strict --tree") {
    Dump after = StrictDump(file, flags);
    for (const auto& [path, stream] : before) {
      if (!expected.count(path)) {
        EXPECT_EQ(after[path].sha256, stream.sha256) << path << " changed";
      }
    }
    for (const auto& [path, content] : expected) {
      EXPECT_EQ(after[path].size, content.size()) << path;
      EXPECT_EQ(after[path].sha256, testing::Sha256Hex(content)) << path;
    }
    std::size_t created = 0;
    for (const auto& entry : expected) created += before.count(entry.first) ? 0 : 1;
    EXPECT_EQ(after.size(), before.size() + created);
    auto cf = testing::Opened(CompoundFile::Open(file.string(), fs::OpenMode::Read));
    ASSERT_NE(cf, nullptr);
    EXPECT_EQ(testing::DifferencesFromOlefile(*cf, after), "");
    cf.reset();  // its shared lock would keep write mode out
    const auto writable = CompoundFile::Open(file.string(), fs::OpenMode::ReadWrite);
    EXPECT_TRUE(writable) << writable.outcome().message();
  }

  test::TempDir dir_;
};

TEST_F(CompoundFileCommitTest, CommitAppliesEveryEditAndKeepsEveryOtherStream) {
  for (const CommitCase& c : Cases()) {
    SCOPED_TRACE(c.what);
    const stdfs::path file = Write(c.original());
    const Dump before = StrictDump(file);
    Contents expected;
    {
      auto cf = testing::Opened(CompoundFile::Open(file.string(), fs::OpenMode::ReadWrite));
      ASSERT_NE(cf, nullptr);
      const Outcome outcome = cf->Commit(Stage(*cf, c.steps, &expected));
      ASSERT_TRUE(outcome) << outcome.message();
      for (const auto& [key, content] : expected) {
        for (const Step& step : c.steps) {
          if (Key(step.name) == key) {
            EXPECT_EQ(cf->ReadStream(*cf->FindChild(kRootEntry, step.name)), content) << key;
          }
        }
      }
    }
    ExpectStreams(file, before, expected);
  }
}

TEST_F(CompoundFileCommitTest, StoppedAtAnyWriteTheOldFileIsWhole) {
  for (const CommitCase& c : Cases()) {
    SCOPED_TRACE(c.what);
    const std::vector<std::uint8_t> original = c.original();
    const stdfs::path file = Write(original);
    const Dump before = StrictDump(file);
    std::size_t writes = 0;
    {
      const test::FaultyFiles counter(0);
      Contents expected;
      ASSERT_TRUE(Commit(file, c.steps, &expected));
      writes = test::CommitWrites(counter.Log());
    }
    for (std::size_t stopAt = 1; stopAt <= writes; ++stopAt) {
      SCOPED_TRACE("stopped at write " + std::to_string(stopAt) + " of " + std::to_string(writes));
      test::WriteBytes(file, original);
      {
        const test::FaultyFiles stop(stopAt);
        auto cf = testing::Opened(CompoundFile::Open(file.string(), fs::OpenMode::ReadWrite));
        ASSERT_NE(cf, nullptr);
        Contents expected;
        const Outcome failed = cf->Commit(Stage(*cf, c.steps, &expected));
        EXPECT_EQ(failed.kind(), FailureKind::Io) << failed.message();
        const std::size_t tried = stop.Writes();
        EXPECT_EQ(cf->Commit(Stage(*cf, c.steps, &expected)).kind(), FailureKind::Io) << "a failed object refuses";
        EXPECT_EQ(stop.Writes(), tried) << "and writes nothing more";
      }
      ExpectStreams(file, before, {});
    }
  }
}

TEST_F(CompoundFileCommitTest, WritesOnlyWhereTheOldFileHasNothingThenTheHeaderBetweenTwoSyncs) {
  for (const CommitCase& c : Cases()) {
    SCOPED_TRACE(c.what);
    const std::vector<std::uint8_t> original = c.original();
    const std::vector<bool> inUse = testing::SectorsInUse(original);
    const std::size_t sectorSize = std::size_t{1} << cfb::Get16(original.data() + 0x1E);
    const stdfs::path file = Write(original);
    const test::FaultyFiles recorder(0);
    Contents expected;
    ASSERT_TRUE(Commit(file, c.steps, &expected));
    const auto& log = recorder.Log();
    const std::size_t header = HeaderEvent(log);
    ASSERT_GE(header, 2u);
    ASSERT_LT(header + 1, log.size());
    // ... new sectors, sync, header, sync, then unsynced zeros over freed sectors.
    EXPECT_TRUE(log[header - 1].sync);
    EXPECT_TRUE(log[header + 1].sync);
    for (std::size_t i = header + 2; i < log.size(); ++i) EXPECT_FALSE(log[i].sync) << "a sync after the commit";
    for (std::size_t i = 0; i + 1 < header; ++i) {
      ASSERT_FALSE(log[i].sync) << "a third sync at event " << i;
      ASSERT_EQ(log[i].offset % sectorSize, 0u);
      for (std::uint64_t at = log[i].offset; at < log[i].offset + log[i].size; at += sectorSize) {
        const std::uint64_t sector = at / sectorSize - 1;
        EXPECT_TRUE(sector >= inUse.size() || !inUse[sector]) << "wrote into sector " << sector << " the old file uses";
      }
    }
  }
}

// A replaced stream's old bytes, a removed author among them, are nowhere in the file afterwards:
// each 64-byte piece of it that was in the file once is gone. Real documents only, whose streams
// differ from one another.
TEST_F(CompoundFileCommitTest, NoByteOfAReplacedStreamStaysInTheFile) {
  for (const CommitCase& c : Cases()) {
    if (std::string_view(c.what).find(".doc:") == std::string_view::npos) continue;
    SCOPED_TRACE(c.what);
    const std::vector<std::uint8_t> original = c.original();
    const stdfs::path file = Write(original);
    std::vector<std::vector<std::uint8_t>> replaced;
    {
      auto cf = testing::Opened(CompoundFile::Open(file.string(), fs::OpenMode::Read));
      ASSERT_NE(cf, nullptr);
      for (const Step& step : c.steps) {
        const auto id = cf->FindChild(kRootEntry, step.name);
        if (step.kind == Kind::Replace && id) replaced.push_back(cf->ReadStream(*id).value_or(std::vector<std::uint8_t>{}));
      }
    }
    Contents expected;
    ASSERT_TRUE(Commit(file, c.steps, &expected));
    const std::vector<std::uint8_t> after = test::ReadBytes(file);
    const auto view = [](const std::vector<std::uint8_t>& bytes) {
      return std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    };
    const auto count = [&view](const std::vector<std::uint8_t>& in, std::string_view piece) {
      int found = 0;
      for (std::size_t at = 0; (at = view(in).find(piece, at)) != std::string_view::npos; ++at) ++found;
      return found;
    };
    for (const std::vector<std::uint8_t>& old : replaced) {
      for (std::size_t at = 0; at + 64 <= old.size(); at += 64) {
        const std::string_view piece = view(old).substr(at, 64);
        if (piece.find_first_not_of('\0') == std::string_view::npos) continue;
        if (count(original, piece) != 1) continue;
        EXPECT_EQ(count(after, piece), 0) << "old bytes at " << at;
      }
    }
  }
}

TEST_F(CompoundFileCommitTest, ReplacedStreamsMoveAcrossTheCutoffBothWays) {
  struct Case {
    const char* document;
    std::u16string stream;
  };
  for (const Case& c : {Case{"lo-ascii-full.doc", u"\x05SummaryInformation"}, Case{"lo-large-image.doc", u"Data"},
                        Case{"poi-ja-cp932.doc", u"WordDocument"}}) {
    SCOPED_TRACE(c.document);
    const stdfs::path file = Write(Document(c.document));
    for (std::size_t size : {0, 1, 63, 64, 4095, 4096, 4097, 100000, 63, 0, 5000, 64}) {
      SCOPED_TRACE(size);
      const Dump before = StrictDump(file);
      Contents expected;
      ASSERT_TRUE(Commit(file, {{Kind::Replace, c.stream, Pattern(size, static_cast<std::uint8_t>(size))}}, &expected));
      ExpectStreams(file, before, expected);
    }
  }
}

TEST_F(CompoundFileCommitTest, EditsThatChangeNoByteWriteNothing) {
  const stdfs::path file = Write(Document("lo-ja-full.doc"));
  auto cf = testing::Opened(CompoundFile::Open(file.string(), fs::OpenMode::ReadWrite));
  ASSERT_NE(cf, nullptr);
  const EntryId summary = *cf->FindChild(kRootEntry, u"\x05SummaryInformation");
  const EntryId table = *cf->FindChild(kRootEntry, u"1Table");
  const std::vector<std::uint8_t> content = *cf->ReadStream(summary);
  const std::vector<std::uint8_t> block = *cf->ReadStreamRange(table, 1097, 18);
  StreamEdits nothing;
  StreamEdits same;
  same.Replace(summary, content);
  same.Patch(table, 1097, block);
  StreamEdits back;  // a change, then its undoing
  back.Patch(summary, 10, Pattern(30, 1));
  back.Patch(summary, 10, std::vector<std::uint8_t>(content.begin() + 10, content.begin() + 40));
  for (const StreamEdits* edits : {&nothing, &same, &back}) {
    const test::FaultyFiles recorder(0);
    EXPECT_TRUE(cf->Commit(*edits));
    EXPECT_TRUE(recorder.Log().empty()) << "no write, no sync";
  }
  EXPECT_EQ(test::ReadBytes(file), Document("lo-ja-full.doc"));
}

TEST_F(CompoundFileCommitTest, RepeatedCommitsReuseTheSectorsTheyFree) {
  const stdfs::path file = Write(Document("lo-ja-full.doc"));
  const Dump before = StrictDump(file);
  Contents expected;
  std::uint64_t sizeAfterFour = 0;
  {
    auto cf = testing::Opened(CompoundFile::Open(file.string(), fs::OpenMode::ReadWrite));
    ASSERT_NE(cf, nullptr);
    for (int i = 0; i < 50; ++i) {
      const std::size_t size = i % 2 == 0 ? 3000 : 9000;  // back and forth across the cutoff
      const std::vector<Step> steps = {{Kind::Replace, u"\x05SummaryInformation", Pattern(size, static_cast<std::uint8_t>(i))},
                                       {Kind::Patch, u"1Table", Pattern(18, static_cast<std::uint8_t>(i)), 1097}};
      expected.clear();
      ASSERT_TRUE(cf->Commit(Stage(*cf, steps, &expected))) << i;
      // Each commit may use only what the one before left free: the size settles within a few.
      if (i == 3) sizeAfterFour = stdfs::file_size(file);
    }
  }
  EXPECT_EQ(stdfs::file_size(file), sizeAfterFour);
  ExpectStreams(file, before, expected);
}

TEST_F(CompoundFileCommitTest, RefusedCommitsLeaveTheFileAsItWas) {
  struct Refusal {
    const char* what;
    std::function<void(const CompoundFile&, StreamEdits&)> stage;
    FailureKind kind;
  };
  auto id = [](const CompoundFile& cf, const char16_t* name) { return *cf.FindChild(kRootEntry, name); };
  const std::vector<Refusal> refusals = {
      {"unknown entry", [](auto&, auto& e) { e.Replace(9999, Pattern(5, 1)); }, FailureKind::InvalidValue},
      {"a storage is no stream", [](auto&, auto& e) { e.Patch(kRootEntry, 0, Pattern(1, 1)); }, FailureKind::InvalidValue},
      {"patch past the end",
       [&](auto& cf, auto& e) { e.Patch(id(cf, u"1Table"), cf.StreamSize(id(cf, u"1Table")) - 17, Pattern(18, 1)); },
       FailureKind::InvalidValue},
      {"patch past a replaced end",
       [&](auto& cf, auto& e) {
         e.Replace(id(cf, u"1Table"), Pattern(10, 1));
         e.Patch(id(cf, u"1Table"), 5, Pattern(6, 1));
       },
       FailureKind::InvalidValue},
      {"name exists, other case", [](auto&, auto& e) { e.Create(kRootEntry, u"worddocument", {}); }, FailureKind::InvalidValue},
      {"created twice",
       [](auto&, auto& e) {
         e.Create(kRootEntry, u"Twice", {});
         e.Create(kRootEntry, u"TWICE", {});
       },
       FailureKind::InvalidValue},
      {"empty name", [](auto&, auto& e) { e.Create(kRootEntry, u"", {}); }, FailureKind::InvalidValue},
      {"32 code units", [](auto&, auto& e) { e.Create(kRootEntry, std::u16string(32, u'x'), {}); }, FailureKind::InvalidValue},
      {"a slash", [](auto&, auto& e) { e.Create(kRootEntry, u"a/b", {}); }, FailureKind::InvalidValue},
      {"create in a stream", [&](auto& cf, auto& e) { e.Create(id(cf, u"1Table"), u"Child", {}); }, FailureKind::InvalidValue},
      {"a good edit with a bad one",
       [&](auto& cf, auto& e) {
         e.Replace(id(cf, u"WordDocument"), Pattern(100, 1));
         e.Replace(9999, {});
       },
       FailureKind::InvalidValue},
  };
  const std::vector<std::uint8_t> original = Document("lo-ascii-full.doc");
  const stdfs::path file = Write(original);
  for (const Refusal& refusal : refusals) {
    SCOPED_TRACE(refusal.what);
    const test::FaultyFiles recorder(0);
    auto cf = testing::Opened(CompoundFile::Open(file.string(), fs::OpenMode::ReadWrite));
    ASSERT_NE(cf, nullptr);
    StreamEdits edits;
    refusal.stage(*cf, edits);
    const Outcome outcome = cf->Commit(edits);
    EXPECT_EQ(outcome.kind(), refusal.kind) << outcome.message();
    EXPECT_FALSE(outcome.message().empty());
    EXPECT_TRUE(recorder.Log().empty());
    EXPECT_TRUE(cf->Commit(StreamEdits{})) << "a refused plan does not spoil the object";
  }
  auto reader = testing::Opened(CompoundFile::Open(file.string(), fs::OpenMode::Read));
  ASSERT_NE(reader, nullptr);
  StreamEdits edits;
  edits.Replace(*reader->FindChild(kRootEntry, u"WordDocument"), Pattern(10, 1));
  EXPECT_EQ(reader->Commit(edits).kind(), FailureKind::ReadOnly);
  EXPECT_EQ(test::ReadBytes(file), original);
}

TEST_F(CompoundFileCommitTest, ManyCreatesInOneCommitMakeARedBlackTree) {
  for (int version : {3, 4}) {
    SCOPED_TRACE(version);
    const stdfs::path file = Write(BuildCompoundFile({}, GenOptions{version, 0, false}));
    const Dump before = StrictDump(file);
    std::vector<Step> steps;
    Contents names;
    for (int i = 0; i < 40; ++i) {
      // Rising, falling and interleaved lengths, so that every rotation happens.
      std::u16string name = i % 3 == 0 ? u"S" + std::u16string(static_cast<std::size_t>(i % 7 + 1), u'a' + i % 26)
                            : i % 3 == 1 ? u"N" + std::u16string(1, static_cast<char16_t>(u'z' - i % 26)) + u"x"
                                         : u"Q" + std::u16string(static_cast<std::size_t>(i % 5), u'm') +
                                               static_cast<char16_t>(u'0' + i % 10);
      if (names.count(Key(name))) continue;
      names[Key(name)] = {};
      steps.push_back({Kind::Create, name, Pattern(static_cast<std::size_t>(i * 97), static_cast<std::uint8_t>(i))});
    }
    Contents expected;
    ASSERT_TRUE(Commit(file, steps, &expected));
    EXPECT_GT(expected.size(), 20u);
    ExpectStreams(file, before, expected, "--strict --tree --rb");
  }
}

TEST_F(CompoundFileCommitTest, OpensOnAFileTheCallerHoldsAndLendsItBack) {
  const stdfs::path file = Write(Document("lo-ascii-full.doc"));
  fs::OpenResult opened = fs::OpenFile(file.string(), fs::OpenMode::ReadWrite);
  ASSERT_TRUE(opened.file);
  fs::RandomAccessFile* held = opened.file.get();
  auto cf = testing::Opened(CompoundFile::Open(std::move(opened.file), fs::OpenMode::ReadWrite));
  ASSERT_NE(cf, nullptr);
  EXPECT_EQ(&cf->File(), held);
  StreamEdits edits;
  edits.Replace(*cf->FindChild(kRootEntry, u"WordDocument"), Pattern(100000, 1));
  ASSERT_TRUE(cf->Commit(edits));
  EXPECT_EQ(cf->File().Size(), stdfs::file_size(file));
  EXPECT_EQ(fs::OpenFile(file.string(), fs::OpenMode::Read).error, fs::OpenFailure::Locked) << "the lock is still held";
}

// A disk that refuses the sync before the switch: the commit fails as I/O, and what it wrote past
// the old end of the file goes again, so the file has its old length and content.
TEST_F(CompoundFileCommitTest, AFailureBeforeTheSwitchCutsTheFileBackToItsLength) {
  class SyncFails final : public fs::RandomAccessFile {
   public:
    explicit SyncFails(std::unique_ptr<fs::RandomAccessFile> inner) : inner_(std::move(inner)) {}
    std::uint64_t Size() const override { return inner_->Size(); }
    Outcome ReadAt(std::uint64_t offset, void* out, std::size_t n) override { return inner_->ReadAt(offset, out, n); }
    Outcome WriteAt(std::uint64_t offset, const void* in, std::size_t n) override { return inner_->WriteAt(offset, in, n); }
    Outcome Sync() override { return Outcome::Failure(FailureKind::Io, "cannot flush: a fault made for the test"); }
    Outcome Truncate(std::uint64_t size) override { return inner_->Truncate(size); }

   private:
    std::unique_ptr<fs::RandomAccessFile> inner_;
  };
  const stdfs::path file = Write(Document("lo-ascii-full.doc"));
  const Dump before = StrictDump(file);
  const auto length = stdfs::file_size(file);
  {
    fs::OpenResult opened = fs::OpenFile(file.string(), fs::OpenMode::ReadWrite);
    ASSERT_TRUE(opened.file);
    auto cf = testing::Opened(CompoundFile::Open(std::make_unique<SyncFails>(std::move(opened.file)), fs::OpenMode::ReadWrite));
    ASSERT_NE(cf, nullptr);
    StreamEdits edits;
    edits.Replace(*cf->FindChild(kRootEntry, u"WordDocument"), Pattern(100000, 1));
    EXPECT_EQ(cf->Commit(edits).kind(), FailureKind::Io);
  }
  EXPECT_EQ(stdfs::file_size(file), length);
  ExpectStreams(file, before, {});
}

}  // namespace
}  // namespace kestrel::storage
