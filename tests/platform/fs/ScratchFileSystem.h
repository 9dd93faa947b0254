#pragma once
// A file system of a given kind mounted on a fresh folder for one test, unmounted (and its
// folder removed) when the object goes, also after a failed assertion.

#include <filesystem>
#include <string>

#include "tests/support/TestSupport.h"

namespace kestrel::test {

class ScratchFileSystem {
 public:
  enum class Kind {
    Tmpfs,    // mount -t tmpfs
    NtfsFuse  // a 16 MiB image formatted by mkntfs, mounted by ntfs-3g
  };
  explicit ScratchFileSystem(Kind kind);
  ~ScratchFileSystem();
  ScratchFileSystem(const ScratchFileSystem&) = delete;
  ScratchFileSystem& operator=(const ScratchFileSystem&) = delete;

  // Empty when it could not be mounted; SkipReason() then says why.
  bool Mounted() const { return mounted_; }
  const std::string& SkipReason() const { return skipReason_; }
  // The mounted folder.
  std::filesystem::path Path() const { return dir_.Path() / "mnt"; }

 private:
  TempDir dir_;
  bool mounted_ = false;
  std::string skipReason_;
};

}  // namespace kestrel::test
