// TPackageZip reads single entries of a ZIP package into memory and rewrites the package with
// one entry replaced, never unpacking it to disk and never leaving it damaged.
//
// Usage: assign RelativePaths and ZipName, call OpenArchive, list the entries with EntryCount,
// EntryFileName and EntryPathName, then call ExtractToMemory and ReplaceFromMemory as needed.
// Each operation opens the package itself and closes it before it returns. Not thread-safe:
// one operation at a time.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace kestrel::fs {
class RandomAccessFile;
}

namespace kestrel::zip {

// Base of every error this component raises.
class EZipError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
// The file has no end-of-central-directory record ("Not a valid zip file!").
class ENotAZipFile : public EZipError {
 public:
  using EZipError::EZipError;
};
// The central directory is damaged and no local header was found either.
class EBadZipFile : public EZipError {
 public:
  using EZipError::EZipError;
};
// An entry index outside 0 .. EntryCount() - 1 ("Index %d is out of range").
class EListError : public EZipError {
 public:
  using EZipError::EZipError;
};
// The package cannot be opened, read or locked, or an entry's data cannot be decoded.
class EZipReadError : public EZipError {
 public:
  using EZipError::EZipError;
};
// Building or installing the new package failed; the package on disk is unchanged.
class EZipWriteError : public EZipError {
 public:
  using EZipError::EZipError;
};

enum class IncompleteZipMode {
  izAssumeMulti,    // part of a multi-disk set
  izAssumeBad,      // damaged: rebuild the directory from the local headers
  izAssumeNotAZip,  // no archive at all
};

// One entry as its central-directory record describes it.
struct ZipHeaderInfo {
  std::uint16_t versionMadeBy = 0;
  std::uint16_t versionNeeded = 0;
  std::uint16_t flags = 0;
  std::uint16_t method = 0;
  std::uint16_t modTime = 0;
  std::uint16_t modDate = 0;
  std::uint32_t crc32 = 0;
  std::uint32_t compressedSize = 0;
  std::uint32_t uncompressedSize = 0;
  std::uint16_t diskNumberStart = 0;
  std::uint16_t internalAttributes = 0;
  std::uint32_t externalAttributes = 0;
  std::uint32_t localHeaderOffset = 0;
  std::string storedName;  // as in the archive, with "/"
  std::vector<std::uint8_t> centralExtra;
  std::vector<std::uint8_t> comment;
  std::string fileName;  // after the last separator
  std::string pathName;  // folder part with "\" and a trailing "\"; empty at the top level
};

class TPackageZip {
 public:
  // Shown to the user by the GUI; the component itself never shows anything.
  using MessageCallback = std::function<void(const std::string& message, const std::string& title)>;

  TPackageZip() = default;
  TPackageZip(const TPackageZip&) = delete;
  TPackageZip& operator=(const TPackageZip&) = delete;
  TPackageZip(TPackageZip&&) = default;
  TPackageZip& operator=(TPackageZip&&) = default;

  // Assigning a path that differs, ignoring ASCII case, discards the loaded directory.
  void SetZipName(const std::string& path);
  const std::string& ZipName() const { return zipName_; }

  // True also makes written entries keep the folder part of their names.
  void SetRelativePaths(bool on);
  bool RelativePaths() const { return relativePaths_; }

  // 0 stores new entries; 1 to 9 deflate them. Other values throw std::invalid_argument.
  void SetPackLevel(int level);
  int PackLevel() const { return packLevel_; }

  // What to assume when no end-of-central-directory record is found. The start value is the
  // program's choice, izAssumeNotAZip; izAssumeBad rebuilds the directory from the local headers.
  // Multi-disk sets are not supported, so izAssumeMulti also raises ENotAZipFile.
  void SetIncompleteZipMode(IncompleteZipMode mode) { incompleteZipMode_ = mode; }

  // Receives "Unknown Compression Method" / "Zip Error" for an entry of an unsupported method.
  void SetOnMessage(MessageCallback callback) { onMessage_ = std::move(callback); }

  // A part that inflates to more than this is a failed read (EZipReadError). 64 MiB by default.
  void SetMaxPartSize(std::size_t bytes) { maxPartSize_ = bytes; }

  // Reads the directory of ZipName, unless the one loaded for it is still current (same
  // last-write time and size). Throws ENotAZipFile, EBadZipFile or EZipReadError.
  void OpenArchive();

  // 0 when no directory is loaded.
  int EntryCount() const;
  // The halves of an entry's name; throw EListError outside 0 .. EntryCount() - 1.
  std::string EntryFileName(int index) const;
  std::string EntryPathName(int index) const;
  // The whole directory record of an entry; throws EListError like the two above.
  const ZipHeaderInfo& Entry(int index) const;
  // The archive comment of the loaded directory.
  const std::vector<std::uint8_t>& ArchiveComment() const { return comment_; }

  // Appends to *stream the content of every entry whose full name ("docProps\core.xml") equals
  // `name` ignoring ASCII case; returns how many were delivered. A null stream or a name of only
  // blanks returns 0. Throws what OpenArchive throws, and EZipReadError for data that cannot be
  // read or decoded, or that inflates to more than the part limit.
  int ExtractToMemory(std::vector<std::uint8_t>* stream, const std::string& name);

  // Rewrites the package with the entry `name` (matched ignoring ASCII case) holding *stream,
  // appended when no entry matches; every other entry is carried over byte for byte. Returns 1,
  // or 0 for a null stream or a name of only blanks. The new package replaces the old one in a
  // single rename; on any error the package is left byte-identical and the error propagates.
  int ReplaceFromMemory(const std::vector<std::uint8_t>* stream, const std::string& name);

 private:
  // Identifies the version of the file a directory was read from.
  struct FileStamp {
    std::int64_t mtimeNs = 0;
    std::uint64_t size = 0;
    friend bool operator==(const FileStamp&, const FileStamp&) = default;
  };

  std::optional<FileStamp> StampOfPackage() const;
  // Reads the directory from `file` unless the loaded one is still current.
  void LoadDirectory(fs::RandomAccessFile& file);

  std::string zipName_;
  bool relativePaths_ = false;
  bool storePaths_ = false;
  int packLevel_ = 6;
  IncompleteZipMode incompleteZipMode_ = IncompleteZipMode::izAssumeNotAZip;
  MessageCallback onMessage_;
  std::size_t maxPartSize_ = std::size_t{64} << 20;

  bool loaded_ = false;
  std::optional<FileStamp> loadedStamp_;
  std::vector<ZipHeaderInfo> entries_;
  std::vector<std::uint8_t> comment_;
};

}  // namespace kestrel::zip
