#include "cli/FileDiagnosis.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "catalogue/DocumentKind.h"
#include "change/Backup.h"
#include "platform/fs/FileIo.h"
#include "platform/fs/FileState.h"
#include "platform/fs/HeldOpen.h"
#include "platform/storage/CompoundFile.h"

namespace kestrel::cli {

std::string WhyNotAFile(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    if (errno == ENOENT) return "no such file";
    return std::string("cannot be looked up: ") + std::strerror(errno);
  }
  if (S_ISDIR(info.st_mode)) return "is a folder, not a file";
  if (!S_ISREG(info.st_mode)) return "is not a regular file";
  return "its times and attributes cannot be read";
}

bool LockedAgainstReading(const std::string& path) {
  return fs::OpenFile(path, fs::OpenMode::Read).error == fs::OpenError::Locked;
}

std::string WhyChangeFailed(const std::string& path) {
  if (!fs::FileExistsAsFile(path)) return WhyNotAFile(path);
  if (fs::HeldOpenByAnotherProgram(path)) {
    return "held open by another program (a lock on it, or a lock file of LibreOffice or Office beside it)";
  }
  if (catalogue::DocumentKindOf(path) == catalogue::DocumentKind::Ooxml) {
    return "its properties could not be written: not a readable package (not a ZIP package, damaged, or "
           "without property parts), or the writing failed";
  }
  if (!storage::CompoundFile::IsCompoundFile(path)) return "not a compound file, so not a Word document";
  return "its properties could not be written: damaged document, or the writing failed";
}

std::string WhyBackupFailed(const std::string& path) {
  if (!fs::FileExistsAsFile(path)) return WhyNotAFile(path);
  const std::string backup = change::BackupFileName(path);
  struct stat info {};
  if (::stat(backup.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
    return "a folder stands where its backup goes (" + backup + ")";
  }
  if (LockedAgainstReading(path)) return "held open by another program, so it could not be copied";
  if (fs::FileExistsAsFile(backup) && fs::HeldOpenByAnotherProgram(backup)) {
    return "its earlier backup " + backup + " is held open by another program, so it could not be replaced";
  }
  return "its backup " + backup + " could not be written";
}

}  // namespace kestrel::cli
