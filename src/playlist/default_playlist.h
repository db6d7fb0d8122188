// Where the default playlist, quillon.bpl, is read from and written to.
#pragma once

#include <string>

namespace quillon {

inline constexpr const char* kDefaultPlaylistName = "quillon.bpl";

// The per-user data folder: $XDG_DATA_HOME/Quillon, else $HOME/.local/share/Quillon; empty when
// neither variable is set.
std::string UserDataFolder(const char* xdg_data_home, const char* home);
std::string UserDataFolder();

// The folder holding the running program; empty when it cannot be found.
std::string ProgramFolder();

// The default list lives in the user's data folder: it is read from there and written there.
// Only while the user has none there yet does a quillon.bpl beside the program stand in for it:
// it is read from the program's folder (so its relative rows are taken from there) and the
// program's end writes the list into the data folder, which from then on is the one read.
std::string DefaultPlaylistReadPath(const std::string& program_folder,
                                    const std::string& data_folder);
std::string DefaultPlaylistWritePath(const std::string& data_folder);

}  // namespace quillon
