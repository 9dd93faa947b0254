#include "tests/platform/fs/ScratchFileSystem.h"

#include <unistd.h>

namespace kestrel::test {

namespace {

bool HaveProgram(const std::string& name) { return RunCommand("command -v " + name).exitCode == 0; }

}  // namespace

ScratchFileSystem::ScratchFileSystem(Kind kind) {
  std::filesystem::create_directory(Path());
  // Reachable by every user, as a mount point is, for tests that act as another owner.
  std::filesystem::permissions(dir_.Path(), std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                                                std::filesystem::perms::group_exec | std::filesystem::perms::others_read |
                                                std::filesystem::perms::others_exec);
  if (::geteuid() != 0) {
    skipReason_ = "mounting a scratch file system needs root";
    return;
  }
  const std::string mountPoint = ShellQuote(Path().string());
  if (kind == Kind::Tmpfs) {
    const CommandResult mounted = RunCommand("mount -t tmpfs -o size=16m kestrel-test " + mountPoint);
    mounted_ = mounted.exitCode == 0;
    if (!mounted_) skipReason_ = "tmpfs could not be mounted: " + mounted.output;
    return;
  }
  if (!HaveProgram("mkntfs") || !HaveProgram("ntfs-3g")) {
    skipReason_ = "ntfs-3g is not installed (packages.txt lists it)";
    return;
  }
  if (::access("/dev/fuse", R_OK | W_OK) != 0) {
    skipReason_ = "/dev/fuse is not available here";
    return;
  }
  const std::string image = ShellQuote((dir_.Path() / "ntfs.img").string());
  const CommandResult made = RunCommand("truncate -s 16M " + image + " && mkntfs -F -f -q " + image);
  if (made.exitCode != 0) {
    skipReason_ = "mkntfs failed: " + made.output;
    return;
  }
  const CommandResult mounted = RunCommand("ntfs-3g " + image + " " + mountPoint);
  mounted_ = mounted.exitCode == 0;
  if (!mounted_) skipReason_ = "ntfs-3g could not mount the image: " + mounted.output;
}

ScratchFileSystem::~ScratchFileSystem() {
  if (!mounted_) return;
  const std::string mountPoint = ShellQuote(Path().string());
  // A FUSE mount refuses while busy; the lazy unmount still lets the folder go.
  if (RunCommand("umount " + mountPoint).exitCode != 0) RunCommand("umount -l " + mountPoint);
}

}  // namespace kestrel::test
