#pragma once
// An in-memory file behind the fs::OpenFile seam, so fuzz targets drive the real open path
// (reads and writes) without touching the disk.

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/fs/FileIo.h"

namespace kestrel::fuzz {

class MemoryFile final : public fs::RandomAccessFile {
 public:
  explicit MemoryFile(std::shared_ptr<std::vector<std::uint8_t>> bytes) : bytes_(std::move(bytes)) {}
  std::uint64_t Size() const override { return bytes_->size(); }
  Outcome ReadAt(std::uint64_t offset, void* buffer, std::size_t n) override {
    if (offset > bytes_->size() || n > bytes_->size() - offset) return Outcome::Failure(FailureKind::Io, "past the end");
    if (n > 0) std::memcpy(buffer, bytes_->data() + offset, n);  // an empty file's data may be null
    return Outcome::Success();
  }
  Outcome WriteAt(std::uint64_t offset, const void* data, std::size_t n) override {
    // Inputs are small; refuse to grow past a bound so a bad size cannot exhaust memory.
    if (offset > (64u << 20) || n > (64u << 20)) return Outcome::Failure(FailureKind::Io, "too large");
    if (offset + n > bytes_->size()) bytes_->resize(offset + n);
    if (n > 0) std::memcpy(bytes_->data() + offset, data, n);
    return Outcome::Success();
  }
  Outcome Sync() override { return Outcome::Success(); }

 private:
  std::shared_ptr<std::vector<std::uint8_t>> bytes_;
};

// Serves every path from one buffer until destroyed.
class ScopedMemoryFiles {
 public:
  explicit ScopedMemoryFiles(std::shared_ptr<std::vector<std::uint8_t>> bytes) {
    fs::SetFileOpener([bytes](const std::string&, fs::OpenMode) {
      return fs::OpenResult{std::make_unique<MemoryFile>(bytes), fs::OpenFailure::None};
    });
  }
  ~ScopedMemoryFiles() { fs::SetFileOpener({}); }
  ScopedMemoryFiles(const ScopedMemoryFiles&) = delete;
  ScopedMemoryFiles& operator=(const ScopedMemoryFiles&) = delete;
};

}  // namespace kestrel::fuzz
