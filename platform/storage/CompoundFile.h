#pragma once
// A compound file (structured storage), versions 3 and 4, opened for the length of one operation.
//
// Reading trusts nothing: every sector number, chain and size read from the file is checked
// before use, and a damaged part reads as absent (nullopt) instead of crashing.
//
// Writing goes to the file directly, with no transaction, in an order that leaves a file every
// reader can open at every single write: new content goes to free sectors first, the directory
// entry switches to it with one write, and only then are the old sectors freed. A write mode open
// first checks the whole structure (no sector in two chains, no loop, nothing past the end) and
// refuses a damaged file, so nothing is ever written into a file we do not fully understand.
// After any failed write the object refuses further writes.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fs/FileIo.h"

namespace kestrel::storage {

using EntryId = std::uint32_t;
inline constexpr EntryId kRootEntry = 0;

enum class OpenError {
  None,
  NotFound,
  Locked,
  ReadOnly,
  NotCompoundFile,  // no compound-file signature, or too short for a header
  Damaged,          // the signature is there but the structure does not hold together
  Io,
};

class CompoundFile {
 public:
  // Read takes a shared lock, ReadWrite an exclusive one (through fs::OpenFile); both are held
  // until the object is destroyed.
  static std::unique_ptr<CompoundFile> Open(const std::string& path, fs::OpenMode mode,
                                            OpenError* error = nullptr);

  // Like StgIsStorageFile: the file exists and starts with the compound-file signature.
  static bool IsCompoundFile(const std::string& path);

  ~CompoundFile();
  CompoundFile(const CompoundFile&) = delete;
  CompoundFile& operator=(const CompoundFile&) = delete;

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

  // The writing operations need ReadWrite mode.

  // Overwrites bytes in place, inside the stream's current size.
  bool WriteStreamRange(EntryId stream, std::uint64_t offset, std::span<const std::uint8_t> data);
  // Replaces the whole content with content of any size, in new sectors (mini stream below the
  // cutoff, normal sectors from it on); the entry switches in one write, then the old sectors
  // are freed.
  bool ReplaceStream(EntryId stream, std::span<const std::uint8_t> content);
  // Truncates or zero-extends, by the same copy-and-switch as ReplaceStream.
  bool SetStreamSize(EntryId stream, std::uint64_t size);
  // A new stream with this content in a storage, linked into the storage's red-black tree; the
  // file shows either no new stream or the complete one. nullopt when the name exists already.
  std::optional<EntryId> CreateStream(EntryId storage, std::u16string_view name,
                                      std::span<const std::uint8_t> content);
  // Everything written reaches the disk.
  bool Flush();

 private:
  struct State;
  explicit CompoundFile(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

}  // namespace kestrel::storage
