#pragma once
// The tests' ordinary user, who unlike root cannot write a read-only file, set a user attribute on
// it or give a file away: nobody (65534) when the tests run as root, else the user running them.

#include <filesystem>
#include <functional>

#include <sys/types.h>

namespace kestrel::test {

uid_t OrdinaryUserId();
gid_t OrdinaryGroupId();

// Runs `step` as the ordinary user: in a child process that took that user's ids when we are
// root, here otherwise. True when `step` returned true.
bool AsOrdinaryUser(const std::function<bool()>& step);

// Makes `path` (and, for a folder, everything in it) the ordinary user's; nothing to do unless we
// are root.
void GiveToOrdinaryUser(const std::filesystem::path& path);

}  // namespace kestrel::test
