#include "cli/FileList.h"

#include <unordered_set>

#include "cli/FullPath.h"

namespace kestrel::cli {

std::vector<ListedFile> ListFiles(const std::vector<std::string>& names, Console& console) {
  std::vector<ListedFile> files;
  std::unordered_set<std::string> listed;
  for (const std::string& name : names) {
    std::string path = FullPath(name);
    if (!listed.insert(path).second) {
      console.Problem(name, "named more than once; taken once");
      continue;
    }
    files.push_back({name, std::move(path)});
  }
  return files;
}

}  // namespace kestrel::cli
