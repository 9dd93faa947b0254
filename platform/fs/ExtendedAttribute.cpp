#include "platform/fs/ExtendedAttribute.h"

#include <cerrno>
#include <cstring>
#include <utility>

#include <sys/xattr.h>

namespace kestrel::fs {

namespace {

// Big enough for every attribute we read, so one call answers in the usual case.
constexpr std::size_t kFirstGuess = 256;

// `get` is getxattr or fgetxattr bound to the file: (name, buffer, size) -> bytes or -1.
template <typename Get>
ExtendedAttribute ReadWith(const Get& get, const char* name) {
  ExtendedAttribute attribute;
  std::vector<std::uint8_t> buffer(kFirstGuess);
  for (;;) {
    const ssize_t got = get(name, buffer.data(), buffer.size());
    if (got >= 0) {
      buffer.resize(static_cast<std::size_t>(got));
      attribute.lookup = AttributeLookup::Present;
      attribute.value = std::move(buffer);
      return attribute;
    }
    if (errno == ERANGE) {
      // Grown since we asked: ask for its size and try again.
      const ssize_t size = get(name, nullptr, 0);
      if (size < 0) continue;
      buffer.resize(static_cast<std::size_t>(size) + 1);
      continue;
    }
    if (errno == EINTR) continue;
    if (errno == ENODATA) {
      attribute.lookup = AttributeLookup::Absent;
    } else if (errno == EOPNOTSUPP || errno == ENOSYS || errno == EPERM) {
      // EPERM: some FUSE file systems refuse a namespace they do not know that way.
      attribute.lookup = AttributeLookup::Unsupported;
    }
    return attribute;
  }
}

}  // namespace

ExtendedAttribute ReadExtendedAttribute(const std::string& path, const char* name) {
  return ReadWith([&path](const char* n, void* buffer, std::size_t size) { return ::getxattr(path.c_str(), n, buffer, size); },
                  name);
}

ExtendedAttribute ReadExtendedAttribute(int descriptor, const char* name) {
  return ReadWith([descriptor](const char* n, void* buffer, std::size_t size) { return ::fgetxattr(descriptor, n, buffer, size); },
                  name);
}

Outcome WriteExtendedAttribute(const std::string& path, const char* name, const std::vector<std::uint8_t>& value) {
  if (::setxattr(path.c_str(), name, value.data(), value.size(), 0) == 0) return Outcome::Success();
  return Outcome::Failure(FailureKind::Io, std::string("cannot store ") + name + ": " + std::strerror(errno));
}

Outcome RemoveExtendedAttribute(const std::string& path, const char* name) {
  if (::removexattr(path.c_str(), name) == 0 || errno == ENODATA) return Outcome::Success();
  return Outcome::Failure(FailureKind::Io, std::string("cannot remove ") + name + ": " + std::strerror(errno));
}

}  // namespace kestrel::fs
