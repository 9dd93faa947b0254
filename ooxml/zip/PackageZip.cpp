#include "ooxml/zip/PackageZip.h"

#include <algorithm>
#include <ctime>
#include <map>
#include <memory>
#include <new>
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

Outcome Damaged(std::string message) { return Outcome::Failure(FailureKind::Damaged, std::move(message)); }
Outcome Unsupported(std::string message) { return Outcome::Failure(FailureKind::Unsupported, std::move(message)); }
Outcome InvalidValue(std::string message) { return Outcome::Failure(FailureKind::InvalidValue, std::move(message)); }
Outcome Io(std::string message) { return Outcome::Failure(FailureKind::Io, std::move(message)); }

// The open file, or why it could not be opened (its kind as the file door says) after its path.
Result<std::unique_ptr<fs::RandomAccessFile>> OpenPackage(const std::string& path, fs::OpenMode mode) {
  fs::OpenResult opened = fs::OpenFile(path, mode);
  if (opened.error != fs::OpenFailure::None) return fs::DescribeOpenError(opened).Within(path);
  return std::move(opened.file);
}

// Checks an entry's local header (there, naming this entry, its data inside the file) and returns
// where its data starts. A local header naming another entry means the directory describes some
// other file than the one opened.
Result<std::uint64_t> LocateData(fs::RandomAccessFile& file, const ZipHeaderInfo& info) {
  const std::uint64_t fileSize = file.Size();
  std::vector<std::uint8_t> header(kLocalSize + info.storedName.size());
  const bool headerPastEnd = !FitsIn(info.localHeaderOffset, header.size(), fileSize);
  if (headerPastEnd) return Damaged("Local header of " + info.storedName + " lies outside the file");
  if (Outcome read = ReadExactly(file, info.localHeaderOffset, header.data(), header.size()); !read) return read;
  if (Get32(header.data()) != kLocalSignature) return Damaged("Bad local header for " + info.storedName);
  const std::uint16_t nameLength = Get16(header.data() + 26);
  const std::uint16_t extraLength = Get16(header.data() + 28);
  const bool otherName = nameLength != info.storedName.size() ||
                         !std::equal(info.storedName.begin(), info.storedName.end(), header.begin() + kLocalSize);
  if (otherName) return Damaged("The local header of " + info.storedName + " names another entry");
  const std::uint64_t dataOffset = info.localHeaderOffset + kLocalSize + nameLength + extraLength;
  const bool dataPastEnd = !FitsIn(dataOffset, info.compressedSize, fileSize);
  if (dataPastEnd) return Damaged("Data of " + info.storedName + " lies outside the file");
  return dataOffset;
}

Outcome PartTooLarge(const ZipHeaderInfo& entry, std::size_t maxPartSize) {
  return Unsupported(entry.storedName + " is larger than " + std::to_string(maxPartSize) +
                     " bytes, more than a part is read with");
}

// An entry's content, decoded and checked against its CRC and size.
Result<std::vector<std::uint8_t>> ReadEntry(fs::RandomAccessFile& file, const ZipHeaderInfo& entry,
                                            std::size_t maxPartSize) {
  if (entry.method != kStored && entry.method != kDeflated) {
    return Unsupported(entry.storedName + " is compressed by method " + std::to_string(entry.method) +
                       ", which cannot be read (only stored and Deflate)");
  }
  const Result<std::uint64_t> dataOffset = LocateData(file, entry);
  if (!dataOffset) return dataOffset.outcome();
  // A Deflate stream of an allowed part is barely larger than the part (stored blocks).
  const std::uint64_t inputLimit = entry.method == kStored ? maxPartSize : maxPartSize + maxPartSize / 64 + 1024;
  const bool inputTooLarge = entry.compressedSize > inputLimit;
  if (inputTooLarge) return PartTooLarge(entry, maxPartSize);
  std::vector<std::uint8_t> input(static_cast<std::size_t>(entry.compressedSize));
  if (Outcome read = ReadExactly(file, *dataOffset, input.data(), input.size()); !read) return read;
  std::vector<std::uint8_t> content;
  if (entry.method == kStored) {
    content = std::move(input);
  } else {
    InflateResult result = Inflate(input, maxPartSize);
    if (result.status == InflateStatus::TooLarge) return PartTooLarge(entry, maxPartSize);
    if (result.status != InflateStatus::Ok) return Damaged(entry.storedName + " is damaged");
    content = std::move(result.data);
  }
  const bool crcWrong = Crc32(content) != entry.crc32 || content.size() != entry.uncompressedSize;
  if (crcWrong) return Damaged(entry.storedName + " does not match its CRC or size");
  return content;
}

// Copies go over in pieces of this size, each handed to the disk while the next is copied.
constexpr std::uint64_t kCopyPiece = std::uint64_t{32} << 20;

// Appends to the new package, counting where it is; any failed write ends the rewrite.
class ArchiveWriter {
 public:
  ArchiveWriter(fs::RandomAccessFile& file, fs::RandomAccessFile& source, const fs::ReplacementFile& disk)
      : file_(file), source_(source), disk_(disk) {}
  std::uint64_t Position() const { return position_; }
  Outcome Write(const void* data, std::size_t n) {
    if (Outcome written = file_.WriteAt(position_, data, n); !written) {
      return written.Within("cannot write the new file");
    }
    position_ += n;
    return Outcome::Success();
  }
  Outcome Write(const std::vector<std::uint8_t>& bytes) { return Write(bytes.data(), bytes.size()); }
  // n bytes of the old package from `from` on, inside the kernel where it can.
  // The final sync then waits only for the last pieces: the disk writes while we copy.
  Outcome Copy(std::uint64_t from, std::uint64_t n) {
    while (n > 0) {
      const std::uint64_t piece = std::min(n, kCopyPiece);
      if (Outcome copied = file_.CopyFrom(source_, from, position_, piece); !copied) {
        return copied.Within("cannot copy bytes " + std::to_string(from) + " to " + std::to_string(from + piece) +
                             " into the new file");
      }
      disk_.StartWriteback(position_, piece);
      position_ += piece;
      from += piece;
      n -= piece;
    }
    return Outcome::Success();
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
Outcome AppendMovedRecord(std::vector<std::uint8_t>& out, const CentralRecord& record, std::uint64_t offset,
                          const std::string& label) {
  const std::size_t at = out.size();
  out.insert(out.end(), record.bytes.begin(), record.bytes.end());
  if (record.offsetIs64) {
    Put64(out.data() + at + record.offsetAt, offset);
    return Outcome::Success();
  }
  const bool offsetNeedsZip64 = offset >= kMarker32;
  if (offsetNeedsZip64) return Unsupported(label + " would start past 4 GiB, and its record has no ZIP64 field to say so");
  Put32(out.data() + at + record.offsetAt, static_cast<std::uint32_t>(offset));
  return Outcome::Success();
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
// with what was meant to be written; the first difference is the failure, Io since the writing
// went wrong.
Outcome VerifyWritten(fs::RandomAccessFile& file, const std::vector<ZipHeaderInfo>& expected) {
  const Result<ZipDirectory> read = ReadZipDirectory(file, IncompleteZipMode::AssumeNotAZip);
  if (!read) return Io("the new file does not read back as a zip file: " + read.outcome().message());
  const ZipDirectory& written = *read;
  if (written.rebuilt) return Io("the new file's central directory does not read back");
  if (written.entries.size() != expected.size()) {
    return Io("the new file holds " + std::to_string(written.entries.size()) + " entries instead of " +
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
    if (differs) return Io("the new file differs at " + EntryLabel(i, want) + ": " + differs);
  }
  const Result<std::vector<EntrySpan>> located = LocateEntries(file, written);
  if (!located) return Io("the new file does not hold together: " + located.outcome().message());
  return Outcome::Success();
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

// A new entry, built in memory before anything is written.
struct NewEntry {
  ZipHeaderInfo info;
  std::vector<std::uint8_t> data;
  bool placed = false;  // took the place of an old entry of its name
};

// The rewrite of `package` (opened as `source`) once the new entries are built: the new file
// written, synced, read back and renamed over the package. Failures do not name the package yet.
Outcome WriteNewPackage(fs::RandomAccessFile& source, const std::string& package, IncompleteZipMode mode,
                        const DirectoryLimits& limits,
                        std::vector<NewEntry>& fresh, const std::map<std::string, std::size_t>& freshByKey,
                        const RewriteOptions& options) {
  Result<ZipDirectory> read = ReadZipDirectory(source, mode, limits);
  if (!read) return read.outcome();
  ZipDirectory& old = *read;
  if (old.rebuilt) return Damaged("the central directory was rebuilt from local headers: not written");
  const Result<std::vector<EntrySpan>> located = LocateEntries(source, old);
  if (!located) return located.outcome();
  const std::vector<EntrySpan>& spans = *located;
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
  if (!temporary.Valid()) return Io(temporary.Error());
  Result<std::unique_ptr<fs::RandomAccessFile>> out = OpenPackage(temporary.Path(), fs::OpenMode::ReadWrite);
  if (!out) return Io("cannot open the new file: " + out.outcome().message());
  ArchiveWriter writer(**out, source, temporary);
  auto writeFresh = [&writer](NewEntry& entry) {
    const bool offsetNeedsZip64 = writer.Position() >= kMarker32;
    if (offsetNeedsZip64) return Unsupported(entry.info.storedName + " would start past 4 GiB, which needs ZIP64");
    entry.info.localHeaderOffset = writer.Position();
    if (Outcome written = writer.Write(LocalHeader(entry.info)); !written) return written;
    return writer.Write(entry.data);
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
    if (Outcome copied = writer.Copy(runStart, spans[i].start - runStart); !copied) return copied;
    if (fate[i] != kDropped) {
      if (Outcome written = writeFresh(fresh[fate[i]]); !written) return written;
    }
    runStart = spans[i].end;
  }
  if (Outcome copied = writer.Copy(runStart, old.end.directoryOffset - runStart); !copied) return copied;
  for (NewEntry& entry : fresh) {
    if (entry.placed) continue;
    if (Outcome written = writeFresh(entry); !written) return written;
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
    if (Outcome moved = AppendMovedRecord(directory, old.records[i], newOffsets[i], EntryLabel(i, old.entries[i])); !moved) {
      return moved;
    }
    // The old directory goes as the new one grows, so that a large one is not held twice over.
    old.records[i] = {};
    expected.push_back(std::move(old.entries[i]));
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
  if (Outcome written = writer.Write(directory); !written) return written;
  std::vector<std::uint8_t>().swap(directory);
  if (Outcome synced = (*out)->Sync(); !synced) return synced.Within("the new file");
  const std::unique_ptr<fs::RandomAccessFile> written = fs::LoadWhenSmall(std::move(*out));
  if (Outcome verified = VerifyWritten(*written, expected); !verified) return verified;

  // One step: at every moment either the old or the new package is on disk under its name.
  return temporary.Commit(options.steps, options.state);
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

Outcome Package::SetPackLevel(int level) {
  if (level < 0 || level > 9) return InvalidValue("PackLevel must be 0 to 9");
  packLevel_ = level;
  return Outcome::Success();
}

void Package::DropDirectory() {
  loaded_ = false;
  loadedKey_.reset();
  entries_.clear();
  comment_.clear();
}

Outcome Package::LoadDirectory(fs::RandomAccessFile& file) {
  const std::optional<fs::FileIdentity> key = file.Identity();
  const bool current = loaded_ && key && loadedKey_ && *key == *loadedKey_;
  if (current) return Outcome::Success();
  DropDirectory();
  // A directory of many entries is held whole in memory.
  try {
    Result<ZipDirectory> directory = ReadZipDirectory(file, incompleteZipMode_, directoryLimits_);
    if (!directory) return directory.outcome();
    entries_ = std::move(directory->entries);
    comment_ = std::move(directory->end.comment);
  } catch (const std::bad_alloc&) {
    DropDirectory();
    return Io("not enough memory to read the directory of " + zipName_);
  }
  loadedKey_ = key;
  loaded_ = true;
  return Outcome::Success();
}

Result<fs::RandomAccessFile*> Package::FileToRead(std::unique_ptr<fs::RandomAccessFile>& opened) const {
  if (lentFile_ != nullptr) return lentFile_;
  Result<std::unique_ptr<fs::RandomAccessFile>> file = OpenPackage(zipName_, fs::OpenMode::Read);
  if (!file) return file.outcome();
  opened = std::move(*file);
  return opened.get();
}

Outcome Package::OpenArchive() {
  std::unique_ptr<fs::RandomAccessFile> opened;
  const Result<fs::RandomAccessFile*> file = FileToRead(opened);
  if (!file) return file.outcome();
  return LoadDirectory(**file);
}

int Package::EntryCount() const { return loaded_ ? static_cast<int>(entries_.size()) : 0; }

Result<ZipHeaderInfo> Package::Entry(int index) const {
  if (index < 0 || index >= EntryCount()) return InvalidValue("Index " + std::to_string(index) + " is out of range");
  return entries_[static_cast<std::size_t>(index)];
}

Result<std::string> Package::EntryFileName(int index) const {
  Result<ZipHeaderInfo> entry = Entry(index);
  if (!entry) return entry.outcome();
  return std::move(entry->fileName);
}

Result<std::string> Package::EntryPathName(int index) const {
  Result<ZipHeaderInfo> entry = Entry(index);
  if (!entry) return entry.outcome();
  return std::move(entry->pathName);
}

Result<int> Package::ExtractToMemory(std::vector<std::uint8_t>* stream, const std::string& name) {
  if (!stream || IsBlank(name)) return 0;
  std::unique_ptr<fs::RandomAccessFile> opened;
  const Result<fs::RandomAccessFile*> file = FileToRead(opened);
  if (!file) return file.outcome();
  if (Outcome loaded = LoadDirectory(**file); !loaded) return loaded;
  const std::string wanted = LowerAscii(name);
  int count = 0;
  for (const ZipHeaderInfo& entry : entries_) {
    if (LowerAscii(FullName(entry)) != wanted) continue;
    // The entry's data and what it inflates to are held whole in memory.
    try {
      const Result<std::vector<std::uint8_t>> content = ReadEntry(**file, entry, maxPartSize_);
      if (!content) return content.outcome();
      stream->insert(stream->end(), content->begin(), content->end());
    } catch (const std::bad_alloc&) {
      return Io("not enough memory to read " + entry.storedName);
    }
    ++count;
  }
  return count;
}

Result<int> Package::ReplaceFromMemory(const std::vector<std::uint8_t>* stream, const std::string& name) {
  if (!stream) return 0;
  const EntryReplacement replacement{name, *stream};
  return ReplaceEntriesFromMemory(std::span<const EntryReplacement>(&replacement, 1));
}

Result<int> Package::ReplaceEntriesFromMemory(std::span<const EntryReplacement> replacements,
                                              const RewriteOptions& options) {
  // The new entries, and the directory of the package they go into, are held whole in memory.
  try {
    return Rewrite(replacements, options);
  } catch (const std::bad_alloc&) {
    return Io("not enough memory to rewrite " + zipName_);
  }
}

Result<int> Package::Rewrite(std::span<const EntryReplacement> replacements, const RewriteOptions& options) {
  // Everything new is built in memory first, so nothing is written for a request that fails here.
  std::vector<NewEntry> fresh;
  std::map<std::string, std::size_t> freshByKey;
  const auto [modTime, modDate] = DosNow();
  for (const EntryReplacement& replacement : replacements) {
    if (IsBlank(replacement.name)) continue;
    const bool givenTwice = !freshByKey.emplace(MatchKey(replacement.name), fresh.size()).second;
    if (givenTwice) return InvalidValue(replacement.name + " is given twice in one rewrite");
    const bool contentNeedsZip64 = replacement.content.size() >= kMarker32;
    if (contentNeedsZip64) return Unsupported(replacement.name + " would need ZIP64, which new entries do not get");
    NewEntry entry;
    std::string storedName = replacement.name;
    std::replace(storedName.begin(), storedName.end(), '\\', '/');
    if (!storePaths_) storedName = storedName.substr(storedName.rfind('/') + 1);
    if (!storedName.empty() && storedName.front() == '/') storedName.erase(0, 1);
    const bool nameTooLong = storedName.size() > 0xffff;
    if (nameTooLong) return InvalidValue("Entry name too long");
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
    if (dataNeedsZip64) return Unsupported(replacement.name + " would need ZIP64, which new entries do not get");
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
  std::unique_ptr<fs::RandomAccessFile> opened;
  fs::RandomAccessFile* source = lentFile_;
  if (source != nullptr) {
    if (Outcome locked = source->LockToReplace(); !locked) return locked.Within(package);
  } else {
    Result<std::unique_ptr<fs::RandomAccessFile>> file = OpenPackage(package, fs::OpenMode::ReadToReplace);
    if (!file) return file.outcome();
    opened = std::move(*file);
    source = opened.get();
  }
  const bool changedSinceRead =
      options.readAs != nullptr && (source->Identity() != *options.readAs || !fs::NamesFile(package, *options.readAs));
  if (changedSinceRead) {
    return Outcome::Failure(FailureKind::HeldOpen, package + ": another program changed the package after it was read");
  }
  if (Outcome written = WriteNewPackage(*source, package, incompleteZipMode_, directoryLimits_, fresh, freshByKey, options);
      !written) {
    return written.Within(package);
  }
  return static_cast<int>(fresh.size());
}

}  // namespace kestrel::zip
