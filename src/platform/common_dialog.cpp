#include "platform/common_dialog.h"

#include <QColorDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QFontInfo>
#include <QInputDialog>
#include <QLineEdit>
#include <QStringList>
#include <cmath>

namespace quillon {
namespace {

QString Utf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string ToUtf8(const QString& text) {
  return text.toUtf8().toStdString();
}

// The custom colours the colour dialog offers start white every time.
constexpr int kWhiteCustomColors = 16;

std::optional<QString> RunFileDialog(const FileDialogRequest& request,
                                     QFileDialog::AcceptMode mode) {
  QFileDialog dialog(request.owner, request.caption);
  // Qt's own dialog matches "*.bms" against "SONG.BMS" too; desktop dialogs may not.
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setAcceptMode(mode);
  dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                     : QFileDialog::AnyFile);
  dialog.setDirectory(request.folder.isEmpty() ? QDir::currentPath() : request.folder);
  if (!request.filter.isEmpty()) {
    dialog.setNameFilter(request.filter);
    if (!request.selected_filter.isEmpty()) dialog.selectNameFilter(request.selected_filter);
  }
  if (!request.default_suffix.isEmpty()) dialog.setDefaultSuffix(request.default_suffix);
  if (!request.file_name.isEmpty()) dialog.selectFile(request.file_name);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty() || files.first().isEmpty()) return std::nullopt;
  return files.first();
}

class QtBackend final : public DialogBackend {
 public:
  std::optional<QString> OpenFile(const FileDialogRequest& request) override {
    return RunFileDialog(request, QFileDialog::AcceptOpen);
  }
  std::optional<QString> SaveFile(const FileDialogRequest& request) override {
    return RunFileDialog(request, QFileDialog::AcceptSave);
  }
  std::optional<QColor> Color(QWidget* owner, const QColor& initial) override {
    for (int i = 0; i < kWhiteCustomColors && i < QColorDialog::customCount(); ++i)
      QColorDialog::setCustomColor(i, QColor(Qt::white));
    QColorDialog dialog(initial, owner);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.selectedColor();
  }
  std::optional<QFont> Font(QWidget* owner, const QFont& initial) override {
    QFontDialog dialog(initial, owner);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.selectedFont();
  }
};

DialogBackend* test_backend = nullptr;

// The description/pattern pairs of a NUL-separated filter as Qt filter entries.
QStringList QtFilterEntries(std::string_view nul_filter) {
  QStringList entries;
  while (true) {
    const size_t description_end = nul_filter.find('\0');
    if (description_end == 0 || description_end == std::string_view::npos) break;
    const std::string_view description = nul_filter.substr(0, description_end);
    nul_filter.remove_prefix(description_end + 1);
    const size_t pattern_end = nul_filter.find('\0');
    if (pattern_end == 0 || pattern_end == std::string_view::npos) break;
    const QStringList patterns =
        Utf8(nul_filter.substr(0, pattern_end)).split(QLatin1Char(';'), Qt::SkipEmptyParts);
    nul_filter.remove_prefix(pattern_end + 1);
    QStringList globs;
    for (const QString& pattern : patterns) {
      const QString glob = pattern.trimmed();
      if (!glob.isEmpty()) globs << glob;
    }
    if (globs.isEmpty()) continue;
    entries << Utf8(description) + QStringLiteral(" (") + globs.join(QLatin1Char(' ')) +
                   QLatin1Char(')');
  }
  return entries;
}

size_t CodePoints(std::string_view utf8) {
  size_t count = 0;
  for (const char byte : utf8) {
    if ((static_cast<unsigned char>(byte) & 0xC0) != 0x80) ++count;
  }
  return count;
}

// The request of the plain file dialogs: the first filter entry, no name, no title.
FileDialogRequest PlainRequest(QWidget* owner, std::string_view filter,
                               std::string_view initial_folder) {
  FileDialogRequest request;
  request.owner = owner;
  request.folder = Utf8(initial_folder);
  request.filter = QtFileFilter(filter);
  request.selected_filter = QtSelectedFilter(filter, 1);
  return request;
}

QString WithoutTrailingSpaces(const QString& text) {
  qsizetype end = text.size();
  while (end > 0 && text[end - 1] == QLatin1Char(' '))
    --end;
  return text.left(end);
}

std::string PathOrEmpty(const std::optional<QString>& answer) {
  return answer ? TextBeforeNul(ToUtf8(*answer)) : std::string();
}

}  // namespace

std::optional<QString> DialogBackend::Text(QWidget* owner, const QString& title,
                                           const QString& prompt, const QString& initial) {
  bool ok = false;
  QString text = QInputDialog::getText(owner, title, prompt, QLineEdit::Normal, initial, &ok);
  if (!ok) return std::nullopt;
  return text;
}

DialogBackend& QtDialogBackend() {
  static QtBackend backend;
  return backend;
}

std::string InputBox(QWidget* owner, std::string_view prompt, std::string_view title,
                     std::string_view initial) {
  const auto q = [](std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  };
  const std::optional<QString> answer =
      CurrentDialogBackend().Text(owner, q(title), q(prompt), q(initial));
  return answer ? answer->toStdString() : std::string();
}

DialogBackend& CurrentDialogBackend() {
  return test_backend != nullptr ? *test_backend : QtDialogBackend();
}

void SetDialogBackendForTests(DialogBackend* backend) {
  test_backend = backend;
}

std::string NulSeparatedFilter(std::string_view bar_separated) {
  std::string record(bar_separated);
  for (char& c : record) {
    if (c == '|') c = '\0';
  }
  record.push_back('\0');
  // The list ends at an empty entry: the text's own end, kept here as a character.
  record.push_back('\0');
  return record;
}

std::int32_t FileBufferSize(std::int32_t max_file_size) {
  return max_file_size < 1 ? 255 : max_file_size;
}

std::string FileBuffer(std::string_view filename, std::int32_t max_file_size) {
  const size_t length = static_cast<size_t>(FileBufferSize(max_file_size)) - 1;
  std::string buffer(filename);
  const size_t used = CodePoints(filename);
  if (used < length) buffer.append(length - used, ' ');
  buffer.push_back('\0');
  return buffer;
}

std::string TextBeforeNul(std::string_view buffer) {
  return std::string(buffer.substr(0, buffer.find('\0')));
}

QString QtFileFilter(std::string_view nul_filter) {
  return QtFilterEntries(nul_filter).join(QStringLiteral(";;"));
}

QString QtSelectedFilter(std::string_view nul_filter, int filter_index) {
  const QStringList entries = QtFilterEntries(nul_filter);
  if (entries.isEmpty()) return {};
  if (filter_index < 1 || filter_index > entries.size()) return entries.first();
  return entries[filter_index - 1];
}

QColor ColorFromBgr(std::int32_t bgr) {
  const auto value = static_cast<std::uint32_t>(bgr);
  return QColor(static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF),
                static_cast<int>((value >> 16) & 0xFF));
}

std::int32_t BgrFromColor(const QColor& color) {
  if (!color.isValid()) return 0;
  const QColor rgb = color.toRgb();
  return rgb.red() | (rgb.green() << 8) | (rgb.blue() << 16);
}

int TenthsOfPoint(const QFont& font) {
  const double points = font.pointSizeF() > 0 ? font.pointSizeF() : QFontInfo(font).pointSizeF();
  return static_cast<int>(std::lround(points * 10));
}

std::int32_t PointsFromTenths(int tenths) {
  int points = tenths / 10;
  int rest = tenths % 10;
  if (rest < 0) {
    rest += 10;
    --points;
  }
  if (rest > 5 || (rest == 5 && points % 2 != 0)) ++points;
  return points;
}

std::string OpenFileDialog(QWidget* owner, std::string_view filter,
                           std::string_view initial_folder) {
  return PathOrEmpty(CurrentDialogBackend().OpenFile(PlainRequest(owner, filter, initial_folder)));
}

std::string SaveFileDialog(QWidget* owner, std::string_view filter, std::string_view initial_folder,
                           std::string_view default_suffix) {
  FileDialogRequest request = PlainRequest(owner, filter, initial_folder);
  request.default_suffix = Utf8(default_suffix);
  return PathOrEmpty(CurrentDialogBackend().SaveFile(request));
}

void C_CommonDialog::Begin() {
  api_return_ = 0;
}

FileDialogRequest C_CommonDialog::FileRequest() const {
  const std::string filter = NulSeparatedFilter(filter_);
  FileDialogRequest request;
  request.owner = owner_;
  request.caption = Utf8(dialog_title_);
  request.filter = QtFileFilter(filter);
  request.selected_filter = QtSelectedFilter(filter, filter_index_);
  request.default_suffix = Utf8(default_ext_);
  request.folder = Utf8(init_dir_);
  // The buffer's padding is no part of the name.
  const QString name = Utf8(TextBeforeNul(FileBuffer(filename_, max_file_size_)));
  const QString trimmed = WithoutTrailingSpaces(name);
  if (trimmed.contains(QLatin1Char('/'))) {
    // A path: its folder is where the dialog starts.
    const QFileInfo info(QDir(request.folder.isEmpty() ? QDir::currentPath() : request.folder),
                         trimmed);
    request.folder = info.absolutePath();
    request.file_name = info.fileName();
  } else {
    request.file_name = trimmed;
  }
  return request;
}

int C_CommonDialog::TakeFileAnswer(const std::optional<QString>& answer) {
  if (!answer) return Cancelled();
  api_return_ = 1;
  // The chosen path is taken whole, whatever MaxFileSize says: a cut path would name another
  // file.
  filename_ = TextBeforeNul(ToUtf8(*answer));
  return 0;
}

int C_CommonDialog::ShowOpen() {
  Begin();
  return TakeFileAnswer(CurrentDialogBackend().OpenFile(FileRequest()));
}

int C_CommonDialog::ShowSave() {
  Begin();
  return TakeFileAnswer(CurrentDialogBackend().SaveFile(FileRequest()));
}

int C_CommonDialog::ShowColor() {
  Begin();
  action_ = 3;
  const std::optional<QColor> chosen = CurrentDialogBackend().Color(owner_, ColorFromBgr(color_));
  if (!chosen) return 0;
  api_return_ = 1;
  color_ = BgrFromColor(*chosen);
  return 0;
}

int C_CommonDialog::ShowFont() {
  Begin();
  action_ = 4;
  QFont initial;
  if (!font_name_.empty()) initial.setFamily(Utf8(font_name_));
  if (font_size_ > 0) initial.setPointSize(font_size_);
  initial.setWeight(font_bold_ ? QFont::Bold : QFont::Normal);
  initial.setItalic(font_italic_);
  initial.setUnderline(font_underline_);
  initial.setStrikeOut(font_strikethru_);
  const std::optional<QFont> chosen = CurrentDialogBackend().Font(owner_, initial);
  if (!chosen) return Cancelled();
  api_return_ = 1;
  font_bold_ = chosen->weight() >= QFont::Bold;
  font_italic_ = chosen->italic();
  font_underline_ = chosen->underline();
  font_strikethru_ = chosen->strikeOut();
  font_name_ = TextBeforeNul(ToUtf8(chosen->family()));
  font_size_ = PointsFromTenths(TenthsOfPoint(*chosen));
  return 0;
}

}  // namespace quillon
