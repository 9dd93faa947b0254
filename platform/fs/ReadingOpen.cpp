#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

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
  // Nobody writes to it while our lock is held, so the identity first asked for stays true.
  std::optional<FileIdentity> Identity() const override {
    if (!identity_) identity_ = file_->Identity();
    return *identity_;
  }
  std::optional<FileRecord> Record() const override { return file_->Record(); }

 private:
  static Outcome ReadOnly() { return Outcome::Failure(FailureKind::ReadOnly, "opened for reading only"); }

  std::unique_ptr<RandomAccessFile> file_;  // holds the lock
  std::vector<unsigned char> bytes_;
  mutable std::optional<std::optional<FileIdentity>> identity_;
};

}  // namespace

OpenResult OpenForReading(const std::string& path) {
  OpenResult opened = OpenFile(path, OpenMode::Read);
  if (!opened.file || opened.file->Size() > kWholeFileLimit) return opened;
  std::vector<unsigned char> bytes(static_cast<std::size_t>(opened.file->Size()));
  // A file that cannot be read whole now is left to the parsers, whose reads then fail with a reason.
  if (!opened.file->ReadAt(0, bytes.data(), bytes.size())) return opened;
  opened.file = std::make_unique<LoadedFile>(std::move(opened.file), std::move(bytes));
  return opened;
}

std::optional<FileRecord> RecordOf(const OpenResult& opened, const std::string& path) {
  std::optional<FileRecord> record = opened.file ? opened.file->Record() : std::nullopt;
  return record ? record : ReadFileRecord(path);
}

}  // namespace kestrel::fs
