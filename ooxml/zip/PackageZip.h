// zip::Package reads single entries of a ZIP package into memory and rewrites the package with
// some entries replaced, never unpacking it to disk and never leaving it damaged.
//
// Usage: assign RelativePaths and ZipName, call OpenArchive, list the entries with EntryCount,
// EntryFileName and EntryPathName, then call ExtractToMemory and ReplaceEntriesFromMemory as
// needed. Each operation opens the package itself and closes it before it returns. Every
// operation that can fail answers with an Outcome or a Result naming what failed and where:
// NotADocument for a file that is no ZIP package, Damaged for a directory, local header or entry
// that does not hold together, Unsupported for what we do not decode or write, InvalidValue for
// an argument out of range, and fs::DescribeOpenError's kinds, or Io with the system's words, when
// the file cannot be opened, read or written. Nothing here throws except std::bad_alloc; where a
// part or a directory is held in memory, running out of it is Io too.
// Not thread-safe: one operation at a time.
#pragma once

#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/Outcome.h"
#include "platform/fs/FileIo.h"
#include "platform/fs/ReplacementFile.h"

namespace kestrel::zip {

enum class IncompleteZipMode {
  AssumeMultiDisk,  // part of a multi-disk set
  AssumeDamaged,    // damaged: rebuild the directory from the local headers
  AssumeNotAZip,    // no archive at all
};

// How large a directory is read: past either limit a package is refused as Unsupported. A
// directory is held whole in memory, its entries several times over while a package is rewritten.
struct DirectoryLimits {
  std::uint64_t entries = std::numeric_limits<std::uint64_t>::max();
  std::uint64_t bytes = std::uint64_t{32} << 20;  // of the central directory, or of rebuilt records
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

// How a document's rewrite ends: the state its new file takes before its name (see
// fs::ReplacementFile::Commit), the version of the package it was planned on, and the commit's
// steps (who syncs the folder; what runs right before the package changes).
struct RewriteOptions {
  const fs::FinalState* state = nullptr;
  const fs::FileIdentity* readAs = nullptr;
  fs::CommitSteps steps;
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

  // 0 stores new entries; 1 to 9 deflate them. Other values are refused (InvalidValue).
  Outcome SetPackLevel(int level);
  int PackLevel() const { return packLevel_; }

  // What to assume when no end-of-central-directory record is found. The start value is the
  // program's choice, AssumeNotAZip; AssumeDamaged rebuilds the directory from the local headers.
  // Multi-disk sets are not supported, so AssumeMultiDisk also finds no ZIP package there.
  void SetIncompleteZipMode(IncompleteZipMode mode) { incompleteZipMode_ = mode; }

  // A part that inflates to more than this is refused as Damaged. 64 MiB by default.
  void SetMaxPartSize(std::size_t bytes) { maxPartSize_ = bytes; }
  void SetDirectoryLimits(DirectoryLimits limits) { directoryLimits_ = limits; }

  // While set, OpenArchive, ExtractToMemory and ReplaceEntriesFromMemory read through `file` (ZipName opened and locked by
  // the caller) instead of opening ZipName themselves; nullptr goes back to opening it. The caller
  // keeps the file alive while it is set.
  void ReadThrough(fs::RandomAccessFile* file) { lentFile_ = file; }

  // Reads the directory of ZipName, unless the one loaded for it is still current (the same file:
  // device, inode, size, last-write and change times). NotADocument ("Not a valid zip file!")
  // when the file holds no ZIP package; the failures of opening or reading it.
  Outcome OpenArchive();

  // 0 when no directory is loaded.
  int EntryCount() const;
  // The halves of an entry's name; InvalidValue ("Index 12 is out of range") outside
  // 0 .. EntryCount() - 1.
  Result<std::string> EntryFileName(int index) const;
  Result<std::string> EntryPathName(int index) const;
  // The whole directory record of an entry; refused like the two above.
  Result<ZipHeaderInfo> Entry(int index) const;
  // The archive comment of the loaded directory.
  const std::vector<std::uint8_t>& ArchiveComment() const { return comment_; }

  // Appends to *stream the content of every entry whose full name ("docProps\core.xml") equals
  // `name` ignoring ASCII case; returns how many were delivered. A null stream or a name of only
  // blanks returns 0. Fails as OpenArchive does; Unsupported for a matching entry of another
  // compression method than stored or Deflate, naming the entry and the method; Damaged for an
  // entry whose local header or data is not where its record says, whose data cannot be decoded,
  // whose CRC is wrong, or that inflates to more than the part limit; Io for data that cannot be
  // read.
  Result<int> ExtractToMemory(std::vector<std::uint8_t>* stream, const std::string& name);

  // Rewrites the package once with each named entry (matched ignoring ASCII case; "\" and "/"
  // alike) holding its new content under the name it had, appended when no entry matches; a later
  // entry of the same name is dropped. Every other entry is carried over as it is, local header and data descriptor
  // included. Entries with names of only blanks are skipped; returns how many were stored.
  //
  // The directory is read afresh from the package under its exclusive lock, whatever is cached:
  // through the lent file, once its lock is made exclusive, or else opened anew. The package is
  // only read, so a read-only one is rewritten too. The new file takes `options.state` before its
  // name, or without one the package's own owner, user attributes and permission bits.
  // A symbolic link is followed: its target is rewritten and the link stays. The new file is
  // written beside the package, synced, its directory and local headers read back from the file
  // (a small one in one read) and compared with what was meant, and renamed over the package in one step. Refused before
  // anything is written, saying why: a name given twice or too long (InvalidValue), a directory
  // rebuilt from local headers or entries whose bytes overlap (Damaged), a size or offset that
  // would need a ZIP64 field the record does not have (Unsupported), a package with more than one
  // hard link (Io, as every failure to make or install the new file), a package that is no longer
  // the version `options.readAs` identifies, or no longer under its name, when given (HeldOpen). On any failure the package
  // is left byte-identical and no temporary file remains; a failure past the opening of the
  // package names it in front ("/x/a.docx: entry 1 (word/b.xml) overlaps entry 0 (word/a.xml)").
  Result<int> ReplaceEntriesFromMemory(std::span<const EntryReplacement> replacements,
                                       const RewriteOptions& options = {});

  // ReplaceEntriesFromMemory with one entry; 0 for a null stream or a name of only blanks.
  Result<int> ReplaceFromMemory(const std::vector<std::uint8_t>* stream, const std::string& name);

 private:
  // Identifies the version of the file a directory was read from: a file put in its place, or
  // written in place with its last-write time put back, changes the inode or the change time.
  // Reads the directory from `file` unless the loaded one was read from the same file in the
  // same version (its identity); a file without one is read every time.
  Outcome LoadDirectory(fs::RandomAccessFile& file);
  void DropDirectory();
  // The lent file, or ZipName opened for reading (kept in `opened`).
  Result<fs::RandomAccessFile*> FileToRead(std::unique_ptr<fs::RandomAccessFile>& opened) const;
  // ReplaceEntriesFromMemory but for running out of memory.
  Result<int> Rewrite(std::span<const EntryReplacement> replacements, const RewriteOptions& options);

  std::string zipName_;
  bool relativePaths_ = false;
  bool storePaths_ = false;
  int packLevel_ = 6;
  IncompleteZipMode incompleteZipMode_ = IncompleteZipMode::AssumeNotAZip;
  std::size_t maxPartSize_ = std::size_t{64} << 20;
  DirectoryLimits directoryLimits_;
  fs::RandomAccessFile* lentFile_ = nullptr;

  bool loaded_ = false;
  std::optional<fs::FileIdentity> loadedKey_;  // nullopt: the loaded directory is never reused
  std::vector<ZipHeaderInfo> entries_;
  std::vector<std::uint8_t> comment_;
};

}  // namespace kestrel::zip
