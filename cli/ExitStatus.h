#pragma once
// The exit statuses of every command.

namespace kestrel::cli {

inline constexpr int kExitSuccess = 0;  // every file did what was asked
inline constexpr int kExitFailure = 1;  // some file did not, or the output could not be written
inline constexpr int kExitUsage = 2;    // the command line was not understood; nothing was done

}  // namespace kestrel::cli
