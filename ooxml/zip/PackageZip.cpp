#include "ooxml/zip/PackageZip.h"

#include <algorithm>
#include <ctime>
#include <map>
#include <memory>
#include <utility>


#include "ooxml/zip/Crc32.h"
#include "ooxml/zip/Deflate.h"
#include "ooxml/zip/Inflate.h"
#include "ooxml/zip/ZipDirectory.h"
#include "ooxml/zip/ZipFormat.h"
#include "platform/fs/FileIo.h"
#include "platform/fs/ReplacementFile.h"

namespace kestrel::zip {

namespace {

using namespace format;

std::string LowerAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// Blanks as a trim removes them: every control character and the space.
bool IsBlank(const std::string& text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) <= ' '; });
}

std::string FullName(const ZipHeaderInfo& info) { return info.pathName + info.fileName; }

// What names are compared by: ASCII case ignored, either separator.
std::string MatchKey(std::string name) {
  std::replace(name.begin(), name.end(), '/', '\\');
  return LowerAscii(std::move(name));
}

std::unique_ptr<fs::RandomAccessFile> OpenPackage(const std::string& path, fs::OpenMode mode) {
  fs::OpenResult opened = fs::OpenFile(path, mode);
  switch (opened.error) {
    case fs::OpenFailure::None:
      return std::move(opened.file);
    case fs::OpenFailure::NotFound:
      throw ReadError("Cannot open " + path + ": no such file");
    case fs::OpenFailure::Locked:
      throw ReadError("Cannot open " + path + ": another program is using it");
    case fs::OpenFailure::ReadOnly:
      throw ReadError("Cannot open " + path + ": the file is read-only");
    case fs::OpenFailure::Other:
      break;
  }
  throw ReadError("Cannot open " + path);
}

// Empty reads are skipped: an empty vector's buffer may be null.
void ReadExactly(fs::RandomAccessFile& file, std::uint64_t offset, void* buffer, std::size_t n) {
  if (n == 0) return;
  if (!file.ReadAt(offset, buffer, n)) throw ReadError("Cannot read the zip file");
}

// Checks an entry's local header (there, naming this entry, its data inside the file) and returns
// where its data starts. A local header naming another entry means the directory describes some
// other file than the one opened.
std::uint64_t LocateData(fs::RandomAccessFile& file, const ZipHeaderInfo& info) {
  const std::uint64_t fileSize = file.Size();
  std::vector<std::uint8_t> header(kLocalSize + info.storedName.size());
  const bool headerPastEnd = !FitsIn(info.localHeaderOffset, header.size(), fileSize);
  if (headerPastEnd) throw ReadError("Local header of " + info.storedName + " lies outside the file");
  ReadExactly(file, info.localHeaderOffset, header.data(), header.size());
  if (Get32(header.data()) != kLocalSignature) throw ReadError("Bad local header for " + info.storedName);
  const std::uint16_t nameLength = Get16(header.data() + 26);
  const std::uint16_t extraLength = Get16(header.data() + 28);
  const bool otherName = nameLength != info.storedName.size() ||
                         !std::equal(info.storedName.begin(), info.storedName.end(), header.begin() + kLocalSize);
  if (otherName) throw ReadError("The local header of " + info.storedName + " names another entry");
  const std::uint64_t dataOffset = info.localHeaderOffset + kLocalSize + nameLength + extraLength;
  const bool dataPastEnd = !FitsIn(dataOffset, info.compressedSize, fileSize);
  if (dataPastEnd) throw ReadError("Data of " + info.storedName + " lies outside the file");
  return dataOffset;
}

// Copies go over in pieces of this size, each handed to the disk while the next is copied.
constexpr std::uint64_t kCopyPiece = std::uint64_t{32} << 20;

// Appends to the new package, counting where it is; any failed write ends the rewrite.
class ArchiveWriter {
 public:
  ArchiveWriter(fs::RandomAccessFile& file, fs::RandomAccessFile& source, const fs::ReplacementFile& disk)
      : file_(file), source_(source), disk_(disk) {}
  std::uint64_t Position() const { return position_; }
  void Write(const void* data, std::size_t n) {
    if (const Outcome written = file_.WriteAt(position_, data, n); !written) {
      throw WriteError("cannot write the new file: " + written.message());
    }
    position_ += n;
  }
  void Write(const std::vector<std::uint8_t>& bytes) { Write(bytes.data(), bytes.size()); }
  // n bytes of the old package from `from` on, inside the kernel where it can.
  // The final sync then waits only for the last pieces: the disk writes while we copy.
  void Copy(std::uint64_t from, std::uint64_t n) {
    while (n > 0) {
      const std::uint64_t piece = std::min(n, kCopyPiece);
      if (const Outcome copied = file_.CopyFrom(source_, from, position_, piece); !copied) {
        throw WriteError("cannot copy bytes " + std::to_string(from) + " to " + std::to_string(from + piece) +
                         " into the new file: " + copied.message());
      }
      disk_.StartWriteback(position_, piece);
      position_ += piece;
      from += piece;
      n -= piece;
    }
  }

 private:
  fs::RandomAccessFile& file_;
  fs::RandomAccessFile& source_;
  const fs::ReplacementFile& disk_;
  std::uint64_t position_ = 0;
};

// The fields a local header and a directory record share, from "version needed" to the name's
// length, in the order both lay them out. Only for new entries, whose sizes fit 32 bits.
void PutSharedFields(std::vector<std::uint8_t>& out, const ZipHeaderInfo& info) {
  Append16(out, info.versionNeeded);
  Append16(out, info.flags);
  Append16(out, info.method);
  Append16(out, info.modTime);
  Append16(out, info.modDate);
  Append32(out, info.crc32);
  Append32(out, static_cast<std::uint32_t>(info.compressedSize));
  Append32(out, static_cast<std::uint32_t>(info.uncompressedSize));
  Append16(out, static_cast<std::uint16_t>(info.storedName.size()));
}

std::vector<std::uint8_t> LocalHeader(const ZipHeaderInfo& info) {
  std::vector<std::uint8_t> out;
  Append32(out, kLocalSignature);
  PutSharedFields(out, info);
  Append16(out, 0);  // no extra field
  PutBytes(out, info.storedName.data(), info.storedName.size());
  return out;
}

void AppendCentralRecord(std::vector<std::uint8_t>& out, const ZipHeaderInfo& info) {
  Append32(out, kCentralSignature);
  Append16(out, info.versionMadeBy);
  PutSharedFields(out, info);
  Append16(out, static_cast<std::uint16_t>(info.centralExtra.size()));
  Append16(out, static_cast<std::uint16_t>(info.comment.size()));
  Append16(out, info.diskNumberStart);
  Append16(out, info.internalAttributes);
  Append32(out, info.externalAttributes);
  Append32(out, static_cast<std::uint32_t>(info.localHeaderOffset));
  PutBytes(out, info.storedName.data(), info.storedName.size());
  PutBytes(out, info.centralExtra.data(), info.centralExtra.size());
  PutBytes(out, info.comment.data(), info.comment.size());
}

// An old record moved to `offset`; it keeps every other byte.
void AppendMovedRecord(std::vector<std::uint8_t>& out, const CentralRecord& record, std::uint64_t offset,
                       const std::string& label) {
  const std::size_t at = out.size();
  out.insert(out.end(), record.bytes.begin(), record.bytes.end());
  if (record.offsetIs64) {
    Put64(out.data() + at + record.offsetAt, offset);
    return;
  }
  const bool offsetNeedsZip64 = offset >= kMarker32;
  if (offsetNeedsZip64) throw WriteError(label + " would start past 4 GiB, and its record has no ZIP64 field to say so");
  Put32(out.data() + at + record.offsetAt, static_cast<std::uint32_t>(offset));
}

// The end records after a directory of `count` records, `size` bytes at `offset`. A package that had
// ZIP64 end records keeps them (made-by version and extensible data as they were), one whose
// numbers no longer fit the classic record gets them; a marker in the old classic record stays.
void AppendEndRecords(std::vector<std::uint8_t>& out, const EndRecords& old, std::uint64_t count, std::uint64_t size,
                      std::uint64_t offset) {
  const bool hadZip64 = !old.zip64Record.empty();
  const bool needsZip64 = hadZip64 || count >= kMarker16 || size >= kMarker32 || offset >= kMarker32;
  if (needsZip64) {
    std::vector<std::uint8_t> record = old.zip64Record;
    if (!hadZip64) {
      record.assign(kZip64EndSize, 0);
      Put32(record.data(), kZip64EndSignature);
      Put64(record.data() + 4, kZip64EndSize - 12);
      Put16(record.data() + 12, 45);  // version 4.5: ZIP64
      Put16(record.data() + 14, 45);
    }
    Put32(record.data() + 16, 0);  // this disk and the directory's disk: the only one
    Put32(record.data() + 20, 0);
    Put64(record.data() + 24, count);
    Put64(record.data() + 32, count);
    Put64(record.data() + 40, size);
    Put64(record.data() + 48, offset);
    const std::uint64_t recordOffset = offset + size;
    out.insert(out.end(), record.begin(), record.end());
    Append32(out, kZip64LocatorSignature);
    Append32(out, 0);
    Append64(out, recordOffset);
    Append32(out, 1);
  }
  const bool countMarked = count >= kMarker16 || (hadZip64 && old.classicCount == kMarker16);
  const bool sizeMarked = size >= kMarker32 || (hadZip64 && old.classicSize == kMarker32);
  const bool offsetMarked = offset >= kMarker32 || (hadZip64 && old.classicOffset == kMarker32);
  const auto classicCount = countMarked ? kMarker16 : static_cast<std::uint16_t>(count);
  Append32(out, kEndSignature);
  Append16(out, 0);
  Append16(out, 0);
  Append16(out, classicCount);
  Append16(out, classicCount);
  Append32(out, sizeMarked ? kMarker32 : static_cast<std::uint32_t>(size));
  Append32(out, offsetMarked ? kMarker32 : static_cast<std::uint32_t>(offset));
  Append16(out, static_cast<std::uint16_t>(old.comment.size()));
  PutBytes(out, old.comment.data(), old.comment.size());
}

// Reads the new file's directory and local headers back from the file and compares every entry
// with what was meant to be written; the first difference is the error.
void VerifyWritten(fs::RandomAccessFile& file, const std::vector<ZipHeaderInfo>& expected) {
  ZipDirectory written;
  try {
    written = ReadZipDirectory(file, IncompleteZipMode::AssumeNotAZip);
  } catch (const Error& e) {
    throw WriteError(std::string("the new file does not read back as a zip file: ") + e.what());
  }
  if (written.rebuilt) throw WriteError("the new file's central directory does not read back");
  if (written.entries.size() != expected.size()) {
    throw WriteError("the new file holds " + std::to_string(written.entries.size()) + " entries instead of " +
                         std::to_string(expected.size()));
  }
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const ZipHeaderInfo& want = expected[i];
    const ZipHeaderInfo& got = written.entries[i];
    const char* differs = got.storedName != want.storedName                ? "name"
                          : got.method != want.method                      ? "method"
                          : got.crc32 != want.crc32                        ? "CRC"
                          : got.compressedSize != want.compressedSize      ? "compressed size"
                          : got.uncompressedSize != want.uncompressedSize  ? "size"
                          : got.localHeaderOffset != want.localHeaderOffset ? "offset"
                                                                            : nullptr;
    if (differs) throw WriteError("the new file differs at " + EntryLabel(i, want) + ": " + differs);
  }
  try {
    LocateEntries(file, written);
  } catch (const WriteError& e) {
    throw WriteError(std::string("the new file does not hold together: ") + e.what());
  }
}

// MS-DOS date and time of the current local time (2-second resolution, 1980 at the earliest).
std::pair<std::uint16_t, std::uint16_t> DosNow() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  if (local.tm_year < 80) return {0, (1 << 5) | 1};
  const auto time = static_cast<std::uint16_t>((local.tm_hour << 11) | (local.tm_min << 5) | (local.tm_sec / 2));
  const auto date = static_cast<std::uint16_t>(((local.tm_year - 80) << 9) | ((local.tm_mon + 1) << 5) | local.tm_mday);
  return {time, date};
}

}  // namespace

void Package::SetZipName(const std::string& path) {
  if (LowerAscii(path) != LowerAscii(zipName_)) DropDirectory();
  zipName_ = path;
}

void Package::SetRelativePaths(bool on) {
  relativePaths_ = on;
  if (on) storePaths_ = true;
}

void Package::SetPackLevel(int level) {
  if (level < 0 || level > 9) throw std::invalid_argument("PackLevel must be 0 to 9");
  packLevel_ = level;
}

void Package::DropDirectory() {
  loaded_ = false;
  loadedKey_.reset();
  entries_.clear();
  comment_.clear();
}

void Package::LoadDirectory(fs::RandomAccessFile& file) {
  const std::optional<fs::FileIdentity> key = file.Identity();
  const bool current = loaded_ && key && loadedKey_ && *key == *loadedKey_;
  if (current) return;
  DropDirectory();
  ZipDirectory directory = ReadZipDirectory(file, incompleteZipMode_);
  entries_ = std::move(directory.entries);
  comment_ = std::move(directory.end.comment);
  loadedKey_ = key;
  loaded_ = true;
}

fs::RandomAccessFile& Package::FileToRead(std::unique_ptr<fs::RandomAccessFile>& opened) const {
  if (lentFile_ != nullptr) return *lentFile_;
  opened = OpenPackage(zipName_, fs::OpenMode::Read);
  return *opened;
}

void Package::OpenArchive() {
  std::unique_ptr<fs::RandomAccessFile> opened;
  LoadDirectory(FileToRead(opened));
}

int Package::EntryCount() const { return loaded_ ? static_cast<int>(entries_.size()) : 0; }

const ZipHeaderInfo& Package::Entry(int index) const {
  if (index < 0 || index >= EntryCount()) throw IndexOutOfRange("Index " + std::to_string(index) + " is out of range");
  return entries_[static_cast<std::size_t>(index)];
}

std::string Package::EntryFileName(int index) const { return Entry(index).fileName; }

std::string Package::EntryPathName(int index) const { return Entry(index).pathName; }

int Package::ExtractToMemory(std::vector<std::uint8_t>* stream, const std::string& name) {
  if (!stream || IsBlank(name)) return 0;
  std::unique_ptr<fs::RandomAccessFile> opened;
  fs::RandomAccessFile& file = FileToRead(opened);
  LoadDirectory(file);
  const std::string wanted = LowerAscii(name);
  int count = 0;
  for (const ZipHeaderInfo& entry : entries_) {
    if (LowerAscii(FullName(entry)) != wanted) continue;
    if (entry.method != kStored && entry.method != kDeflated) {
      throw UnsupportedMethod(entry.storedName + " is compressed by method " + std::to_string(entry.method) +
                              ", which cannot be read (only stored and Deflate)");
    }
    const std::uint64_t dataOffset = LocateData(file, entry);
    // A Deflate stream of an allowed part is barely larger than the part (stored blocks).
    const std::uint64_t inputLimit = entry.method == kStored ? maxPartSize_ : maxPartSize_ + maxPartSize_ / 64 + 1024;
    const bool inputTooLarge = entry.compressedSize > inputLimit;
    if (inputTooLarge) throw ReadError(entry.storedName + " is larger than the part limit");
    std::vector<std::uint8_t> input(static_cast<std::size_t>(entry.compressedSize));
    ReadExactly(file, dataOffset, input.data(), input.size());
    std::vector<std::uint8_t> content;
    if (entry.method == kStored) {
      content = std::move(input);
    } else {
      InflateResult result = Inflate(input, maxPartSize_);
      if (result.status == InflateStatus::TooLarge) throw ReadError(entry.storedName + " is larger than the part limit");
      if (result.status != InflateStatus::Ok) throw ReadError(entry.storedName + " is damaged");
      content = std::move(result.data);
    }
    const bool crcWrong = Crc32(content) != entry.crc32 || content.size() != entry.uncompressedSize;
    if (crcWrong) throw ReadError(entry.storedName + " does not match its CRC or size");
    stream->insert(stream->end(), content.begin(), content.end());
    ++count;
  }
  return count;
}

int Package::ReplaceFromMemory(const std::vector<std::uint8_t>* stream, const std::string& name) {
  if (!stream) return 0;
  const EntryReplacement replacement{name, *stream};
  return ReplaceEntriesFromMemory(std::span<const EntryReplacement>(&replacement, 1));
}

int Package::ReplaceEntriesFromMemory(std::span<const EntryReplacement> replacements, const fs::FinalState* state) {
  // Everything new is built in memory first, so nothing is written for a request that fails here.
  struct NewEntry {
    ZipHeaderInfo info;
    std::vector<std::uint8_t> data;
    bool placed = false;  // took the place of an old entry of its name
  };
  std::vector<NewEntry> fresh;
  std::map<std::string, std::size_t> freshByKey;
  const auto [modTime, modDate] = DosNow();
  for (const EntryReplacement& replacement : replacements) {
    if (IsBlank(replacement.name)) continue;
    const bool givenTwice = !freshByKey.emplace(MatchKey(replacement.name), fresh.size()).second;
    if (givenTwice) throw WriteError(replacement.name + " is given twice in one rewrite");
    const bool contentNeedsZip64 = replacement.content.size() >= kMarker32;
    if (contentNeedsZip64) throw WriteError(replacement.name + " would need ZIP64, which new entries do not get");
    NewEntry entry;
    std::string storedName = replacement.name;
    std::replace(storedName.begin(), storedName.end(), '\\', '/');
    if (!storePaths_) storedName = storedName.substr(storedName.rfind('/') + 1);
    if (!storedName.empty() && storedName.front() == '/') storedName.erase(0, 1);
    const bool nameTooLong = storedName.size() > 0xffff;
    if (nameTooLong) throw WriteError("Entry name too long");
    entry.info.storedName = storedName;
    SplitName(entry.info);
    entry.info.versionMadeBy = 20;
    entry.info.versionNeeded = 20;
    entry.info.method = packLevel_ == 0 ? kStored : kDeflated;
    entry.info.modTime = modTime;
    entry.info.modDate = modDate;
    entry.info.crc32 = Crc32(replacement.content);
    entry.info.externalAttributes = 0x20;
    entry.data = packLevel_ == 0 ? std::vector<std::uint8_t>(replacement.content.begin(), replacement.content.end())
                                 : Deflate(replacement.content);
    const bool dataNeedsZip64 = entry.data.size() >= kMarker32;
    if (dataNeedsZip64) throw WriteError(replacement.name + " would need ZIP64, which new entries do not get");
    entry.info.compressedSize = entry.data.size();
    entry.info.uncompressedSize = replacement.content.size();
    fresh.push_back(std::move(entry));
  }
  if (fresh.empty()) return 0;

  // Whatever happens next, what was cached for this path is not trusted again.
  DropDirectory();
  const std::string package = fs::FollowLinks(zipName_);
  // Held to the end: nobody else writes the package while we rebuild it.
  // Only read: the new file takes its name, so the read-only bit never needs to be lifted.
  std::unique_ptr<fs::RandomAccessFile> source = OpenPackage(package, fs::OpenMode::ReadToReplace);
  try {
    const ZipDirectory old = ReadZipDirectory(*source, incompleteZipMode_);
    if (old.rebuilt) throw WriteError("the central directory was rebuilt from local headers: not written");
    const std::vector<EntrySpan> spans = LocateEntries(*source, old);
    const std::size_t count = old.entries.size();

    // What becomes of each old entry, in directory order: kept, replaced by fresh[k], or dropped
    // (a later entry of a replaced name).
    constexpr std::size_t kKept = static_cast<std::size_t>(-1);
    constexpr std::size_t kDropped = static_cast<std::size_t>(-2);
    std::vector<std::size_t> fate(count, kKept);
    for (std::size_t i = 0; i < count; ++i) {
      auto match = freshByKey.find(MatchKey(FullName(old.entries[i])));
      if (match == freshByKey.end()) continue;
      NewEntry& entry = fresh[match->second];
      fate[i] = entry.placed ? kDropped : match->second;
      if (!entry.placed) {
        entry.info.storedName = old.entries[i].storedName;  // the entry keeps its name's spelling
        SplitName(entry.info);
      }
      entry.placed = true;
    }

    fs::ReplacementFile temporary(package, "KPZ");
    if (!temporary.Valid()) throw WriteError(temporary.Error());
    std::unique_ptr<fs::RandomAccessFile> out;
    try {
      out = OpenPackage(temporary.Path(), fs::OpenMode::ReadWrite);
    } catch (const ReadError& e) {
      throw WriteError(std::string("cannot open the new file: ") + e.what());
    }
    ArchiveWriter writer(*out, *source, temporary);
    auto writeFresh = [&](NewEntry& entry) {
      const bool offsetNeedsZip64 = writer.Position() >= kMarker32;
      if (offsetNeedsZip64) throw WriteError(entry.info.storedName + " would start past 4 GiB, which needs ZIP64");
      entry.info.localHeaderOffset = writer.Position();
      writer.Write(LocalHeader(entry.info));
      writer.Write(entry.data);
    };

    // The old file in its own order, run by run: the bytes between two replaced or dropped entries
    // (kept entries, and whatever lies between them) go over in one copy.
    std::vector<std::size_t> fileOrder(count);
    for (std::size_t i = 0; i < count; ++i) fileOrder[i] = i;
    std::sort(fileOrder.begin(), fileOrder.end(), [&](std::size_t a, std::size_t b) { return spans[a].start < spans[b].start; });
    std::vector<std::uint64_t> newOffsets(count);
    std::uint64_t runStart = 0;
    for (std::size_t i : fileOrder) {
      if (fate[i] == kKept) {
        newOffsets[i] = writer.Position() + (spans[i].start - runStart);
        continue;
      }
      writer.Copy(runStart, spans[i].start - runStart);
      if (fate[i] != kDropped) writeFresh(fresh[fate[i]]);
      runStart = spans[i].end;
    }
    writer.Copy(runStart, old.end.directoryOffset - runStart);
    for (NewEntry& entry : fresh) {
      if (!entry.placed) writeFresh(entry);
    }

    std::vector<std::uint8_t> directory;
    std::vector<ZipHeaderInfo> expected;
    for (std::size_t i = 0; i < count; ++i) {
      if (fate[i] == kDropped) continue;
      if (fate[i] != kKept) {
        AppendCentralRecord(directory, fresh[fate[i]].info);
        expected.push_back(fresh[fate[i]].info);
        continue;
      }
      AppendMovedRecord(directory, old.records[i], newOffsets[i], EntryLabel(i, old.entries[i]));
      expected.push_back(old.entries[i]);
      expected.back().localHeaderOffset = newOffsets[i];
    }
    for (const NewEntry& entry : fresh) {
      if (entry.placed) continue;
      AppendCentralRecord(directory, entry.info);
      expected.push_back(entry.info);
    }
    const std::uint64_t directoryOffset = writer.Position();
    const std::uint64_t directorySize = directory.size();
    AppendEndRecords(directory, old.end, expected.size(), directorySize, directoryOffset);
    writer.Write(directory);
    if (const Outcome synced = out->Sync(); !synced) throw WriteError("the new file: " + synced.message());
    VerifyWritten(*out, expected);
    out.reset();

    // One step: at every moment either the old or the new package is on disk under its name.
    if (const Outcome committed = temporary.Commit(fs::FolderSync::Now, state); !committed) {
      throw WriteError(committed.message());
    }
  } catch (const WriteError& e) {
    throw WriteError(package + ": " + e.what());
  } catch (const ReadError& e) {
    throw ReadError(package + ": " + e.what());
  }
  return static_cast<int>(fresh.size());
}

}  // namespace kestrel::zip
