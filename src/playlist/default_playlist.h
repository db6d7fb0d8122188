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

// The default list is read from the program's folder when one is there, else from the user's
// data folder.
std::string DefaultPlaylistReadPath(const std::string& program_folder,
                                    const std::string& data_folder);
// It is always written to the user's data folder.
std::string DefaultPlaylistWritePath(const std::string& data_folder);

}  // namespace quillon
