#include "cli/FileList.h"

#include <set>
#include <unordered_set>
#include <utility>

#include <sys/stat.h>

#include "cli/FullPath.h"

namespace kestrel::cli {

std::vector<ListedFile> ListFiles(const std::vector<std::string>& names, Console& console) {
  std::vector<ListedFile> files;
  std::unordered_set<std::string> listed;
  // The same file under another name (a symbolic link, a second hard link) counts as named again.
  std::set<std::pair<dev_t, ino_t>> seen;
  for (const std::string& name : names) {
    std::string path = FullPath(name);
    struct stat info {};
    const bool known = ::stat(name.c_str(), &info) == 0 && S_ISREG(info.st_mode);
    if (!listed.insert(path).second || (known && !seen.insert({info.st_dev, info.st_ino}).second)) {
      console.Problem(name, "named more than once; taken once");
      continue;
    }
    files.push_back({name, std::move(path)});
  }
  return files;
}

}  // namespace kestrel::cli
