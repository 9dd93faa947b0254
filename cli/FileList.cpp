#include "cli/FileList.h"

#include <algorithm>
#include <cstddef>
#include <tuple>
#include <unordered_set>
#include <utility>

#include <sys/stat.h>

#include "cli/FullPath.h"

namespace kestrel::cli {

std::vector<std::string> ListFiles(std::vector<std::string> names, Console& console) {
  // A file is known by its device and inode, so another name of it (a symbolic link, a second
  // hard link, another spelling of its path) counts as named again; a name that is no file yet by
  // its full path. The files are sorted once, which holds far less than a set of every name.
  struct Named {
    dev_t device;
    ino_t inode;
    std::size_t index;
  };
  std::vector<Named> files;
  std::vector<bool> again(names.size());
  std::unordered_set<std::string> others;
  for (std::size_t i = 0; i < names.size(); ++i) {
    struct stat info {};
    if (::stat(names[i].c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
      files.push_back({info.st_dev, info.st_ino, i});
    } else {
      again[i] = !others.insert(FullPath(names[i])).second;
    }
  }
  const auto key = [](const Named& file) { return std::tie(file.device, file.inode, file.index); };
  std::sort(files.begin(), files.end(), [&](const Named& a, const Named& b) { return key(a) < key(b); });
  for (std::size_t k = 1; k < files.size(); ++k) {
    again[files[k].index] = files[k].device == files[k - 1].device && files[k].inode == files[k - 1].inode;
  }
  std::vector<Named>().swap(files);

  std::size_t kept = 0;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (again[i]) {
      console.Problem(names[i], "named more than once; taken once");
    } else if (kept++ != i) {
      names[kept - 1] = std::move(names[i]);
    }
  }
  names.resize(kept);
  return names;
}

}  // namespace kestrel::cli
