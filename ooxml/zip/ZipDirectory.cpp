// The directory is read in the order the data points: the end record (searched backwards), the
// ZIP64 locator and end record just before it, then the central records from the offset they give.
// A directory that does not hold together is rebuilt by walking the local headers from the first
// one found; entries whose sizes sit in a data descriptor after their data are measured by finding
// that descriptor. Each bounds check on the file's bytes is one named boolean.
#include "ooxml/zip/ZipDirectory.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <numeric>
#include <optional>

#include "ooxml/zip/ZipFormat.h"
#include "platform/fs/FileIo.h"

namespace kestrel::zip {

using namespace format;

namespace {

constexpr std::size_t kScanChunk = std::size_t{1} << 20;
Outcome NotAZip() { return Outcome::Failure(FailureKind::NotADocument, "Not a valid zip file!"); }

Outcome TooManyEntries(const DirectoryLimits& limits) {
  return Outcome::Failure(FailureKind::Unsupported, "The package has more than " + std::to_string(limits.entries) +
                                                        " entries, more than are read here");
}

Outcome DirectoryTooLarge(const DirectoryLimits& limits) {
  return Outcome::Failure(FailureKind::Unsupported, "The package's directory is larger than " +
                                                        std::to_string(limits.bytes) + " bytes, more than is read here");
}

Outcome Damaged(std::string message) { return Outcome::Failure(FailureKind::Damaged, std::move(message)); }

struct FoundEnd {
  std::uint64_t offset = 0;  // of the classic record itself
  std::uint64_t entryCount = 0;
  bool hasZip64 = false;
  EndRecords records;
};

// The ZIP64 end record the locator before the classic one points at; false when it is damaged.
Result<bool> ReadZip64End(fs::RandomAccessFile& file, FoundEnd& end) {
  std::uint8_t locator[kZip64LocatorSize];
  if (Outcome read = ReadExactly(file, end.offset - kZip64LocatorSize, locator, sizeof locator); !read) return read;
  const std::uint64_t recordOffset = Get64(locator + 8);
  const std::uint64_t locatorOffset = end.offset - kZip64LocatorSize;
  const bool recordPastLocator = !FitsIn(recordOffset, kZip64EndSize, locatorOffset);
  if (recordPastLocator) return false;
  std::uint8_t fixed[kZip64EndSize];
  if (Outcome read = ReadExactly(file, recordOffset, fixed, sizeof fixed); !read) return read;
  if (Get32(fixed) != kZip64EndSignature) return false;
  const std::uint64_t recordLength = Get64(fixed + 4) + 12;  // the size field leaves out itself and the signature
  const bool lengthWrong = recordLength < kZip64EndSize || recordLength != locatorOffset - recordOffset;
  if (lengthWrong) return false;
  end.records.zip64Record.resize(recordLength);
  if (Outcome read = ReadExactly(file, recordOffset, end.records.zip64Record.data(), recordLength); !read) return read;
  end.entryCount = Get64(fixed + 32);
  end.records.directorySize = Get64(fixed + 40);
  end.records.directoryOffset = Get64(fixed + 48);
  end.hasZip64 = true;
  return true;
}

// Searches backwards over the last 22 + 65,535 bytes; the first signature found decides.
// nullopt when there is no usable end record; `damaged` when the ZIP64 records it points to are.
Result<std::optional<FoundEnd>> FindEndRecord(fs::RandomAccessFile& file, bool* damaged) {
  const std::uint64_t size = file.Size();
  const std::optional<FoundEnd> none;
  if (size < kEndSize) return none;
  const std::uint64_t tailLength = std::min<std::uint64_t>(size, kEndSize + kMaxComment);
  std::vector<std::uint8_t> tail(tailLength);
  if (Outcome read = ReadExactly(file, size - tailLength, tail.data(), tail.size()); !read) return read;
  for (std::uint64_t i = tailLength - kEndSize + 1; i-- > 0;) {
    const std::uint8_t* p = tail.data() + i;
    if (Get32(p) != kEndSignature) continue;
    const std::uint16_t thisDisk = Get16(p + 4);
    const std::uint16_t directoryDisk = Get16(p + 6);
    const std::uint16_t commentLength = Get16(p + 20);
    const bool diskNumberTooLarge = thisDisk > 999 || directoryDisk > 999;
    if (diskNumberTooLarge) return none;
    const bool directoryOnLaterDisk = thisDisk < directoryDisk;
    if (directoryOnLaterDisk) return none;
    const bool commentPastEnd = !FitsIn(i + kEndSize, commentLength, tailLength);
    if (commentPastEnd) return none;
    FoundEnd end;
    end.offset = size - tailLength + i;
    end.records.classicCount = Get16(p + 10);
    end.records.classicSize = Get32(p + 12);
    end.records.classicOffset = Get32(p + 16);
    end.records.comment.assign(p + kEndSize, p + kEndSize + commentLength);
    end.entryCount = end.records.classicCount;
    end.records.directorySize = end.records.classicSize;
    end.records.directoryOffset = end.records.classicOffset;
    std::uint8_t signature[4] = {};
    const bool roomForLocator = end.offset >= kZip64LocatorSize;
    if (roomForLocator) {
      if (Outcome read = ReadExactly(file, end.offset - kZip64LocatorSize, signature, 4); !read) return read;
    }
    if (Get32(signature) == kZip64LocatorSignature) {
      const Result<bool> zip64 = ReadZip64End(file, end);
      if (!zip64) return zip64.outcome();
      if (!*zip64) *damaged = true;
    }
    return std::optional<FoundEnd>(std::move(end));
  }
  return none;
}

// Takes the sizes and offset a record's ZIP64 extra field holds for its fields at the marker;
// false when a marked field has no value there.
bool ApplyZip64Extra(ZipHeaderInfo& info, CentralRecord& record, std::size_t extraStart) {
  const bool sizeMarked = info.uncompressedSize == kMarker32;
  const bool compressedMarked = info.compressedSize == kMarker32;
  const bool offsetMarked = info.localHeaderOffset == kMarker32;
  if (!sizeMarked && !compressedMarked && !offsetMarked) return true;
  const std::vector<std::uint8_t>& extra = info.centralExtra;
  for (std::size_t at = 0; at + 4 <= extra.size();) {
    const std::uint16_t id = Get16(extra.data() + at);
    const std::size_t length = Get16(extra.data() + at + 2);
    const bool blockPastExtra = !FitsIn(at + 4, length, extra.size());
    if (blockPastExtra) return false;
    if (id != kZip64ExtraId) {
      at += 4 + length;
      continue;
    }
    std::size_t field = at + 4;
    const std::size_t blockEnd = field + length;
    auto take = [&](std::uint64_t& value, bool marked) {
      if (!marked) return true;
      if (field + 8 > blockEnd) return false;
      value = Get64(extra.data() + field);
      field += 8;
      return true;
    };
    if (!take(info.uncompressedSize, sizeMarked) || !take(info.compressedSize, compressedMarked)) return false;
    if (offsetMarked) {
      record.offsetAt = extraStart + field;
      record.offsetIs64 = true;
    }
    return take(info.localHeaderOffset, offsetMarked);
  }
  return false;
}

// Reads the central records into *directory; false when the directory is damaged, with the
// records read before the damage left there.
Result<bool> ReadCentralDirectory(fs::RandomAccessFile& file, const FoundEnd& end, const DirectoryLimits& limits,
                                  ZipDirectory* directory) {
  const std::uint64_t fileSize = file.Size();
  const std::uint64_t directoryOffset = end.records.directoryOffset;
  const std::uint64_t directorySize = end.records.directorySize;
  const std::uint64_t directoryLimit = end.hasZip64 ? end.offset - kZip64LocatorSize - end.records.zip64Record.size() : end.offset;
  const bool directoryPastEnd = !FitsIn(directoryOffset, directorySize, directoryLimit);
  if (directoryPastEnd) return false;
  const bool countDoesNotFit = end.entryCount > directorySize / kCentralSize;
  if (countDoesNotFit) return false;
  if (directorySize > limits.bytes) return DirectoryTooLarge(limits);
  if (end.entryCount > limits.entries) return TooManyEntries(limits);
  const std::uint64_t directoryEnd = directoryOffset + directorySize;
  // The records are parsed from one read of the whole directory. Every copy below lies inside it,
  // as the named checks before it make sure.
  std::vector<std::uint8_t> whole(static_cast<std::size_t>(directorySize));
  if (Outcome read = ReadExactly(file, directoryOffset, whole.data(), whole.size()); !read) return read;
  const auto copyOut = [&](std::uint64_t at, void* buffer, std::size_t n) {
    if (n > 0) std::memcpy(buffer, whole.data() + (at - directoryOffset), n);
  };
  std::uint64_t pos = directoryOffset;
  // Without ZIP64 records a writer may have let the 16-bit count wrap: records that go on filling
  // the directory are read too, and the count must then agree modulo 65,536.
  auto moreRecords = [&](std::uint64_t read) -> Result<bool> {
    if (read < end.entryCount) return true;
    if (end.hasZip64 || !FitsIn(pos, 4, directoryEnd)) return false;
    std::uint8_t signature[4];
    copyOut(pos, signature, 4);
    if (Get32(signature) != kCentralSignature) return false;
    if (read >= limits.entries) return TooManyEntries(limits);
    return true;
  };
  // The position only moves forwards and stays inside the directory, so no directory can loop.
  for (std::uint64_t i = 0;; ++i) {
    const Result<bool> more = moreRecords(i);
    if (!more) return more.outcome();
    if (!*more) break;
    const bool recordPastEnd = !FitsIn(pos, kCentralSize, directoryEnd);
    if (recordPastEnd) return false;
    CentralRecord record;
    record.bytes.resize(kCentralSize);
    copyOut(pos, record.bytes.data(), kCentralSize);
    const std::uint8_t* fixed = record.bytes.data();
    if (Get32(fixed) != kCentralSignature) return false;
    const std::uint16_t nameLength = Get16(fixed + 28);
    const std::uint16_t extraLength = Get16(fixed + 30);
    const std::uint16_t commentLength = Get16(fixed + 32);
    const std::uint64_t variableLength = std::uint64_t{nameLength} + extraLength + commentLength;
    const bool variablePastEnd = !FitsIn(pos + kCentralSize, variableLength, directoryEnd);
    if (variablePastEnd) return false;
    record.bytes.resize(kCentralSize + variableLength);
    copyOut(pos + kCentralSize, record.bytes.data() + kCentralSize, variableLength);
    fixed = record.bytes.data();
    const std::uint8_t* variable = fixed + kCentralSize;

    ZipHeaderInfo info;
    info.versionMadeBy = Get16(fixed + 4);
    info.versionNeeded = Get16(fixed + 6);
    info.flags = Get16(fixed + 8);
    info.method = Get16(fixed + 10);
    info.modTime = Get16(fixed + 12);
    info.modDate = Get16(fixed + 14);
    info.crc32 = Get32(fixed + kCentralCrc);
    info.compressedSize = Get32(fixed + kCentralCompressedSize);
    info.uncompressedSize = Get32(fixed + kCentralUncompressedSize);
    info.diskNumberStart = Get16(fixed + kCentralDiskStart);
    info.internalAttributes = Get16(fixed + 36);
    info.externalAttributes = Get32(fixed + 38);
    info.localHeaderOffset = Get32(fixed + kCentralLocalOffset);
    info.storedName.assign(variable, variable + nameLength);
    info.centralExtra.assign(variable + nameLength, variable + nameLength + extraLength);
    info.comment.assign(variable + nameLength + extraLength, variable + variableLength);
    record.offsetAt = kCentralLocalOffset;
    const bool zip64FieldMissing = !ApplyZip64Extra(info, record, kCentralSize + nameLength);
    if (zip64FieldMissing) return false;

    const bool nameHasNul = info.storedName.find('\0') != std::string::npos;
    if (nameHasNul) return false;
    const bool localHeaderOutsideFile = !FitsIn(info.localHeaderOffset, kLocalSize, fileSize);
    if (localHeaderOutsideFile) return false;
    const bool dataLargerThanFile = info.compressedSize > fileSize;
    if (dataLargerThanFile) return false;
    SplitName(info);
    directory->entries.push_back(std::move(info));
    directory->records.push_back(std::move(record));
    pos += kCentralSize + variableLength;
  }
  const std::uint64_t read = directory->entries.size();
  const bool countDisagrees = end.hasZip64 ? read != end.entryCount : (read & 0xffff) != end.entryCount;
  return !countDisagrees;
}

// Offset of the first local-header signature, read in chunks so a large file is not loaded.
Result<std::optional<std::uint64_t>> FindFirstLocalHeader(fs::RandomAccessFile& file) {
  const std::uint64_t size = file.Size();
  std::vector<std::uint8_t> chunk;
  for (std::uint64_t start = 0; start + 4 <= size; start += kScanChunk) {
    // 3 bytes of overlap so a signature across two chunks is found.
    const std::uint64_t length = std::min<std::uint64_t>(kScanChunk + 3, size - start);
    chunk.resize(length);
    if (Outcome read = ReadExactly(file, start, chunk.data(), chunk.size()); !read) return read;
    for (std::uint64_t i = 0; i + 4 <= length; ++i) {
      if (Get32(chunk.data() + i) == kLocalSignature) return std::optional<std::uint64_t>(start + i);
    }
  }
  return std::optional<std::uint64_t>();
}

// The data descriptor of an entry whose local header left its sizes out: the first signed
// descriptor after the data's start whose compressed size is its own distance from that start.
// Fills crc and sizes and returns the offset just past it; nullopt when none is found.
Result<std::optional<std::uint64_t>> FindDataDescriptor(fs::RandomAccessFile& file, std::uint64_t dataOffset,
                                                        ZipHeaderInfo& info) {
  const std::uint64_t size = file.Size();
  std::vector<std::uint8_t> chunk;
  for (std::uint64_t start = dataOffset; start < size; start += kScanChunk) {
    // 23 bytes of overlap so a whole 24-byte descriptor is seen in one chunk.
    const std::uint64_t length = std::min<std::uint64_t>(kScanChunk + 23, size - start);
    chunk.resize(length);
    if (Outcome read = ReadExactly(file, start, chunk.data(), chunk.size()); !read) return read;
    for (std::uint64_t i = 0; i + 16 <= length; ++i) {
      const std::uint8_t* p = chunk.data() + i;
      if (Get32(p) != kDescriptorSignature) continue;
      const std::uint64_t distance = start + i - dataOffset;
      if (Get32(p + 8) == distance) {
        info.crc32 = Get32(p + 4);
        info.compressedSize = distance;
        info.uncompressedSize = Get32(p + 12);
        return std::optional<std::uint64_t>(start + i + 16);
      }
      if (i + 24 <= length && Get64(p + 8) == distance) {
        info.crc32 = Get32(p + 4);
        info.compressedSize = distance;
        info.uncompressedSize = Get64(p + 16);
        return std::optional<std::uint64_t>(start + i + 24);
      }
    }
  }
  return std::optional<std::uint64_t>();
}

// Length of the data descriptor at `at` that agrees with the entry's CRC and sizes: signed or not,
// with 32- or 64-bit sizes. nullopt when none of the four layouts agrees.
Result<std::optional<std::uint64_t>> DescriptorLength(fs::RandomAccessFile& file, std::uint64_t at,
                                                      const ZipHeaderInfo& info) {
  std::uint8_t bytes[24] = {};
  const std::uint64_t available = std::min<std::uint64_t>(sizeof bytes, file.Size() - std::min(at, file.Size()));
  if (Outcome read = ReadExactly(file, at, bytes, static_cast<std::size_t>(available)); !read) return read;
  for (std::uint64_t skip : {4u, 0u}) {
    const bool signed_ = skip == 4 && Get32(bytes) == kDescriptorSignature;
    if (skip == 4 && !signed_) continue;
    const std::uint8_t* p = bytes + skip;
    const bool crcAgrees = Get32(p) == info.crc32;
    const bool narrowAgrees = skip + 12 <= available && Get32(p + 4) == info.compressedSize && Get32(p + 8) == info.uncompressedSize;
    const bool wideAgrees = skip + 20 <= available && Get64(p + 4) == info.compressedSize && Get64(p + 12) == info.uncompressedSize;
    // A wide descriptor's first size can pass for a narrow one only when both sizes fit 32 bits.
    const bool wideFirst = info.compressedSize > kMarker32 - 1 || info.uncompressedSize > kMarker32 - 1;
    if (crcAgrees && wideAgrees && (wideFirst || !narrowAgrees)) return std::optional<std::uint64_t>(skip + 20);
    if (crcAgrees && narrowAgrees) return std::optional<std::uint64_t>(skip + 12);
  }
  return std::optional<std::uint64_t>();
}

// Walks the local headers from the first one found; `known` are central records read before
// the damage, whose fields (sizes above all) are taken for the entries they describe.
Result<std::vector<ZipHeaderInfo>> RebuildFromLocalHeaders(fs::RandomAccessFile& file,
                                                           const std::vector<ZipHeaderInfo>& known,
                                                           const DirectoryLimits& limits) {
  const Result<std::optional<std::uint64_t>> first = FindFirstLocalHeader(file);
  if (!first) return first.outcome();
  if (!*first) return NotAZip();
  const std::uint64_t fileSize = file.Size();
  std::map<std::uint64_t, const ZipHeaderInfo*> knownByOffset;
  for (const ZipHeaderInfo& k : known) knownByOffset.emplace(k.localHeaderOffset, &k);
  std::vector<ZipHeaderInfo> entries;
  std::uint64_t nameBytes = 0;
  std::uint64_t pos = **first;
  // Each step moves forwards by at least a header, so the walk ends.
  for (;;) {
    const bool headerPastEnd = !FitsIn(pos, kLocalSize, fileSize);
    if (headerPastEnd) break;
    std::uint8_t fixed[kLocalSize];
    if (Outcome read = ReadExactly(file, pos, fixed, sizeof fixed); !read) return read;
    if (Get32(fixed) != kLocalSignature) break;
    const std::uint16_t nameLength = Get16(fixed + 26);
    const std::uint16_t extraLength = Get16(fixed + 28);
    const bool namePastEnd = !FitsIn(pos + kLocalSize, std::uint64_t{nameLength} + extraLength, fileSize);
    if (namePastEnd) break;
    const std::uint64_t dataOffset = pos + kLocalSize + nameLength + extraLength;
    if (entries.size() >= limits.entries) return TooManyEntries(limits);
    nameBytes += kCentralSize + nameLength;
    if (nameBytes > limits.bytes) return DirectoryTooLarge(limits);

    ZipHeaderInfo info;
    auto match = knownByOffset.find(pos);
    const bool isKnown = match != knownByOffset.end();
    std::optional<std::uint64_t> next;
    if (isKnown) {
      info = *match->second;
    } else {
      info.versionMadeBy = 20;
      info.versionNeeded = Get16(fixed + 4);
      info.flags = Get16(fixed + 6);
      info.method = Get16(fixed + 8);
      info.modTime = Get16(fixed + 10);
      info.modDate = Get16(fixed + 12);
      info.crc32 = Get32(fixed + 14);
      info.compressedSize = Get32(fixed + 18);
      info.uncompressedSize = Get32(fixed + 22);
      info.localHeaderOffset = pos;
      info.storedName.resize(nameLength);
      if (Outcome read = ReadExactly(file, pos + kLocalSize, info.storedName.data(), nameLength); !read) return read;
      const bool nameHasNul = info.storedName.find('\0') != std::string::npos;
      if (nameHasNul) break;
      SplitName(info);
      // The sizes are in the descriptor after the data; its place is the only measure of the data.
      if (info.flags & kDataDescriptorFlag) {
        const Result<std::optional<std::uint64_t>> found = FindDataDescriptor(file, dataOffset, info);
        if (!found) return found.outcome();
        if (!*found) break;
        next = *found;
      }
    }
    const bool dataPastEnd = !FitsIn(dataOffset, info.compressedSize, fileSize);
    if (dataPastEnd) break;
    if (!next) {
      next = dataOffset + info.compressedSize;
      if (info.flags & kDataDescriptorFlag) {
        const Result<std::optional<std::uint64_t>> descriptor = DescriptorLength(file, *next, info);
        if (!descriptor) return descriptor.outcome();
        *next += descriptor->value_or(16);
      }
    }
    entries.push_back(std::move(info));
    pos = *next;
  }
  if (entries.empty()) return NotAZip();
  return entries;
}

}  // namespace

Outcome ReadExactly(fs::RandomAccessFile& file, std::uint64_t offset, void* buffer, std::size_t n) {
  if (n == 0) return Outcome::Success();
  return file.ReadAt(offset, buffer, n).Within("the zip file");
}

void SplitName(ZipHeaderInfo& info) {
  std::string name = info.storedName;
  std::replace(name.begin(), name.end(), '/', '\\');
  std::size_t slash = name.rfind('\\');
  info.pathName = slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
  info.fileName = slash == std::string::npos ? name : name.substr(slash + 1);
}

std::string EntryLabel(std::size_t index, const ZipHeaderInfo& entry) {
  return "entry " + std::to_string(index) + " (" + entry.storedName + ")";
}

Result<ZipDirectory> ReadZipDirectory(fs::RandomAccessFile& file, IncompleteZipMode mode,
                                      const DirectoryLimits& limits) {
  ZipDirectory directory;
  if (file.Size() == 0) return directory;  // an empty file is an archive without entries
  // From the local headers, taking what the records read before the damage say.
  const auto rebuild = [&file, &directory, &limits]() -> Result<ZipDirectory> {
    Result<std::vector<ZipHeaderInfo>> entries = RebuildFromLocalHeaders(file, directory.entries, limits);
    if (!entries) return entries.outcome();
    directory.entries = std::move(*entries);
    directory.records.clear();
    directory.rebuilt = true;
    return std::move(directory);
  };
  bool zip64Damaged = false;
  const Result<std::optional<FoundEnd>> end = FindEndRecord(file, &zip64Damaged);
  if (!end) return end.outcome();
  if (!*end) {
    if (mode != IncompleteZipMode::AssumeDamaged) return NotAZip();
    return rebuild();
  }
  directory.end = (*end)->records;
  if (zip64Damaged) return rebuild();
  const Result<bool> complete = ReadCentralDirectory(file, **end, limits, &directory);
  if (!complete) return complete.outcome();
  if (!*complete) return rebuild();
  return directory;
}

Result<std::vector<EntrySpan>> LocateEntries(fs::RandomAccessFile& file, const ZipDirectory& directory) {
  const std::uint64_t fileSize = file.Size();
  const std::vector<ZipHeaderInfo>& entries = directory.entries;
  std::vector<EntrySpan> spans(entries.size());
  std::vector<std::uint8_t> header;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const ZipHeaderInfo& entry = entries[i];
    const std::uint64_t start = entry.localHeaderOffset;
    const bool headerPastEnd = !FitsIn(start, kLocalSize, fileSize);
    if (headerPastEnd) return Damaged(EntryLabel(i, entry) + ": its local header lies outside the file");
    header.resize(kLocalSize + entry.storedName.size());
    const bool namePastEnd = !FitsIn(start, header.size(), fileSize);
    if (namePastEnd) return Damaged(EntryLabel(i, entry) + ": its local header lies outside the file");
    if (Outcome read = ReadExactly(file, start, header.data(), header.size()); !read) return read;
    const bool headerMissing = Get32(header.data()) != kLocalSignature;
    if (headerMissing) return Damaged(EntryLabel(i, entry) + ": no local header where the directory points");
    const std::uint16_t nameLength = Get16(header.data() + 26);
    const std::uint16_t extraLength = Get16(header.data() + 28);
    const bool otherName = nameLength != entry.storedName.size() ||
                           !std::equal(entry.storedName.begin(), entry.storedName.end(), header.begin() + kLocalSize);
    if (otherName) return Damaged(EntryLabel(i, entry) + ": its local header names another entry");
    EntrySpan& span = spans[i];
    span.start = start;
    span.dataOffset = start + kLocalSize + nameLength + extraLength;
    const bool dataPastEnd = !FitsIn(span.dataOffset, entry.compressedSize, fileSize);
    if (dataPastEnd) return Damaged(EntryLabel(i, entry) + ": its data runs past the end of the file");
    span.end = span.dataOffset + entry.compressedSize;
    if (entry.flags & kDataDescriptorFlag) {
      const Result<std::optional<std::uint64_t>> descriptor = DescriptorLength(file, span.end, entry);
      if (!descriptor) return descriptor.outcome();
      if (!*descriptor) return Damaged(EntryLabel(i, entry) + ": its data descriptor does not match its directory record");
      span.end += **descriptor;
    }
  }
  // In file order, each entry must end before the next begins and the last before the directory.
  std::vector<std::size_t> order(entries.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return spans[a].start < spans[b].start; });
  for (std::size_t k = 0; k + 1 < order.size(); ++k) {
    const std::size_t here = order[k];
    const std::size_t next = order[k + 1];
    const bool overlaps = spans[here].end > spans[next].start;
    if (overlaps) {
      return Damaged(EntryLabel(std::max(here, next), entries[std::max(here, next)]) + " overlaps " +
                     EntryLabel(std::min(here, next), entries[std::min(here, next)]));
    }
  }
  if (!order.empty()) {
    const std::size_t last = order.back();
    const bool runsIntoDirectory = spans[last].end > directory.end.directoryOffset;
    if (runsIntoDirectory) return Damaged(EntryLabel(last, entries[last]) + " runs into the central directory");
  }
  return spans;
}

}  // namespace kestrel::zip
