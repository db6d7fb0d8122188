// Finding chart files with POSIX calls: names are bytes, whatever the locale.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <set>
#include <utility>

#include "library/library.h"
#include "library/library_internal.h"
#include "platform/file_io.h"

namespace quillon {

std::string LibraryFolderPath(const std::string& folder) {
  std::string path = AbsolutePath(folder);
  while (path.size() > 1 && path.back() == '/')
    path.pop_back();
  return path;
}

FolderWalk WalkChartFolder(const std::string& folder, const std::atomic<bool>* cancel) {
  FolderWalk walk;
  const std::string root = LibraryFolderPath(folder);
  struct stat st {};
  if (::stat(root.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    ++walk.SkippedUnreadable;
    walk.UnreadableFolders.push_back(root);
    return walk;
  }
  // Folders already listed, by device and inode: a symbolic link back up the tree (or a second
  // link to a folder) is not followed again.
  std::set<std::pair<dev_t, ino_t>> listed{{st.st_dev, st.st_ino}};
  std::vector<std::string> pending{root};
  while (!pending.empty()) {
    if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) {
      walk.Cancelled = true;
      break;
    }
    const std::string dir = std::move(pending.back());
    pending.pop_back();
    // O_NONBLOCK | O_DIRECTORY: a folder swapped for a FIFO meanwhile fails instead of blocking.
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC);
    DIR* stream = fd < 0 ? nullptr : ::fdopendir(fd);
    if (stream == nullptr) {
      if (fd >= 0) ::close(fd);
      ++walk.SkippedUnreadable;
      walk.UnreadableFolders.push_back(dir);
      continue;
    }
    const std::string prefix = dir == "/" ? dir : dir + '/';
    while (const dirent* entry = ::readdir(stream)) {
      const std::string_view name = entry->d_name;
      if (name == "." || name == "..") continue;
      const unsigned char type = entry->d_type;
      const bool chart_name = IsLibraryChartName(name);
      // Plain files that are no charts need no stat.
      if (type == DT_REG && !chart_name) continue;
      if (type != DT_REG && type != DT_DIR && type != DT_LNK && type != DT_UNKNOWN) continue;
      struct stat entry_st {};
      if (::fstatat(fd, entry->d_name, &entry_st, 0) != 0) continue;  // a dangling link
      if (S_ISDIR(entry_st.st_mode)) {
        if (!listed.insert({entry_st.st_dev, entry_st.st_ino}).second) {
          ++walk.SkippedLoops;
          continue;
        }
        pending.push_back(prefix + std::string(name));
      } else if (S_ISREG(entry_st.st_mode) && chart_name) {
        walk.Charts.push_back({prefix + std::string(name), static_cast<int64_t>(entry_st.st_size),
                               MtimeNsOf(entry_st)});
      }
    }
    ::closedir(stream);
  }
  std::sort(walk.Charts.begin(), walk.Charts.end(),
            [](const FoundChart& a, const FoundChart& b) { return a.Path < b.Path; });
  return walk;
}

}  // namespace quillon
