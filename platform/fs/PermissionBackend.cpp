// Generic: the read-only bit is the owner write bit (or R in the blob), hidden, system and
// archive live in Samba's user.DOSATTRIB blob. Fallback: the same without the blob.

#include <span>

#include <sys/stat.h>

#include "platform/fs/DosAttribBlob.h"
#include "platform/fs/ExtendedAttribute.h"
#include "platform/fs/StoredState.h"

namespace kestrel::fs::permission {

namespace {

constexpr std::uint32_t kAllWriteBits = S_IWUSR | S_IWGRP | S_IWOTH;

std::optional<DosAttribBlob> ParsedBlob(const StoredState& state) {
  if (!state.dosAttrib) return std::nullopt;
  return ParseDosAttribBlob(*state.dosAttrib);
}

std::optional<std::span<const std::uint8_t>> BlobBytes(const StoredState& state) {
  if (!state.dosAttrib) return std::nullopt;
  return std::span<const std::uint8_t>(*state.dosAttrib);
}

bool ChangeMode(const std::string& path, std::uint32_t mode) { return ::chmod(path.c_str(), mode) == 0; }

bool PutBlob(const std::string& path, const std::optional<std::vector<std::uint8_t>>& blob) {
  return blob ? WriteExtendedAttribute(path, kDosAttribName, *blob) : RemoveExtendedAttribute(path, kDosAttribName);
}

}  // namespace

std::uint32_t AttributeWord(const StoredState& state) {
  std::uint32_t word = (state.mode & S_IWUSR) == 0 ? kAttributeReadOnly : 0;
  if (const std::optional<DosAttribBlob> blob = ParsedBlob(state)) word |= blob->attributes & kFourAttributes;
  return word;
}

Timestamp Creation(const StoredState& state) {
  const std::optional<DosAttribBlob> blob = ParsedBlob(state);
  if (blob && blob->ValidCreateTime()) return TimestampOf(*blob->ValidCreateTime());
  return state.birth.value_or(state.lastWrite);
}

bool WriteAttributeWord(const std::string& path, const StoredState& now, std::uint32_t attributes) {
  const bool readOnly = (attributes & kAttributeReadOnly) != 0;
  StoredState wanted = now;
  if (readOnly) {
    wanted.mode &= ~kAllWriteBits;
  } else {
    wanted.mode |= S_IWUSR;
  }
  // A file that never had hidden, system or archive keeps no blob: its mode carries read-only.
  if (now.backend == Backend::Generic && (now.dosAttrib || (attributes & ~kAttributeReadOnly & kFourAttributes) != 0)) {
    const std::optional<DosAttribBlob> blob = ParsedBlob(now);
    const std::uint32_t otherBits = blob ? blob->attributes & ~kFourAttributes : 0;
    wanted.dosAttrib = UpdateDosAttribBlob(BlobBytes(now), otherBits | (attributes & kFourAttributes), std::nullopt);
  }

  // The blob goes while the file is still writable: before a-w, after u+w.
  bool blobPut = false;
  std::uint32_t reachedMode = now.mode;
  auto putBlob = [&] {
    if (wanted.dosAttrib != now.dosAttrib && PutBlob(path, wanted.dosAttrib)) blobPut = true;
  };
  if (readOnly) putBlob();
  if (wanted.mode != now.mode && ChangeMode(path, wanted.mode)) reachedMode = wanted.mode;
  if (!readOnly && reachedMode == wanted.mode) putBlob();
  const std::optional<std::vector<std::uint8_t>>& reachedBlob = blobPut ? wanted.dosAttrib : now.dosAttrib;
  const std::optional<DosAttribBlob> parsed = reachedBlob ? ParseDosAttribBlob(*reachedBlob) : std::nullopt;
  const bool readOnlyReached =
      (reachedMode & S_IWUSR) == 0 || (parsed && (parsed->attributes & kAttributeReadOnly) != 0);
  return readOnlyReached == readOnly;
}

bool WriteRecordedStore(const std::string& path, const StoredState& now, const FileRecord& record) {
  const bool blobChanges = now.backend == Backend::Generic && now.dosAttrib != record.dosAttrib;
  std::uint32_t mode = now.mode;
  bool blobPut = true;
  if (blobChanges) {
    if ((mode & S_IWUSR) == 0) {
      if (!ChangeMode(path, mode | S_IWUSR)) return false;
      mode |= S_IWUSR;
    }
    blobPut = PutBlob(path, record.dosAttrib);
  }
  if (mode != record.mode && !ChangeMode(path, record.mode)) return false;
  return blobPut;
}

CreationWrite WriteCreationTime(const std::string& path, const StoredState& now, time::FileTime creation) {
  if (now.backend != Backend::Generic) return CreationWrite::NotPossible;
  const std::optional<DosAttribBlob> blob = ParsedBlob(now);
  const std::uint32_t attributes = blob ? blob->attributes : AttributeWord(now);
  const std::vector<std::uint8_t> bytes = UpdateDosAttribBlob(BlobBytes(now), attributes, creation);
  return WriteExtendedAttribute(path, kDosAttribName, bytes) ? CreationWrite::Written : CreationWrite::Failed;
}

}  // namespace kestrel::fs::permission
