#include "worddoc/DopStatistics.h"

#include <gtest/gtest.h>

#include <functional>

#include "platform/LittleEndian.h"
#include "platform/storage/CfbFormat.h"
#include "platform/storage/CompoundFile.h"
#include "platform/time/DateTimeText.h"
#include "tests/support/TestSupport.h"

namespace kestrel::worddoc {
namespace {

namespace fs = std::filesystem;
using storage::CompoundFile;

// poi-ja-cp932.doc: "1Table" of 4096 bytes, fcDop 431, flags 0x12F0; its statistics run.
constexpr std::uint64_t kSampleRunOffset = 431 + 20;
constexpr const char* kSampleRun = "941a920768b4ab0740aaab070c005a000000";

std::string Hex(const std::array<std::uint8_t, kDopDatesSize>& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string text;
  for (const std::uint8_t b : bytes) text += {digits[b >> 4], digits[b & 0xF]};
  return text;
}

catalogue::PropertyRows Rows(std::initializer_list<std::pair<int, std::string>> values, bool included) {
  catalogue::PropertyRows rows;
  rows.included.fill(included);
  for (const auto& [row, text] : values) rows.values.at(static_cast<std::size_t>(row)) = text;
  return rows;
}

// Stages edits on a copy and commits them, to make unusual or damaged documents.
void Edit(const fs::path& file, const std::function<void(CompoundFile&, storage::StreamEdits&)>& stage) {
  auto opened = CompoundFile::Open(file, kestrel::fs::OpenMode::ReadWrite);
  ASSERT_TRUE(opened) << opened.outcome().message();
  CompoundFile& cf = **opened;
  storage::StreamEdits edits;
  stage(cf, edits);
  const Outcome committed = cf.Commit(edits);
  ASSERT_TRUE(committed) << committed.message();
}

std::function<void(const fs::path&)> PatchFib(std::uint64_t offset, std::vector<std::uint8_t> bytes) {
  return [=](const fs::path& file) {
    Edit(file, [&](CompoundFile& cf, storage::StreamEdits& edits) {
      edits.Patch(*cf.FindChild(storage::kRootEntry, u"WordDocument"), offset, bytes);
    });
  };
}

// The flags of poi-ja-cp932.doc with bits set and cleared.
std::function<void(const fs::path&)> Flags(std::uint16_t set, std::uint16_t clear) {
  const auto flags = static_cast<std::uint16_t>((0x12F0 | set) & ~clear);
  std::vector<std::uint8_t> bytes;
  le::Append16(bytes, flags);
  return PatchFib(10, bytes);
}

// A Word 6/95 main stream: FIB, 64 bytes of text, then a DOP whose run holds kWord6Run.
struct Word6Layout {
  std::uint16_t ident = 0xA5DC;
  std::uint16_t version = 104;
  std::uint16_t flags = 0;
  std::uint32_t textStart = 0x300, textEnd = 0x340, dataEnd = 0x400;
  std::uint32_t fcDop = 0x380, lcbDop = 88;
  std::size_t size = 0x400;
};
constexpr std::array<std::uint8_t, kDopDatesSize> kWord6Run = {0x79, 0xd3, 0x95, 0x86, 0x99, 0xa4, 0x99, 0x46, 0, 0,
                                                               0,    0,    0x01, 0x00, 0x07, 0,    0,    0};

std::function<void(const fs::path&)> Word6(Word6Layout layout) {
  return [=](const fs::path& file) {
    std::vector<std::uint8_t> s(layout.size);
    le::Put16(&s[0], layout.ident);
    le::Put16(&s[2], layout.version);
    le::Put16(&s[10], layout.flags);
    if (s.size() >= 0x158) {
      for (const auto& [at, value] : {std::pair{0x18, layout.textStart}, {0x1C, layout.textEnd},
                                      {0x20, layout.dataEnd}, {0x150, layout.fcDop}, {0x154, layout.lcbDop}}) {
        le::Put32(&s[static_cast<std::size_t>(at)], value);
      }
    }
    for (std::size_t i = 0; i < kDopDatesSize && layout.fcDop + 20 + i < s.size(); ++i) {
      s[layout.fcDop + 20 + i] = kWord6Run[i];
    }
    // The base document's table stream stays: a Word 6/95 FIB never looks at it.
    Edit(file, [&](CompoundFile& cf, storage::StreamEdits& edits) {
      edits.Replace(*cf.FindChild(storage::kRootEntry, u"WordDocument"), s);
    });
  };
}

// A version 3 compound file holding only its root storage: sector 0 the FAT, sector 1 the directory.
fs::path EmptyCompoundFile(const test::TempDir& dir) {
  using namespace storage::cfb;
  std::vector<std::uint8_t> bytes(3 * 512, 0);
  std::copy(std::begin(kSignature), std::end(kSignature), bytes.begin());
  for (const auto& [at, value] : {std::pair{0x18, 0x3E}, {kHdrMajorVersion, 3}, {kHdrByteOrder, 0xFFFE},
                                  {kHdrSectorShift, 9}, {kHdrMiniSectorShift, 6}}) {
    Put16(&bytes[at], static_cast<std::uint16_t>(value));
  }
  for (const auto& [at, value] : {std::pair{kHdrFatSectorCount, 1u}, {kHdrFirstDirSector, 1u},
                                  {kHdrMiniStreamCutoff, kMiniStreamCutoff}, {kHdrFirstMiniFatSector, kEndOfChain},
                                  {kHdrFirstDifatSector, kEndOfChain}}) {
    Put32(&bytes[at], value);
  }
  for (std::size_t i = 0; i < kHeaderDifatEntries; ++i) Put32(&bytes[kHdrDifat + 4 * i], i == 0 ? 0 : kFreeSect);
  for (std::size_t i = 0; i < 128; ++i) Put32(&bytes[512 + 4 * i], i == 0 ? kFatSect : i == 1 ? kEndOfChain : kFreeSect);
  const std::u16string root = u"Root Entry";
  std::uint8_t* entry = &bytes[1024];
  for (std::size_t i = 0; i < root.size(); ++i) Put16(entry + 2 * i, root[i]);
  Put16(entry + kDirNameLength, static_cast<std::uint16_t>(2 * root.size() + 2));
  entry[kDirType] = kTypeRoot;
  entry[kDirColor] = kBlack;
  for (std::size_t e = 0; e < 4; ++e) {
    for (const std::size_t at : {kDirLeft, kDirRight, kDirChild}) Put32(&bytes[1024 + 128 * e + at], kNoStream);
  }
  Put32(entry + kDirStart, kEndOfChain);
  const auto path = dir.Path() / "no-word.doc";
  test::WriteBytes(path, bytes);
  return path;
}

struct LayoutCase {
  const char* what;
  std::function<void(const fs::path&)> make;  // applied to a copy of poi-ja-cp932.doc
  FailureKind kind;                           // None: the run is found
  std::string message;                        // part of the failure's message
  const char16_t* stream = nullptr;           // where the run was found
  std::uint64_t offset = 0;
  bool writable = false;  // CheckWordDocumentWritable passes although the run cannot be placed
};

TEST(PlanDopDates, FindsTheRunOrSaysWhyNot) {
  using enum FailureKind;
  const auto none = [](const fs::path&) {};
  const std::vector<LayoutCase> cases = {
      {"Word 97, 1Table", none, None, "", u"1Table", kSampleRunOffset},
      {"the flags name 0Table",
       [&](const fs::path& file) {
         Edit(file, [](CompoundFile&, storage::StreamEdits& edits) {
           edits.Create(storage::kRootEntry, u"0Table", std::vector<std::uint8_t>(4096, 7));
         });
         Flags(0, 0x0200)(file);
       },
       None, "", u"0Table", kSampleRunOffset},
      {"0Table named but missing", Flags(0, 0x0200), Damaged, "0Table", nullptr, 0, true},
      {"DOP of 37 bytes", PatchFib(406, {37, 0, 0, 0}), Damaged, "37 bytes", nullptr, 0, true},
      {"run past the table stream", PatchFib(402, {0xF0, 0x0F, 0, 0}), Damaged, "outside the table stream", nullptr,
       0, true},
      {"fcDop near 4 GiB", PatchFib(402, {0xF0, 0xFF, 0xFF, 0xFF}), Damaged, "outside the table stream", nullptr, 0,
       true},
      {"encrypted", Flags(0x0100, 0), Encrypted, "encrypted document"},
      {"obfuscated", Flags(0x8000, 0), Encrypted, "encrypted document"},
      {"unknown signature", PatchFib(0, {0x00, 0x61}), Unsupported, "0x6100"},
      {"version between Word 95 and 97", PatchFib(2, {0xB0, 0x00}), Unsupported, "version 176"},
      {"Word 97 counts differ", PatchFib(32, {0, 0}), Unsupported, "0 shorts", nullptr, 0, true},
      {"no fcDop among the pairs", PatchFib(152, {31, 0}), Unsupported, "31 pairs", nullptr, 0, true},
      {"Word 95", Word6({}), None, "", u"WordDocument", 0x380 + 20},
      {"Word 6", Word6({.version = 101, .fcDop = 0x340, .lcbDop = 84}), None, "", u"WordDocument", 0x340 + 20},
      {"Word 95 encrypted", Word6({.flags = 0x0100}), Encrypted, "encrypted document"},
      {"Word 95 signature, later version", Word6({.version = 106}), Unsupported, "version 106"},
      {"Word 95 DOP of 37 bytes", Word6({.lcbDop = 37}), Unsupported, "37 bytes", nullptr, 0, true},
      {"Word 95 DOP inside the text", Word6({.fcDop = 0x330}), Unsupported, "before the end of the text", nullptr,
       0, true},
      {"Word 95 DOP past the data", Word6({.dataEnd = 0x3C0}), Unsupported, "runs past", nullptr, 0, true},
      {"Word 95 data past the stream", Word6({.dataEnd = 0x401}), Unsupported, "text bounds", nullptr, 0, true},
      {"Word 95 text inside the FIB", Word6({.textStart = 0x100}), Unsupported, "text bounds", nullptr, 0, true},
      {"Word 95 FIB cut short", Word6({.size = 0x100}), Unsupported, "runs past the end", nullptr, 0, true},
  };
  const test::TempDir dir;
  const auto all = Rows({{catalogue::kCreated, "2020/01/01"}, {catalogue::kLastSaved, "2020/01/01"}}, true);
  for (const LayoutCase& c : cases) {
    SCOPED_TRACE(c.what);
    const auto file = dir.Copy(test::DataFile("poi-ja-cp932.doc"), "case.doc");
    c.make(file);
    const auto opened = CompoundFile::Open(file, kestrel::fs::OpenMode::Read);
    ASSERT_TRUE(opened) << opened.outcome().message();
    const CompoundFile& cf = **opened;
    const auto patch = PlanDopDates(cf, all);
    EXPECT_EQ(patch.outcome().kind(), c.kind) << patch.outcome().message();
    EXPECT_NE(patch.outcome().message().find(c.message), std::string::npos) << patch.outcome().message();
    const Outcome writable = CheckWordDocumentWritable(cf);
    EXPECT_EQ(writable.kind(), c.writable ? None : c.kind) << writable.message();
    if (!patch || c.kind != None) continue;  // a wrong outcome is reported above
    EXPECT_EQ(patch->stream, cf.FindChild(storage::kRootEntry, c.stream));
    EXPECT_EQ(patch->offset, c.offset);
  }
  const auto notWord = CompoundFile::Open(EmptyCompoundFile(dir), kestrel::fs::OpenMode::Read);
  ASSERT_TRUE(notWord) << notWord.outcome().message();
  EXPECT_EQ(PlanDopDates(**notWord, all).outcome().kind(), NotADocument);
  EXPECT_EQ(CheckWordDocumentWritable(**notWord).kind(), NotADocument);
}

struct RowsCase {
  catalogue::PropertyRows rows;
  std::string expected;  // hex of the planned run; "old:" + hex of its end keeps the file's bytes before it
  std::string failure;   // InvalidValue's message, when the plan fails
};

// One table for both layouts: the rows mean the same wherever the run lies.
TEST(PlanDopDates, TurnsTheIncludedRowsIntoTheRun) {
  using namespace catalogue;
  auto batch = Rows({{kCreated, ""}, {kLastSaved, "?"}, {kEditingTime, "75"}}, false);
  batch.included[kEditingTime] = true;
  auto badDate = batch;
  badDate.included[kLastSaved] = true;
  const std::vector<RowsCase> cases = {
      {Rows({{kCreated, "2009/01/15 9:05:40"}, {kLastSaved, "2009/01/15 9:05"}, {kRevisionNumber, "abc"},
             {kEditingTime, "abc"}},
            true),
       "457ad106457ad106000000000300" "00000000", ""},
      // 70000 keeps its low 16 bits: the field is 16 bits wide.
      {Rows({{kCreated, "2009/01/15"}, {kLastSaved, "2009/01/15"}, {kLastPrinted, "2009/01/15 0:01:00"},
             {kRevisionNumber, "70000"}, {kEditingTime, "-5"}},
            true),
       "0078d1060078d1060178d1067011" "fbffffff", ""},
      {batch, "old:4b000000", ""},
      {badDate, "", "'?' is not a valid date and time"},
      {Rows({}, false), "old:", ""},
  };
  const test::TempDir dir;
  for (const auto& [source, make, old] :
       {std::tuple{"Word 97", std::function<void(const fs::path&)>([](const fs::path&) {}), std::string(kSampleRun)},
        std::tuple{"Word 95", Word6({}), Hex(kWord6Run)}}) {
    const auto file = dir.Copy(test::DataFile("poi-ja-cp932.doc"), "rows.doc");
    make(file);
    const auto opened = CompoundFile::Open(file, kestrel::fs::OpenMode::Read);
    ASSERT_TRUE(opened) << opened.outcome().message();
    const CompoundFile& cf = **opened;
    for (const RowsCase& c : cases) {
      SCOPED_TRACE(std::string(source) + " " + c.expected + c.failure);
      const auto patch = PlanDopDates(cf, c.rows);
      if (!c.failure.empty()) {
        EXPECT_EQ(patch.outcome().kind(), FailureKind::InvalidValue);
        EXPECT_EQ(patch.outcome().message(), c.failure);
        continue;
      }
      ASSERT_TRUE(patch) << patch.outcome().message();
      const std::string expected = c.expected.starts_with("old:")
                                       ? old.substr(0, old.size() + 4 - c.expected.size()) + c.expected.substr(4)
                                       : c.expected;
      EXPECT_EQ(Hex(patch->bytes), expected);
      EXPECT_EQ(patch->changed, expected != old);
    }
  }
}

TEST(PackDttm, PacksLocalFieldsToTheMinute) {
  const auto when = time::ParseDateTimeText("2009/01/15 9:05:40");
  ASSERT_TRUE(when);
  EXPECT_EQ(PackDttm(*when), 0x06D17A45u);
  EXPECT_EQ(PackDttm(*time::ParseDateTimeText("1900/01/01")), 0x00010800u);
  EXPECT_EQ(PackDttm(*time::ParseDateTimeText("2411/12/31 23:59:00")), 0x1FFCFDFBu);
  // A DTTM cannot hold these; they are written as "no date".
  EXPECT_EQ(PackDttm(*time::ParseDateTimeText("1899/12/31 12:00:00")), 0u);
  EXPECT_EQ(PackDttm(*time::ParseDateTimeText("1601/01/01 9:00:00")), 0u);
  EXPECT_EQ(PackDttm(*time::ParseDateTimeText("2412/01/01")), 0u);
}

TEST(ReadEditingMinutes, ReadsTheRunOrZero) {
  const test::TempDir dir;
  const auto word95 = dir.Copy(test::DataFile("poi-ja-cp932.doc"), "word95.doc");
  Word6({})(word95);
  const auto encrypted = dir.Copy(test::DataFile("poi-ja-cp932.doc"), "encrypted.doc");
  Flags(0x0100, 0)(encrypted);
  for (const auto& [file, minutes] : {std::pair{test::DataFile("poi-ja-cp932.doc"), 90},
                                      {test::DataFile("poi-ascii-cp1252.doc"), 62},
                                      {test::DataFile("lo-ja-full.doc"), 0},
                                      {word95, 7},
                                      {encrypted, 0},
                                      {test::DataFile("x.doc"), 0},
                                      {test::DataFile("no-such-file.doc"), 0}}) {
    EXPECT_EQ(ReadEditingMinutes(file), minutes) << file;
  }
}

}  // namespace
}  // namespace kestrel::worddoc
