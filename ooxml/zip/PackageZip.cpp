#include "ooxml/zip/PackageZip.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <tuple>
#include <utility>

#include <sys/stat.h>

#include "ooxml/zip/Crc32.h"
#include "ooxml/zip/Deflate.h"
#include "ooxml/zip/Inflate.h"
#include "platform/fs/FileIo.h"
#include "platform/fs/ReplacementFile.h"

namespace kestrel::zip {

namespace {

constexpr std::uint32_t kLocalSignature = 0x04034b50;
constexpr std::uint32_t kCentralSignature = 0x02014b50;
constexpr std::uint32_t kEndSignature = 0x06054b50;
constexpr std::uint32_t kDescriptorSignature = 0x08074b50;
constexpr std::uint64_t kLocalSize = 30;
constexpr std::uint64_t kCentralSize = 46;
constexpr std::uint64_t kEndSize = 22;
constexpr std::uint64_t kMaxComment = 65535;
constexpr std::uint16_t kDataDescriptorFlag = 0x0008;
constexpr std::uint16_t kStored = 0;
constexpr std::uint16_t kDeflated = 8;
constexpr std::uint64_t kMax32 = 0xffffffffu;
constexpr std::uint64_t kMaxEntries = 0xffffu;
constexpr std::size_t kScanChunk = std::size_t{1} << 20;
constexpr const char* kNotAZip = "Not a valid zip file!";

// True when [offset, offset + length) lies within [0, limit); written so it cannot overflow.
bool FitsIn(std::uint64_t offset, std::uint64_t length, std::uint64_t limit) {
  return offset <= limit && length <= limit - offset;
}

std::uint16_t Get16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t Get32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
void Put16(std::vector<std::uint8_t>& out, std::uint16_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}
void PutBytes(std::vector<std::uint8_t>& out, const void* data, std::size_t n) {
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  out.insert(out.end(), bytes, bytes + n);
}

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

// Fills the two halves callers see from the stored name ("_rels/.rels" -> "_rels\", ".rels").
void SplitName(ZipHeaderInfo& info) {
  std::string name = info.storedName;
  std::replace(name.begin(), name.end(), '/', '\\');
  std::size_t slash = name.rfind('\\');
  info.pathName = slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
  info.fileName = slash == std::string::npos ? name : name.substr(slash + 1);
}

std::string FullName(const ZipHeaderInfo& info) { return info.pathName + info.fileName; }

std::unique_ptr<fs::RandomAccessFile> OpenPackage(const std::string& path, fs::OpenMode mode) {
  fs::OpenResult opened = fs::OpenFile(path, mode);
  switch (opened.error) {
    case fs::OpenError::None:
      return std::move(opened.file);
    case fs::OpenError::NotFound:
      throw EZipReadError("Cannot open " + path + ": no such file");
    case fs::OpenError::Locked:
      throw EZipReadError("Cannot open " + path + ": another program is using it");
    case fs::OpenError::ReadOnly:
      throw EZipReadError("Cannot open " + path + ": the file is read-only");
    case fs::OpenError::Other:
      break;
  }
  throw EZipReadError("Cannot open " + path);
}

// Empty reads are skipped: an empty vector's buffer may be null.
void ReadExactly(fs::RandomAccessFile& file, std::uint64_t offset, void* buffer, std::size_t n) {
  if (n == 0) return;
  if (!file.ReadAt(offset, buffer, n)) throw EZipReadError("Cannot read the zip file");
}

struct EndRecord {
  std::uint64_t offset = 0;  // of the record itself
  std::uint32_t directorySize = 0;
  std::uint32_t directoryOffset = 0;
  std::uint16_t entryCount = 0;
  std::vector<std::uint8_t> comment;
};

// Searches backwards over the last 22 + 65,535 bytes; the first signature found decides.
std::optional<EndRecord> FindEndRecord(fs::RandomAccessFile& file) {
  const std::uint64_t size = file.Size();
  if (size < kEndSize) return std::nullopt;
  const std::uint64_t tailLength = std::min<std::uint64_t>(size, kEndSize + kMaxComment);
  std::vector<std::uint8_t> tail(tailLength);
  ReadExactly(file, size - tailLength, tail.data(), tail.size());
  for (std::uint64_t i = tailLength - kEndSize + 1; i-- > 0;) {
    const std::uint8_t* p = tail.data() + i;
    if (Get32(p) != kEndSignature) continue;
    const std::uint16_t thisDisk = Get16(p + 4);
    const std::uint16_t directoryDisk = Get16(p + 6);
    const std::uint16_t commentLength = Get16(p + 20);
    const bool diskNumberTooLarge = thisDisk > 999 || directoryDisk > 999;
    if (diskNumberTooLarge) return std::nullopt;
    const bool directoryOnLaterDisk = thisDisk < directoryDisk;
    if (directoryOnLaterDisk) return std::nullopt;
    const bool commentPastEnd = !FitsIn(i + kEndSize, commentLength, tailLength);
    if (commentPastEnd) return std::nullopt;
    EndRecord end;
    end.offset = size - tailLength + i;
    end.entryCount = Get16(p + 10);
    end.directorySize = Get32(p + 12);
    end.directoryOffset = Get32(p + 16);
    end.comment.assign(p + kEndSize, p + kEndSize + commentLength);
    return end;
  }
  return std::nullopt;
}

// Reads the central records into *entries; false when the directory is damaged, with the
// records read before the damage left in *entries.
bool ReadCentralDirectory(fs::RandomAccessFile& file, const EndRecord& end, std::vector<ZipHeaderInfo>* entries) {
  const std::uint64_t fileSize = file.Size();
  const bool directoryPastEnd = !FitsIn(end.directoryOffset, end.directorySize, end.offset);
  if (directoryPastEnd) return false;
  const bool countDoesNotFit = std::uint64_t{end.entryCount} * kCentralSize > end.directorySize;
  if (countDoesNotFit) return false;
  const std::uint64_t directoryEnd = std::uint64_t{end.directoryOffset} + end.directorySize;
  std::uint64_t pos = end.directoryOffset;
  // The position only moves forwards and the count is bounded, so no directory can loop.
  for (std::uint16_t i = 0; i < end.entryCount; ++i) {
    const bool recordPastEnd = !FitsIn(pos, kCentralSize, directoryEnd);
    if (recordPastEnd) return false;
    std::uint8_t fixed[kCentralSize];
    ReadExactly(file, pos, fixed, sizeof fixed);
    if (Get32(fixed) != kCentralSignature) return false;
    const std::uint16_t nameLength = Get16(fixed + 28);
    const std::uint16_t extraLength = Get16(fixed + 30);
    const std::uint16_t commentLength = Get16(fixed + 32);
    const std::uint64_t variableLength = std::uint64_t{nameLength} + extraLength + commentLength;
    const bool variablePastEnd = !FitsIn(pos + kCentralSize, variableLength, directoryEnd);
    if (variablePastEnd) return false;
    std::vector<std::uint8_t> variable(variableLength);
    ReadExactly(file, pos + kCentralSize, variable.data(), variable.size());

    ZipHeaderInfo info;
    info.versionMadeBy = Get16(fixed + 4);
    info.versionNeeded = Get16(fixed + 6);
    info.flags = Get16(fixed + 8);
    info.method = Get16(fixed + 10);
    info.modTime = Get16(fixed + 12);
    info.modDate = Get16(fixed + 14);
    info.crc32 = Get32(fixed + 16);
    info.compressedSize = Get32(fixed + 20);
    info.uncompressedSize = Get32(fixed + 24);
    info.diskNumberStart = Get16(fixed + 34);
    info.internalAttributes = Get16(fixed + 36);
    info.externalAttributes = Get32(fixed + 38);
    info.localHeaderOffset = Get32(fixed + 42);
    info.storedName.assign(variable.begin(), variable.begin() + nameLength);
    info.centralExtra.assign(variable.begin() + nameLength, variable.begin() + nameLength + extraLength);
    info.comment.assign(variable.begin() + nameLength + extraLength, variable.end());

    const bool nameHasNul = info.storedName.find('\0') != std::string::npos;
    if (nameHasNul) return false;
    const bool localHeaderOutsideFile = !FitsIn(info.localHeaderOffset, kLocalSize, fileSize);
    if (localHeaderOutsideFile) return false;
    const bool dataLargerThanFile = info.compressedSize > fileSize;
    if (dataLargerThanFile) return false;
    SplitName(info);
    entries->push_back(std::move(info));
    pos += kCentralSize + variableLength;
  }
  return true;
}

// Offset of the first local-header signature, read in chunks so a large file is not loaded.
std::optional<std::uint64_t> FindFirstLocalHeader(fs::RandomAccessFile& file) {
  const std::uint64_t size = file.Size();
  std::vector<std::uint8_t> chunk;
  for (std::uint64_t start = 0; start + 4 <= size; start += kScanChunk) {
    // 3 bytes of overlap so a signature across two chunks is found.
    const std::uint64_t length = std::min<std::uint64_t>(kScanChunk + 3, size - start);
    chunk.resize(length);
    ReadExactly(file, start, chunk.data(), chunk.size());
    for (std::uint64_t i = 0; i + 4 <= length; ++i) {
      if (Get32(chunk.data() + i) == kLocalSignature) return start + i;
    }
  }
  return std::nullopt;
}

// Walks the local headers from the first one found; `known` are central records read before
// the damage, whose fields (sizes above all) are taken for the entries they describe.
std::vector<ZipHeaderInfo> RebuildFromLocalHeaders(fs::RandomAccessFile& file, const std::vector<ZipHeaderInfo>& known) {
  std::optional<std::uint64_t> first = FindFirstLocalHeader(file);
  if (!first) throw EBadZipFile(kNotAZip);
  const std::uint64_t fileSize = file.Size();
  std::map<std::uint64_t, const ZipHeaderInfo*> knownByOffset;
  for (const ZipHeaderInfo& k : known) knownByOffset.emplace(k.localHeaderOffset, &k);
  std::vector<ZipHeaderInfo> entries;
  std::uint64_t pos = *first;
  // Each step moves forwards by at least a header, so the walk ends.
  while (entries.size() < kMaxEntries) {
    const bool localOffsetTooLarge = pos > kMax32;
    if (localOffsetTooLarge) break;
    const bool headerPastEnd = !FitsIn(pos, kLocalSize, fileSize);
    if (headerPastEnd) break;
    std::uint8_t fixed[kLocalSize];
    ReadExactly(file, pos, fixed, sizeof fixed);
    if (Get32(fixed) != kLocalSignature) break;
    const std::uint16_t nameLength = Get16(fixed + 26);
    const std::uint16_t extraLength = Get16(fixed + 28);
    const bool namePastEnd = !FitsIn(pos + kLocalSize, std::uint64_t{nameLength} + extraLength, fileSize);
    if (namePastEnd) break;

    ZipHeaderInfo info;
    auto match = knownByOffset.find(pos);
    if (match != knownByOffset.end()) {
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
      info.localHeaderOffset = static_cast<std::uint32_t>(pos);
      info.storedName.resize(nameLength);
      ReadExactly(file, pos + kLocalSize, info.storedName.data(), nameLength);
      const bool nameHasNul = info.storedName.find('\0') != std::string::npos;
      if (nameHasNul) break;
      SplitName(info);
    }
    const std::uint64_t dataOffset = pos + kLocalSize + nameLength + extraLength;
    const bool dataPastEnd = !FitsIn(dataOffset, info.compressedSize, fileSize);
    if (dataPastEnd) break;
    std::uint64_t next = dataOffset + info.compressedSize;
    if (info.flags & kDataDescriptorFlag) {
      // The descriptor's own signature is optional: 16 bytes with it, 12 without.
      std::uint8_t signature[4] = {};
      if (FitsIn(next, 4, fileSize)) ReadExactly(file, next, signature, 4);
      next += Get32(signature) == kDescriptorSignature ? 16 : 12;
    }
    entries.push_back(std::move(info));
    pos = next;
  }
  if (entries.empty()) throw EBadZipFile(kNotAZip);
  return entries;
}

struct LoadedDirectory {
  std::vector<ZipHeaderInfo> entries;
  std::vector<std::uint8_t> comment;
};

LoadedDirectory ReadDirectory(fs::RandomAccessFile& file, IncompleteZipMode mode) {
  LoadedDirectory directory;
  if (file.Size() == 0) return directory;  // an empty file is an archive without entries
  std::optional<EndRecord> end = FindEndRecord(file);
  if (!end) {
    if (mode != IncompleteZipMode::izAssumeBad) throw ENotAZipFile(kNotAZip);
    directory.entries = RebuildFromLocalHeaders(file, {});
    return directory;
  }
  directory.comment = std::move(end->comment);
  if (!ReadCentralDirectory(file, *end, &directory.entries)) {
    directory.entries = RebuildFromLocalHeaders(file, directory.entries);
  }
  return directory;
}

// Checks an entry's local header and returns where its data starts; the local extra field
// goes to *localExtra when asked for.
std::uint64_t LocateData(fs::RandomAccessFile& file, const ZipHeaderInfo& info, std::vector<std::uint8_t>* localExtra) {
  const std::uint64_t fileSize = file.Size();
  const bool headerPastEnd = !FitsIn(info.localHeaderOffset, kLocalSize, fileSize);
  if (headerPastEnd) throw EZipReadError("Local header of " + info.storedName + " lies outside the file");
  std::uint8_t fixed[kLocalSize];
  ReadExactly(file, info.localHeaderOffset, fixed, sizeof fixed);
  if (Get32(fixed) != kLocalSignature) throw EZipReadError("Bad local header for " + info.storedName);
  const std::uint16_t nameLength = Get16(fixed + 26);
  const std::uint16_t extraLength = Get16(fixed + 28);
  const std::uint64_t extraOffset = std::uint64_t{info.localHeaderOffset} + kLocalSize + nameLength;
  const std::uint64_t dataOffset = extraOffset + extraLength;
  const bool dataPastEnd = !FitsIn(dataOffset, info.compressedSize, fileSize);
  if (dataPastEnd) throw EZipReadError("Data of " + info.storedName + " lies outside the file");
  if (localExtra) {
    localExtra->resize(extraLength);
    ReadExactly(file, extraOffset, localExtra->data(), extraLength);
  }
  return dataOffset;
}

// Appends to the temporary archive, counting where it is; any failed write ends the replace.
class ArchiveWriter {
 public:
  explicit ArchiveWriter(fs::RandomAccessFile& file) : file_(file) {}
  std::uint64_t Position() const { return position_; }
  void Write(const void* data, std::size_t n) {
    if (!file_.WriteAt(position_, data, n)) throw EZipWriteError("Cannot write the temporary zip file");
    position_ += n;
  }
  void Write(const std::vector<std::uint8_t>& bytes) { Write(bytes.data(), bytes.size()); }
  // n bytes of `source` from `from` on, without passing through our memory where the kernel can.
  void Copy(fs::RandomAccessFile& source, std::uint64_t from, std::uint64_t n) {
    if (!file_.CopyFrom(source, from, position_, n)) throw EZipWriteError("Cannot copy an entry into the temporary zip file");
    position_ += n;
  }
  // The offset the next local header gets; refused when it would need ZIP64.
  std::uint32_t NextLocalOffset() const {
    const bool needsZip64 = position_ > kMax32;
    if (needsZip64) throw EZipWriteError("The zip file would need ZIP64, which is not supported");
    return static_cast<std::uint32_t>(position_);
  }

 private:
  fs::RandomAccessFile& file_;
  std::uint64_t position_ = 0;
};

// The fields a local header and a directory record share, from "version needed" to the name's
// length, in the order both lay them out.
void PutSharedFields(std::vector<std::uint8_t>& out, const ZipHeaderInfo& info) {
  Put16(out, info.versionNeeded);
  Put16(out, info.flags);
  Put16(out, info.method);
  Put16(out, info.modTime);
  Put16(out, info.modDate);
  Put32(out, info.crc32);
  Put32(out, info.compressedSize);
  Put32(out, info.uncompressedSize);
  Put16(out, static_cast<std::uint16_t>(info.storedName.size()));
}

std::vector<std::uint8_t> LocalHeader(const ZipHeaderInfo& info, const std::vector<std::uint8_t>& extra) {
  std::vector<std::uint8_t> out;
  Put32(out, kLocalSignature);
  PutSharedFields(out, info);
  Put16(out, static_cast<std::uint16_t>(extra.size()));
  PutBytes(out, info.storedName.data(), info.storedName.size());
  PutBytes(out, extra.data(), extra.size());
  return out;
}

void AppendCentralRecord(std::vector<std::uint8_t>& out, const ZipHeaderInfo& info) {
  Put32(out, kCentralSignature);
  Put16(out, info.versionMadeBy);
  PutSharedFields(out, info);
  Put16(out, static_cast<std::uint16_t>(info.centralExtra.size()));
  Put16(out, static_cast<std::uint16_t>(info.comment.size()));
  Put16(out, info.diskNumberStart);
  Put16(out, info.internalAttributes);
  Put32(out, info.externalAttributes);
  Put32(out, info.localHeaderOffset);
  PutBytes(out, info.storedName.data(), info.storedName.size());
  PutBytes(out, info.centralExtra.data(), info.centralExtra.size());
  PutBytes(out, info.comment.data(), info.comment.size());
}

// A new local header from the directory record, the local extra field and the compressed bytes
// streamed in chunks. Bit 3 is cleared: the new header carries the sizes, so no descriptor follows.
ZipHeaderInfo CopyEntry(fs::RandomAccessFile& source, const ZipHeaderInfo& entry, ArchiveWriter& writer) {
  std::vector<std::uint8_t> localExtra;
  std::uint64_t from = LocateData(source, entry, &localExtra);
  ZipHeaderInfo copy = entry;
  copy.flags = static_cast<std::uint16_t>(copy.flags & ~kDataDescriptorFlag);
  copy.diskNumberStart = 0;
  copy.localHeaderOffset = writer.NextLocalOffset();
  writer.Write(LocalHeader(copy, localExtra));
  writer.Copy(source, from, entry.compressedSize);
  return copy;
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

void TPackageZip::SetZipName(const std::string& path) {
  if (LowerAscii(path) != LowerAscii(zipName_)) {
    loaded_ = false;
    loadedStamp_.reset();
    entries_.clear();
    comment_.clear();
  }
  zipName_ = path;
}

void TPackageZip::SetRelativePaths(bool on) {
  relativePaths_ = on;
  if (on) storePaths_ = true;
}

void TPackageZip::SetPackLevel(int level) {
  if (level < 0 || level > 9) throw std::invalid_argument("PackLevel must be 0 to 9");
  packLevel_ = level;
}

std::optional<TPackageZip::FileStamp> TPackageZip::StampOfPackage() const {
  struct stat st {};
  // Without a stat (an in-memory file in the fuzzer) nothing is cached.
  if (::stat(zipName_.c_str(), &st) != 0) return std::nullopt;
  return FileStamp{static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec,
                   static_cast<std::uint64_t>(st.st_size)};
}

void TPackageZip::LoadDirectory(fs::RandomAccessFile& file) {
  std::optional<FileStamp> stamp = StampOfPackage();
  const bool current = loaded_ && stamp && loadedStamp_ && *stamp == *loadedStamp_;
  if (current) return;
  loaded_ = false;
  entries_.clear();
  comment_.clear();
  LoadedDirectory directory = ReadDirectory(file, incompleteZipMode_);
  entries_ = std::move(directory.entries);
  comment_ = std::move(directory.comment);
  loadedStamp_ = stamp;
  loaded_ = true;
}

void TPackageZip::OpenArchive() {
  std::unique_ptr<fs::RandomAccessFile> file = OpenPackage(zipName_, fs::OpenMode::Read);
  LoadDirectory(*file);
}

int TPackageZip::EntryCount() const { return loaded_ ? static_cast<int>(entries_.size()) : 0; }

const ZipHeaderInfo& TPackageZip::Entry(int index) const {
  if (index < 0 || index >= EntryCount()) throw EListError("Index " + std::to_string(index) + " is out of range");
  return entries_[static_cast<std::size_t>(index)];
}

std::string TPackageZip::EntryFileName(int index) const { return Entry(index).fileName; }

std::string TPackageZip::EntryPathName(int index) const { return Entry(index).pathName; }

int TPackageZip::ExtractToMemory(std::vector<std::uint8_t>* stream, const std::string& name) {
  if (!stream || IsBlank(name)) return 0;
  std::unique_ptr<fs::RandomAccessFile> file = OpenPackage(zipName_, fs::OpenMode::Read);
  LoadDirectory(*file);
  const std::string wanted = LowerAscii(name);
  int count = 0;
  for (const ZipHeaderInfo& entry : entries_) {
    if (LowerAscii(FullName(entry)) != wanted) continue;
    if (entry.method != kStored && entry.method != kDeflated) {
      if (onMessage_) onMessage_("Unknown Compression Method", "Zip Error");
      continue;
    }
    const std::uint64_t dataOffset = LocateData(*file, entry, nullptr);
    // A Deflate stream of an allowed part is barely larger than the part (stored blocks).
    const std::uint64_t inputLimit = entry.method == kStored ? maxPartSize_ : maxPartSize_ + maxPartSize_ / 64 + 1024;
    const bool inputTooLarge = entry.compressedSize > inputLimit;
    if (inputTooLarge) throw EZipReadError(entry.storedName + " is larger than the part limit");
    std::vector<std::uint8_t> input(entry.compressedSize);
    ReadExactly(*file, dataOffset, input.data(), input.size());
    if (entry.method == kStored) {
      stream->insert(stream->end(), input.begin(), input.end());
    } else {
      InflateResult result = Inflate(input, maxPartSize_);
      if (result.status == InflateStatus::TooLarge) throw EZipReadError(entry.storedName + " is larger than the part limit");
      if (result.status != InflateStatus::Ok) throw EZipReadError(entry.storedName + " is damaged");
      stream->insert(stream->end(), result.data.begin(), result.data.end());
    }
    ++count;
  }
  return count;
}

int TPackageZip::ReplaceFromMemory(const std::vector<std::uint8_t>* stream, const std::string& name) {
  if (!stream || IsBlank(name)) return 0;
  const bool contentNeedsZip64 = stream->size() > kMax32;
  if (contentNeedsZip64) throw EZipWriteError("The zip file would need ZIP64, which is not supported");
  // Held for the whole operation: nobody else writes the package while we rebuild it.
  std::unique_ptr<fs::RandomAccessFile> package = OpenPackage(zipName_, fs::OpenMode::ReadWrite);
  LoadDirectory(*package);

  ZipHeaderInfo fresh;
  std::string storedName = name;
  std::replace(storedName.begin(), storedName.end(), '\\', '/');
  if (!storePaths_) storedName = storedName.substr(storedName.rfind('/') + 1);
  if (!storedName.empty() && storedName.front() == '/') storedName.erase(0, 1);
  const bool nameTooLong = storedName.size() > 0xffff;
  if (nameTooLong) throw EZipWriteError("Entry name too long");
  fresh.storedName = storedName;
  SplitName(fresh);
  fresh.versionMadeBy = 20;
  fresh.versionNeeded = 20;
  fresh.method = packLevel_ == 0 ? kStored : kDeflated;
  std::tie(fresh.modTime, fresh.modDate) = DosNow();
  fresh.crc32 = Crc32(*stream);
  fresh.externalAttributes = 0x20;
  std::vector<std::uint8_t> freshData = packLevel_ == 0 ? *stream : Deflate(*stream);
  const bool dataNeedsZip64 = freshData.size() > kMax32;
  if (dataNeedsZip64) throw EZipWriteError("The zip file would need ZIP64, which is not supported");
  fresh.compressedSize = static_cast<std::uint32_t>(freshData.size());
  fresh.uncompressedSize = static_cast<std::uint32_t>(stream->size());

  fs::ReplacementFile temporary(zipName_, "KPZ");
  if (!temporary.Valid()) throw EZipWriteError("Cannot create a temporary file beside " + zipName_);
  std::unique_ptr<fs::RandomAccessFile> out = OpenPackage(temporary.Path(), fs::OpenMode::ReadWrite);
  ArchiveWriter writer(*out);

  auto writeFresh = [&]() {
    fresh.localHeaderOffset = writer.NextLocalOffset();
    writer.Write(LocalHeader(fresh, {}));
    writer.Write(freshData);
    return fresh;
  };
  const std::string wanted = LowerAscii(name);
  std::vector<ZipHeaderInfo> written;
  bool replaced = false;
  for (const ZipHeaderInfo& entry : entries_) {
    if (LowerAscii(FullName(entry)) == wanted) {
      // The first match takes the new content; later duplicates are dropped.
      if (!replaced) written.push_back(writeFresh());
      replaced = true;
      continue;
    }
    written.push_back(CopyEntry(*package, entry, writer));
  }
  if (!replaced) written.push_back(writeFresh());

  const bool tooManyEntries = written.size() > kMaxEntries;
  if (tooManyEntries) throw EZipWriteError("The zip file would need ZIP64, which is not supported");
  const std::uint32_t directoryOffset = writer.NextLocalOffset();
  std::vector<std::uint8_t> directory;
  for (const ZipHeaderInfo& entry : written) AppendCentralRecord(directory, entry);
  const std::uint64_t directorySize = directory.size();
  const bool directoryNeedsZip64 = directorySize > kMax32 - directoryOffset;
  if (directoryNeedsZip64) throw EZipWriteError("The zip file would need ZIP64, which is not supported");
  Put32(directory, kEndSignature);
  Put16(directory, 0);
  Put16(directory, 0);
  Put16(directory, static_cast<std::uint16_t>(written.size()));
  Put16(directory, static_cast<std::uint16_t>(written.size()));
  Put32(directory, static_cast<std::uint32_t>(directorySize));
  Put32(directory, directoryOffset);
  Put16(directory, static_cast<std::uint16_t>(comment_.size()));
  PutBytes(directory, comment_.data(), comment_.size());
  writer.Write(directory);
  if (!out->Sync()) throw EZipWriteError("Cannot flush the temporary zip file");
  out.reset();

  // One step: at every moment either the old or the new package is on disk under its name.
  if (!temporary.Commit()) {
    throw EZipWriteError("Cannot move the new zip file over " + zipName_ + ": " + std::strerror(errno));
  }

  entries_ = std::move(written);
  loadedStamp_ = StampOfPackage();
  loaded_ = true;
  return 1;
}

}  // namespace kestrel::zip
