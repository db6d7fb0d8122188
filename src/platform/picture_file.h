// Reading the pictures a chart or the skins name: BGA bitmaps, the stage picture, skin sheets.
//
// The file is read as bytes through ReadUserFile (so a FIFO, a device or a huge file is refused
// without blocking or growing, and a name that is not UTF-8 opens as it is), its size is checked
// from the header before anything is decoded, and the picture is decoded from the bytes.
#pragma once

#include <QImage>
#include <string>
#include <string_view>

namespace quillon {

// Pictures wider or taller than this are refused before they are decoded.
inline constexpr int kPictureSideLimit = 16384;

// The picture in `bytes`, in the format its content shows; `format_hint`, a file extension
// ("bmp", "tga", ...), is tried when the content shows none. A null image when the bytes do not
// decode or the picture is larger than kPictureSideLimit on a side.
QImage DecodePicture(std::string_view bytes, std::string_view format_hint = {});

// The picture in the file at `path` (bytes, never converted to a QString), hinted by its
// extension; a null image when the file is refused (kPictureFileCap) or does not decode.
QImage ReadPictureFile(const std::string& path);

}  // namespace quillon
