// Drives the compound-file reader and writer over arbitrary bytes: read everything reachable,
// then (when write mode accepts the file) commit replacements around the mini stream cutoff,
// patches and a new stream in one transaction, and check that the same object and a fresh
// read-only open see exactly what was committed, and that write mode accepts the result.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/MemoryFile.h"
#include "platform/storage/CompoundFile.h"

namespace {

using kestrel::storage::CompoundFile;
using kestrel::storage::EntryId;
using kestrel::storage::kRootEntry;
using kestrel::fs::OpenMode;

constexpr const char* kPath = "fuzz.doc";

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "CompoundFileFuzz: %s\n", what);
    std::abort();
  }
}

// Entry ids cannot exceed what the file could hold.
std::vector<EntryId> Streams(const CompoundFile& cf, std::size_t inputSize) {
  std::vector<EntryId> streams;
  for (EntryId id = 0; id <= inputSize / 128 + 1; ++id) {
    if (cf.IsStream(id)) streams.push_back(id);
  }
  return streams;
}

void ReadAll(const CompoundFile& cf, std::size_t inputSize) {
  for (const char16_t* name : {u"WordDocument", u"1Table", u"\x05SummaryInformation", u"data", u"Root Entry"}) {
    // A damaged file may name an entry of any type; only streams are read below.
    if (auto child = cf.FindChild(kRootEntry, name)) (void)cf.ReadStreamRange(*child, 0, 64);
  }
  for (EntryId id : Streams(cf, inputSize)) {
    auto whole = cf.ReadStream(id);
    if (!whole) continue;
    Check(whole->size() == cf.StreamSize(id), "ReadStream size");
    for (std::uint64_t offset : {std::uint64_t{0}, std::uint64_t{63}, std::uint64_t{4095}, whole->size() / 2}) {
      auto part = cf.ReadStreamRange(id, offset, 100);
      Check(part.has_value(), "ReadStreamRange fails where ReadStream worked");
      for (std::size_t i = 0; i < part->size(); ++i) Check((*part)[i] == (*whole)[offset + i], "ReadStreamRange bytes");
    }
  }
}

std::vector<std::uint8_t> Pattern(std::size_t size, std::uint8_t seed) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(seed + i * 7 + (i >> 8));
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto bytes = std::make_shared<std::vector<std::uint8_t>>(data, data + size);
  kestrel::fuzz::ScopedMemoryFiles files(bytes);

  if (auto reader = CompoundFile::Open(kPath, OpenMode::Read)) ReadAll(**reader, size);

  std::vector<std::pair<EntryId, std::vector<std::uint8_t>>> expected;
  std::u16string createdName = u"Fuzz\x00e9Stream";
  std::optional<EntryId> created;
  {
    auto opened = CompoundFile::Open(kPath, OpenMode::ReadWrite);
    if (!opened) return 0;
    CompoundFile* writer = opened->get();
    std::vector<EntryId> streams = Streams(*writer, size);
    const std::size_t sizes[] = {0, 1, 64, 4095, 4096, 4097, 9000};
    std::uint8_t seed = size > 0 ? data[size - 1] : 0;
    kestrel::storage::StreamEdits edits;
    for (std::size_t i = 0; i < streams.size() && i < 4; ++i) {
      const EntryId id = streams[i];
      std::vector<std::uint8_t> content;
      if (i == 3) {
        auto old = writer->ReadStream(id);
        if (!old) continue;
        content = std::move(*old);  // patched only
      } else {
        content = Pattern(sizes[(seed + i) % std::size(sizes)], static_cast<std::uint8_t>(seed + i));
        edits.Replace(id, content);
      }
      if (content.size() >= 18) {
        const auto block = Pattern(18, 0xA5);
        const std::size_t offset = (content.size() - 18) / (i + 1);
        edits.Patch(id, offset, block);
        std::copy(block.begin(), block.end(), content.begin() + static_cast<std::ptrdiff_t>(offset));
      }
      expected.emplace_back(id, std::move(content));
    }
    auto content = Pattern(sizes[seed % std::size(sizes)], 3);
    const bool create = !writer->FindChild(kRootEntry, createdName);
    if (create) edits.Create(kRootEntry, createdName, content);
    const kestrel::Outcome outcome = writer->Commit(edits);
    Check(outcome.ok(), "Commit on a file write mode accepted");
    if (create) {
      created = writer->FindChild(kRootEntry, createdName);
      Check(created.has_value(), "created stream is found by the same object");
      expected.emplace_back(*created, std::move(content));
    }
    for (const auto& [id, committed] : expected) {
      auto back = writer->ReadStream(id);
      Check(back && *back == committed, "read back in the same object");
    }
  }

  auto reopened = CompoundFile::Open(kPath, OpenMode::Read);
  Check(reopened.ok(), "re-open after writing");
  const CompoundFile* reader = reopened->get();
  for (const auto& [id, content] : expected) {
    auto back = reader->ReadStream(id);
    Check(back && *back == content, "replaced content reads back");
  }
  if (created) Check(reader->FindChild(kRootEntry, createdName) == created, "created stream is found");
  Check(CompoundFile::Open(kPath, OpenMode::ReadWrite).ok(), "written file passes the write-mode checks");
  return 0;
}
