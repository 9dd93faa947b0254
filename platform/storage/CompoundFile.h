#pragma once
// A compound file (structured storage), versions 3 and 4, opened for the length of one operation.
//
// Reading trusts nothing: every sector number, chain and size read from the file is checked
// before use, and a damaged part reads as absent (nullopt) instead of crashing.
//
// Writing is one transaction per Commit, copy-on-write: every new or changed sector goes to a
// place the file as it stands does not reference (a sector its FAT marks free, or past the end),
// then a sync, then one write of the header switches the file to the new tables, then a sync.
// A kill or failure at any instant leaves the old file or the new one, whole. A write mode open
// first checks the whole structure (no sector in two chains, no loop, nothing past the end) and
// refuses a damaged file, so nothing is ever written into a file we do not fully understand.
// After any failed commit the object refuses further commits.
//
// Nothing here throws (std::bad_alloc aside).

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Outcome.h"
#include "platform/fs/FileIo.h"

namespace kestrel::storage {

using EntryId = std::uint32_t;
inline constexpr EntryId kRootEntry = 0;

// Edits staged in memory, applied together by CompoundFile::Commit; nothing touches a file until
// then. They apply in the order given: a Patch after a Replace of the same stream patches the new
// content. Checking (known entries, offsets, names) happens in Commit.
class StreamEdits {
 public:
  // The stream's whole new content, of any size (it may move between the mini stream and
  // normal sectors).
  void Replace(EntryId stream, std::vector<std::uint8_t> content);
  // New bytes at `offset`, inside the stream's size: only the sectors they touch are copied.
  void Patch(EntryId stream, std::uint64_t offset, std::vector<std::uint8_t> bytes);
  // A new stream in `storage`, linked into the storage's red-black tree. Find its id with
  // FindChild after the commit.
  void Create(EntryId storage, std::u16string name, std::vector<std::uint8_t> content);
  bool Empty() const { return edits_.empty(); }

  enum class Kind { Replace, Patch, Create };
  struct Edit {
    Kind kind;
    EntryId entry;  // the stream, or for Create the storage
    std::uint64_t offset = 0;
    std::u16string name;
    std::vector<std::uint8_t> bytes;
  };
  const std::vector<Edit>& Edits() const { return edits_; }

 private:
  std::vector<Edit> edits_;
};

class CompoundFile {
 public:
  // Read takes a shared lock, ReadWrite an exclusive one (through fs::OpenFile); both are held
  // until the object is destroyed. A refusal says why: NotFound, HeldOpen or ReadOnly in the file
  // door's words; NotADocument without the compound-file signature; Damaged saying what does not
  // hold together ("damaged compound file: the FAT chain of entry 5 loops"); Unsupported for a
  // directory larger than any document's; Io with the system's words when a read failed.
  static Result<std::unique_ptr<CompoundFile>> Open(const std::string& path, fs::OpenMode mode);
  // The same on a file the caller opened (and locked) already; `mode` says whether commits are
  // allowed and must match how the file was opened. The object owns the file from here on (on
  // failure it is closed, its lock with it); File() lends it out.
  static Result<std::unique_ptr<CompoundFile>> Open(std::unique_ptr<fs::RandomAccessFile> file, fs::OpenMode mode);

  // Like StgIsStorageFile: the file exists and starts with the compound-file signature.
  static bool IsCompoundFile(const std::string& path);

  ~CompoundFile();
  CompoundFile(const CompoundFile&) = delete;
  CompoundFile& operator=(const CompoundFile&) = delete;

  // The open file, for whatever the caller does under the same lock after a commit (its times,
  // for example). Writing into it behind this object's back voids everything said here.
  fs::RandomAccessFile& File();

  // A child of a storage by name, compared the compound-file way (shorter names first, then
  // code unit by code unit in upper case).
  std::optional<EntryId> FindChild(EntryId storage, std::u16string_view name) const;
  bool IsStream(EntryId entry) const;
  bool IsStorage(EntryId entry) const;
  std::uint64_t StreamSize(EntryId stream) const;

  // The whole stream; nullopt when its chain is damaged.
  std::optional<std::vector<std::uint8_t>> ReadStream(EntryId stream) const;
  // Up to `count` bytes from `offset`; fewer when the stream ends first; nullopt on damage.
  std::optional<std::vector<std::uint8_t>> ReadStreamRange(EntryId stream, std::uint64_t offset,
                                                            std::size_t count) const;

  // Needs ReadWrite mode. Plans the whole new structure in memory first: any refusal (an unknown
  // entry, a patch outside its stream, a name that exists or is not allowed, a version 3 stream
  // of 4 GiB or more, no sector numbers left) writes nothing. Then writes every new sector where
  // the current file references nothing, syncs, writes the header (the one switch) and syncs:
  // at most two syncs. Edits that change no byte write nothing. A failed write is FailureKind::Io
  // and leaves the old file whole; the object then refuses further commits. Reads through this
  // object see the new content after a successful commit.
  Outcome Commit(const StreamEdits& edits);

 private:
  struct State;
  explicit CompoundFile(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

}  // namespace kestrel::storage
