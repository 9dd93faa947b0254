// What must reach the disk before what: a header or directory entry write makes the file refer
// to sectors written just before it, so a sync has to come between them, or a power cut could
// leave the reference without the data.
#include <gtest/gtest.h>

#include "platform/storage/CompoundFile.h"
#include "tests/support/FaultyFiles.h"
#include "tests/support/TestSupport.h"

namespace kestrel::storage {
namespace {

using Event = test::FaultyFiles::Event;

constexpr std::size_t kEntrySize = 128;
constexpr std::size_t kHeaderSize = 512;

bool IsSwitch(const Event& e) { return !e.sync && (e.size == kEntrySize || (e.offset == 0 && e.size == kHeaderSize)); }

// Every switch write comes right after a sync, unless nothing was written since the last one.
void ExpectSyncBeforeEverySwitch(const std::vector<Event>& log) {
  bool unsynced = false;
  int switches = 0;
  for (std::size_t i = 0; i < log.size(); ++i) {
    if (log[i].sync) {
      unsynced = false;
      continue;
    }
    if (IsSwitch(log[i])) {
      ++switches;
      EXPECT_FALSE(unsynced) << "write " << i << " at " << log[i].offset << " refers to unsynced data";
    }
    unsynced = true;
  }
  EXPECT_GT(switches, 0);
}

std::vector<std::uint8_t> Content(std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
  return bytes;
}

TEST(CompoundFileBarrier, SyncsBeforeEverySwitch) {
  const test::TempDir dir;
  struct Case {
    const char* document;
    std::size_t size;
    bool create;
  };
  // In the mini stream, across the cutoff, and a new stream.
  for (const Case& c : {Case{"lo-ja-full.doc", 700, false}, Case{"lo-ja-full.doc", 9000, false},
                        Case{"lo-long-values.doc", 300, false}, Case{"poi-no-dsi.doc", 500, true}}) {
    SCOPED_TRACE(std::string(c.document) + " " + std::to_string(c.size));
    const auto file = dir.Copy(test::DataFile(c.document));
    const test::FaultyFiles recorder(0);
    auto cf = CompoundFile::Open(file.string(), fs::OpenMode::ReadWrite);
    ASSERT_TRUE(cf);
    if (c.create) {
      ASSERT_TRUE(cf->CreateStream(kRootEntry, u"\u0005DocumentSummaryInformation", Content(c.size)));
    } else {
      const auto stream = cf->FindChild(kRootEntry, u"\u0005SummaryInformation");
      ASSERT_TRUE(stream);
      ASSERT_TRUE(cf->ReplaceStream(*stream, Content(c.size)));
    }
    ExpectSyncBeforeEverySwitch(recorder.Log());
  }
}

}  // namespace
}  // namespace kestrel::storage
