// Reading a package's central directory, its ZIP64 records included, and finding where each entry's
// bytes lie. Every length read from the file is checked by a named check before it is used.
// Internal to the ZIP component: Package reads through it, and checks with it both the package
// it is about to rewrite and the new file before the new file takes the package's place.
// Failures are answers: nothing here throws except std::bad_alloc.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ooxml/zip/PackageZip.h"
#include "platform/Outcome.h"

namespace kestrel::fs {
class RandomAccessFile;
}

namespace kestrel::zip {

// The end records as read, so that a rewrite can carry them over.
struct EndRecords {
  std::uint64_t directoryOffset = 0;
  std::uint64_t directorySize = 0;
  // The classic record's own fields: a marker there stays a marker in the rewrite.
  std::uint16_t classicCount = 0;
  std::uint32_t classicSize = 0;
  std::uint32_t classicOffset = 0;
  std::vector<std::uint8_t> zip64Record;  // the ZIP64 end record as read; empty without one
  std::vector<std::uint8_t> comment;
};

// A central-directory record exactly as read; a rewrite changes only its local header offset.
struct CentralRecord {
  std::vector<std::uint8_t> bytes;
  std::size_t offsetAt = 42;  // where the local header offset lives in `bytes`
  bool offsetIs64 = false;    // in the ZIP64 extra field rather than the fixed part
};

struct ZipDirectory {
  std::vector<ZipHeaderInfo> entries;
  std::vector<CentralRecord> records;  // one per entry; empty when rebuilt
  EndRecords end;
  bool rebuilt = false;  // from the local headers: some facts are guesses, so it is never written
};

// Exactly n bytes at offset; none for n = 0, whose buffer may be null. Io with the system's words.
Outcome ReadExactly(fs::RandomAccessFile& file, std::uint64_t offset, void* buffer, std::size_t n);

// Reads the directory; a damaged one is rebuilt from the local headers (ZipDirectory::rebuilt),
// and so is a missing end record under AssumeDamaged. NotADocument when there is no end record
// (unless AssumeDamaged) or no local header to rebuild from; Unsupported for more
// entries or directory bytes than `limits` allow; Io when the file cannot be read.
Result<ZipDirectory> ReadZipDirectory(fs::RandomAccessFile& file, IncompleteZipMode mode,
                                      const DirectoryLimits& limits = {});

// Where one entry's bytes lie in the file: local header, data, data descriptor.
struct EntrySpan {
  std::uint64_t start = 0;
  std::uint64_t dataOffset = 0;
  std::uint64_t end = 0;  // one past the data descriptor, or past the data without one
};

// One span per entry of a directory read from the file (not rebuilt), after checking that every
// entry's local header is there and names it, that a data descriptor agrees with its record, and
// that no entry's bytes overlap another's or run into the central directory. Damaged naming the
// entries, or Io when the file cannot be read.
Result<std::vector<EntrySpan>> LocateEntries(fs::RandomAccessFile& file, const ZipDirectory& directory);

// Fills fileName and pathName from storedName ("_rels/.rels" -> "_rels\", ".rels").
void SplitName(ZipHeaderInfo& info);

// "entry 12 (word/document.xml)": how messages name an entry, counted from 0 in directory order.
std::string EntryLabel(std::size_t index, const ZipHeaderInfo& entry);

}  // namespace kestrel::zip
