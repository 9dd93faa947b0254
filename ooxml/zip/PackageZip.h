// zip::Package reads single entries of a ZIP package into memory and rewrites the package with
// some entries replaced, never unpacking it to disk and never leaving it damaged.
//
// Usage: assign RelativePaths and ZipName, call OpenArchive, list the entries with EntryCount,
// EntryFileName and EntryPathName, then call ExtractToMemory and ReplaceEntriesFromMemory as
// needed. Each operation opens the package itself and closes it before it returns. Every
// operation reports failure by throwing zip::Error or one of the errors below derived from it.
// Not thread-safe: one operation at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/fs/FileIo.h"
#include "platform/fs/ReplacementFile.h"

namespace kestrel::zip {

// Base of every error this component raises.
class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
// The file has no end-of-central-directory record ("Not a valid zip file!").
class NotAZipFile : public Error {
 public:
  using Error::Error;
};
// The central directory is damaged and no local header was found either.
class DamagedZipFile : public Error {
 public:
  using Error::Error;
};
// An entry index outside 0 .. EntryCount() - 1 ("Index %d is out of range").
class IndexOutOfRange : public Error {
 public:
  using Error::Error;
};
// The package cannot be opened, read or locked, or an entry's data cannot be decoded.
class ReadError : public Error {
 public:
  using Error::Error;
};
// An entry is compressed by a method this component does not decode (only stored and Deflate);
// the message names the entry and the method.
class UnsupportedMethod : public ReadError {
 public:
  using ReadError::ReadError;
};
// The package cannot be rewritten exactly (its layout does not hold together, or the new file did
// not read back as planned), or building or installing the new package failed. The package on
// disk is unchanged; the message says what failed and where.
class WriteError : public Error {
 public:
  using Error::Error;
};

enum class IncompleteZipMode {
  AssumeMultiDisk,  // part of a multi-disk set
  AssumeDamaged,    // damaged: rebuild the directory from the local headers
  AssumeNotAZip,    // no archive at all
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
  std::uint64_t compressedSize = 0;  // ZIP64 extra fields applied
  std::uint64_t uncompressedSize = 0;
  std::uint16_t diskNumberStart = 0;
  std::uint16_t internalAttributes = 0;
  std::uint32_t externalAttributes = 0;
  std::uint64_t localHeaderOffset = 0;
  std::string storedName;  // as in the archive, with "/"
  std::vector<std::uint8_t> centralExtra;
  std::vector<std::uint8_t> comment;
  std::string fileName;  // after the last separator
  std::string pathName;  // folder part with "\" and a trailing "\"; empty at the top level
};

// One entry to store: its full name ("docProps\core.xml") and its new content, which the caller
// keeps alive for the call.
struct EntryReplacement {
  std::string name;
  std::span<const std::uint8_t> content;
};

class Package {
 public:
  Package() = default;
  Package(const Package&) = delete;
  Package& operator=(const Package&) = delete;
  Package(Package&&) = default;
  Package& operator=(Package&&) = default;

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
  // program's choice, AssumeNotAZip; AssumeDamaged rebuilds the directory from the local headers.
  // Multi-disk sets are not supported, so AssumeMultiDisk also raises NotAZipFile.
  void SetIncompleteZipMode(IncompleteZipMode mode) { incompleteZipMode_ = mode; }

  // A part that inflates to more than this is a failed read (ReadError). 64 MiB by default.
  void SetMaxPartSize(std::size_t bytes) { maxPartSize_ = bytes; }

  // While set, OpenArchive and ExtractToMemory read through `file` (ZipName opened and locked by
  // the caller) instead of opening ZipName themselves; nullptr goes back to opening it. The caller
  // keeps the file alive while it is set.
  void ReadThrough(fs::RandomAccessFile* file) { lentFile_ = file; }

  // Reads the directory of ZipName, unless the one loaded for it is still current (the same file:
  // device, inode, size, last-write and change times). Throws NotAZipFile, DamagedZipFile or
  // ReadError.
  void OpenArchive();

  // 0 when no directory is loaded.
  int EntryCount() const;
  // The halves of an entry's name; throw IndexOutOfRange outside 0 .. EntryCount() - 1.
  std::string EntryFileName(int index) const;
  std::string EntryPathName(int index) const;
  // The whole directory record of an entry; throws IndexOutOfRange like the two above.
  const ZipHeaderInfo& Entry(int index) const;
  // The archive comment of the loaded directory.
  const std::vector<std::uint8_t>& ArchiveComment() const { return comment_; }

  // Appends to *stream the content of every entry whose full name ("docProps\core.xml") equals
  // `name` ignoring ASCII case; returns how many were delivered. A null stream or a name of only
  // blanks returns 0. Throws what OpenArchive throws, UnsupportedMethod for a matching entry of
  // another compression method, and ReadError for data that cannot be read or decoded, whose CRC
  // is wrong, or that inflates to more than the part limit.
  int ExtractToMemory(std::vector<std::uint8_t>* stream, const std::string& name);

  // Rewrites the package once with each named entry (matched ignoring ASCII case; "\" and "/"
  // alike) holding its new content under the name it had, appended when no entry matches; a later
  // entry of the same name is dropped. Every other entry is carried over as it is, local header and data descriptor
  // included. Entries with names of only blanks are skipped; returns how many were stored.
  //
  // The directory is read afresh from the package under its exclusive lock, whatever is cached;
  // the package is only read, so a read-only one is rewritten too. The new file takes `state`
  // before its name (see fs::ReplacementFile::Commit), or without one the package's own owner,
  // user attributes and permission bits.
  // A symbolic link is followed: its target is rewritten and the link stays. The new file is
  // written beside the package, synced, its directory and local headers read back from the file
  // and compared with the old ones, and renamed over the package in one step. Refused before
  // anything is written, with WriteError saying why: a package with more than one hard link,
  // a directory rebuilt from local headers, entries whose bytes overlap, a size or offset that
  // would need a ZIP64 field the record does not have. On any error the package is left
  // byte-identical, no temporary file remains, and the error propagates (ReadError when the
  // package cannot be opened or locked, WriteError otherwise).
  int ReplaceEntriesFromMemory(std::span<const EntryReplacement> replacements, const fs::FinalState* state = nullptr);

  // ReplaceEntriesFromMemory with one entry; 0 for a null stream or a name of only blanks.
  int ReplaceFromMemory(const std::vector<std::uint8_t>* stream, const std::string& name);

 private:
  // Identifies the version of the file a directory was read from: a file put in its place, or
  // written in place with its last-write time put back, changes the inode or the change time.
  // Reads the directory from `file` unless the loaded one was read from the same file in the
  // same version (its identity); a file without one is read every time.
  void LoadDirectory(fs::RandomAccessFile& file);
  void DropDirectory();
  // The lent file, or ZipName opened for reading (kept in `opened`).
  fs::RandomAccessFile& FileToRead(std::unique_ptr<fs::RandomAccessFile>& opened) const;

  std::string zipName_;
  bool relativePaths_ = false;
  bool storePaths_ = false;
  int packLevel_ = 6;
  IncompleteZipMode incompleteZipMode_ = IncompleteZipMode::AssumeNotAZip;
  std::size_t maxPartSize_ = std::size_t{64} << 20;
  fs::RandomAccessFile* lentFile_ = nullptr;

  bool loaded_ = false;
  std::optional<fs::FileIdentity> loadedKey_;  // nullopt: the loaded directory is never reused
  std::vector<ZipHeaderInfo> entries_;
  std::vector<std::uint8_t> comment_;
};

}  // namespace kestrel::zip
