#include "playlist/default_playlist.h"

#include <cstdlib>
#include <filesystem>

#include "chart/text_util.h"

namespace quillon {

std::string UserDataFolder(const char* xdg_data_home, const char* home) {
  if (xdg_data_home != nullptr && xdg_data_home[0] == '/') {
    return (std::filesystem::path(xdg_data_home) / "Quillon").string();
  }
  if (home != nullptr && home[0] != '\0') {
    return (std::filesystem::path(home) / ".local" / "share" / "Quillon").string();
  }
  return {};
}

std::string UserDataFolder() {
  return UserDataFolder(std::getenv("XDG_DATA_HOME"), std::getenv("HOME"));
}

std::string ProgramFolder() {
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : exe.parent_path().string();
}

std::string DefaultPlaylistReadPath(const std::string& program_folder,
                                    const std::string& data_folder) {
  const std::string own = DefaultPlaylistWritePath(data_folder);
  // Anything standing under the name (a dangling link too) is the user's own list.
  std::error_code ec;
  if (!own.empty() && std::filesystem::exists(std::filesystem::symlink_status(own, ec))) {
    return own;
  }
  if (!program_folder.empty()) {
    const std::string beside = (std::filesystem::path(program_folder) / kDefaultPlaylistName);
    if (FileExists(beside)) return beside;
  }
  return own;
}

std::string DefaultPlaylistWritePath(const std::string& data_folder) {
  if (data_folder.empty()) return {};
  return (std::filesystem::path(data_folder) / kDefaultPlaylistName).string();
}

}  // namespace quillon
