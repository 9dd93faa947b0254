#pragma once
// Words for what went wrong with a file, found out afterwards so that the services stay as they
// are; none of these reads a byte that would change the file's last-access time.

#include <string>

namespace kestrel::cli {

// Why the path is not a file the services work on: "no such file", "is a folder", ...
std::string WhyNotAFile(const std::string& path);

// True when another program's lock keeps the file from being opened for reading.
bool LockedAgainstReading(const std::string& path);

// Why a change of the document failed.
std::string WhyChangeFailed(const std::string& path);

// Why the backup of the document failed.
std::string WhyBackupFailed(const std::string& path);

}  // namespace kestrel::cli
