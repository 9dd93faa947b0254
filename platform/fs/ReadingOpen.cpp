#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include <sys/stat.h>

#include "platform/fs/FileIo.h"

namespace kestrel::fs {

namespace {

// Documents are mostly smaller than this; a larger one is read where the parsers ask.
constexpr std::uint64_t kWholeFileLimit = 256 * 1024;

// The open file with its bytes in memory.
class LoadedFile final : public RandomAccessFile {
 public:
  LoadedFile(std::unique_ptr<RandomAccessFile> file, std::vector<unsigned char> bytes)
      : file_(std::move(file)), bytes_(std::move(bytes)) {}

  std::uint64_t Size() const override { return bytes_.size(); }
  Outcome ReadAt(std::uint64_t offset, void* buffer, std::size_t n) override {
    const bool inside = offset <= bytes_.size() && n <= bytes_.size() - offset;
    if (!inside) {
      return Outcome::Failure(FailureKind::Io, "cannot read at offset " + std::to_string(offset) +
                                                   ": the file ends before the bytes asked for");
    }
    if (n > 0) std::memcpy(buffer, bytes_.data() + offset, n);
    return Outcome::Success();
  }
  Outcome WriteAt(std::uint64_t, const void*, std::size_t) override { return ReadOnly(); }
  Outcome Sync() override { return ReadOnly(); }
  // Nobody who heeds our lock writes to it, so the identity first asked for stays true until the
  // lock changes.
  std::optional<FileIdentity> Identity() const override {
    if (!identity_) identity_ = file_->Identity();
    return *identity_;
  }
  std::optional<FileRecord> Record() const override { return file_->Record(); }
  // Under the exclusive lock the file is looked at afresh: a writer that ignores locks shows.
  Outcome LockToReplace() override {
    identity_.reset();
    return file_->LockToReplace();
  }

 private:
  static Outcome ReadOnly() { return Outcome::Failure(FailureKind::ReadOnly, "opened for reading only"); }

  std::unique_ptr<RandomAccessFile> file_;  // holds the lock
  std::vector<unsigned char> bytes_;
  mutable std::optional<std::optional<FileIdentity>> identity_;
};

}  // namespace

std::unique_ptr<RandomAccessFile> LoadWhenSmall(std::unique_ptr<RandomAccessFile> file) {
  if (file->Size() > kWholeFileLimit) return file;
  std::vector<unsigned char> bytes(static_cast<std::size_t>(file->Size()));
  // A file that cannot be read whole now is left to the parsers, whose reads then fail with a reason.
  if (!file->ReadAt(0, bytes.data(), bytes.size())) return file;
  return std::make_unique<LoadedFile>(std::move(file), std::move(bytes));
}

OpenResult OpenForReading(const std::string& path) {
  OpenResult opened = OpenFile(path, OpenMode::Read);
  if (opened.file) opened.file = LoadWhenSmall(std::move(opened.file));
  return opened;
}

bool NamesFile(const std::string& path, const FileIdentity& identity) {
  struct stat named {};
  return ::stat(path.c_str(), &named) == 0 && static_cast<std::uint64_t>(named.st_dev) == identity.device &&
         static_cast<std::uint64_t>(named.st_ino) == identity.inode;
}

std::optional<FileRecord> RecordOf(const OpenResult& opened, const std::string& path) {
  std::optional<FileRecord> record = opened.file ? opened.file->Record() : std::nullopt;
  return record ? record : ReadFileRecord(path);
}

}  // namespace kestrel::fs
