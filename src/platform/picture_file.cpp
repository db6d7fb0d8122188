#include "platform/picture_file.h"

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>
#include <optional>

#include "platform/file_io.h"

namespace quillon {
namespace {

bool WithinLimit(QSize size) {
  return size.width() <= kPictureSideLimit && size.height() <= kPictureSideLimit;
}

// The lower-case extension of the last part of `path`, empty when it has none.
std::string ExtensionOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string extension = path.substr(dot + 1);
  for (char& c : extension) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return extension;
}

// The picture in `buffer`, read as `format` (empty: as its content says); nullopt when no
// reader takes the bytes, a null image when the one that does fails or the picture is too large.
std::optional<QImage> DecodeWith(QBuffer& buffer, const QByteArray& format) {
  buffer.seek(0);
  QImageReader reader(&buffer, format);
  if (!reader.canRead()) return std::nullopt;
  // The size the header announces is checked before any pixel is allocated.
  const QSize announced = reader.size();
  if (announced.isValid() && !WithinLimit(announced)) return QImage();
  QImage image = reader.read();
  if (image.isNull() || !WithinLimit(image.size())) return QImage();
  return image;
}

}  // namespace

QImage DecodePicture(std::string_view bytes, std::string_view format_hint) {
  if (bytes.empty()) return {};
  QByteArray data = QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size()));
  QBuffer buffer(&data);
  if (!buffer.open(QIODevice::ReadOnly)) return {};
  std::optional<QImage> image = DecodeWith(buffer, {});
  // Formats that cannot be told from their content (TGA, say) are read as the extension says.
  if (!image && !format_hint.empty()) {
    image = DecodeWith(buffer,
                       QByteArray(format_hint.data(), static_cast<qsizetype>(format_hint.size())));
  }
  return image.value_or(QImage());
}

QImage ReadPictureFile(const std::string& path) {
  const FileRead read = ReadUserFile(path, kPictureFileCap);
  if (!read.ok()) return {};
  return DecodePicture(read.bytes, ExtensionOf(path));
}

}  // namespace quillon
