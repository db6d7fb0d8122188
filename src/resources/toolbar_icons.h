// The image list of the two toolbars and the status picture, and the program's window icon, all
// drawn in code so that the program carries no picture files.
//
// Threads: any thread (each image is drawn once and cached under a lock). ProgramIcon needs the
// QGuiApplication, like every QIcon made from pixels.
#pragma once

#include <QIcon>
#include <QImage>
#include <string_view>

namespace quillon {

// The 16 x 16 icon of the image list under `key`: OPEN RELOAD OPTION PLAYLIST PROP CP OBJ BGA POLY
// PLAY PAUSE STOP PREV REW FF NEXT REP1 REPA (keys matched exactly); a null QImage for any other
// key. ARGB32 premultiplied on a transparent background.
QImage ToolbarImage(std::string_view key);

// The program's own icon drawn at `size` x `size` pixels (a quill whose nib ends in a note head).
QImage ProgramIconImage(int size);
// The program's window icon, drawn at 16, 32, 48 and 64 pixels.
QIcon ProgramIcon();

}  // namespace quillon
