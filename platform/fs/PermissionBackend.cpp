// Generic: the read-only bit is the owner write bit (or R in the blob), hidden, system and
// archive live in Samba's user.DOSATTRIB blob. Fallback: the same without the blob.

#include <span>

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "platform/fs/DosAttribBlob.h"
#include "platform/fs/ExtendedAttribute.h"
#include "platform/fs/StoredState.h"

namespace kestrel::fs::permission {

namespace {

std::optional<DosAttribBlob> ParsedBlob(const StoredState& state) {
  if (!state.dosAttrib) return std::nullopt;
  return ParseDosAttribBlob(*state.dosAttrib);
}

std::optional<std::span<const std::uint8_t>> BlobBytes(const StoredState& state) {
  if (!state.dosAttrib) return std::nullopt;
  return std::span<const std::uint8_t>(*state.dosAttrib);
}

Outcome ChangeMode(const std::string& path, std::uint32_t mode) {
  if (::chmod(path.c_str(), mode) == 0) return Outcome::Success();
  return Outcome::Failure(FailureKind::Io, std::string("cannot set its permissions: ") + std::strerror(errno));
}

Outcome PutBlob(const std::string& path, const std::optional<std::vector<std::uint8_t>>& blob) {
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

Outcome WriteRecordedStore(const std::string& path, const StoredState& now, const FileRecord& record) {
  const bool blobChanges = now.backend == Backend::Generic && now.dosAttrib != record.dosAttrib;
  std::uint32_t mode = now.mode;
  Outcome blobPut = Outcome::Success();
  if (blobChanges) {
    if ((mode & S_IWUSR) == 0) {
      if (Outcome lifted = ChangeMode(path, mode | S_IWUSR); !lifted) return lifted;
      mode |= S_IWUSR;
    }
    blobPut = PutBlob(path, record.dosAttrib);
  }
  if (mode != record.mode) {
    if (Outcome set = ChangeMode(path, record.mode); !set) return set;
  }
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
