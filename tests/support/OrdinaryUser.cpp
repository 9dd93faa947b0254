#include "tests/support/OrdinaryUser.h"

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kestrel::test {

namespace {
constexpr uid_t kNobody = 65534;
}

uid_t OrdinaryUserId() { return ::geteuid() == 0 ? kNobody : ::geteuid(); }

gid_t OrdinaryGroupId() { return ::geteuid() == 0 ? kNobody : ::getegid(); }

bool AsOrdinaryUser(const std::function<bool()>& step) {
  if (::geteuid() != 0) return step();
  const pid_t child = ::fork();
  if (child == 0) {
    const bool done = ::setgroups(0, nullptr) == 0 && ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0 && step();
    ::_exit(done ? 0 : 1);
  }
  int status = 0;
  return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void GiveToOrdinaryUser(const std::filesystem::path& path) {
  if (::geteuid() != 0) return;
  (void)::lchown(path.c_str(), kNobody, kNobody);
  if (!std::filesystem::is_directory(std::filesystem::symlink_status(path))) return;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(path)) {
    (void)::lchown(entry.path().c_str(), kNobody, kNobody);
  }
}

}  // namespace kestrel::test
