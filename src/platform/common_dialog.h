// The standard dialogs (open file, save file, colour, font) behind two faces: the C_CommonDialog
// class, which keeps its inputs and results as properties, and the plain OpenFileDialog and
// SaveFileDialog functions. Every dialog is shown through one DialogBackend, so tests answer the
// dialogs themselves and never need a display.
//
// Texts (file names, folders, filters, font names) are UTF-8 in std::string.
//
// Threads: UI thread only (the dialogs are widgets).
#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

class QWidget;

namespace quillon {

// What a file dialog is asked to show.
struct FileDialogRequest {
  QWidget* owner = nullptr;
  QString caption;          // empty: the dialog's own title
  QString folder;           // folder to start in; empty: the current directory
  QString file_name;        // name preselected in that folder; may be empty
  QString filter;           // Qt form: "Desc (*.a *.b);;Desc (*.*)"; empty: every file
  QString selected_filter;  // one entry of filter, or empty for the first
  QString default_suffix;   // added to a name typed without an extension; empty: none
};

// Shows the dialogs. Each call returns the user's answer, or nullopt when the dialog was
// cancelled or could not be shown.
class DialogBackend {
 public:
  virtual ~DialogBackend() = default;
  // Picks one existing file; returns its absolute path.
  virtual std::optional<QString> OpenFile(const FileDialogRequest& request) = 0;
  // Picks a file name to write; asks before an existing file is chosen. Returns the absolute path.
  virtual std::optional<QString> SaveFile(const FileDialogRequest& request) = 0;
  virtual std::optional<QColor> Color(QWidget* owner, const QColor& initial) = 0;
  virtual std::optional<QFont> Font(QWidget* owner, const QFont& initial) = 0;
  // A one-line text question with OK and Cancel; nullopt when cancelled. The real one is Qt's
  // input dialog; fakes that never ask for text need not answer it.
  virtual std::optional<QString> Text(QWidget* owner, const QString& title, const QString& prompt,
                                      const QString& initial);
};

// The real dialogs (Qt's own file dialog, so patterns match regardless of case on every desktop).
DialogBackend& QtDialogBackend();
// The backend every dialog in this file goes through: the test one when set, else the real one.
DialogBackend& CurrentDialogBackend();
// Installs a backend for tests; nullptr goes back to the real one. The caller keeps ownership.
void SetDialogBackendForTests(DialogBackend* backend);

// Installs a test backend for the lifetime of the object.
class ScopedDialogBackend {
 public:
  explicit ScopedDialogBackend(DialogBackend& backend) { SetDialogBackendForTests(&backend); }
  ~ScopedDialogBackend() { SetDialogBackendForTests(nullptr); }
  ScopedDialogBackend(const ScopedDialogBackend&) = delete;
  ScopedDialogBackend& operator=(const ScopedDialogBackend&) = delete;
};

// ---- The file record rules and the conversions to Qt --------------------------------------

// The filter as the file dialog receives it: every "|" becomes a NUL, one NUL is appended, and
// the end of the text is one more, so "Text|*.txt|All|*.*" → "Text\0*.txt\0All\0*.*\0\0".
std::string NulSeparatedFilter(std::string_view bar_separated);

// The file-name buffer size: max_file_size, or 255 when it is below 1.
std::int32_t FileBufferSize(std::int32_t max_file_size);

// The file-name buffer: `filename` padded with spaces to FileBufferSize − 1 characters (UTF-8 code
// points), then a NUL. A longer name is kept whole, never cut.
std::string FileBuffer(std::string_view filename, std::int32_t max_file_size);

// The text of a buffer up to its first NUL (all of it when there is none).
std::string TextBeforeNul(std::string_view buffer);

// NUL-separated description/pattern pairs, ended by an empty entry, in Qt's filter form:
// "BMSファイル\0*.bms\0すべてのファイル\0*.*\0" → "BMSファイル (*.bms);;すべてのファイル (*.*)".
// Patterns joined by ";" become space-separated globs; a description without a pattern is
// dropped.
QString QtFileFilter(std::string_view nul_filter);

// The entry of QtFileFilter(nul_filter) that the 1-based `filter_index` names; the first entry
// when the index is out of range; empty when there are no entries.
QString QtSelectedFilter(std::string_view nul_filter, int filter_index);

// Colours as 0x00BBGGRR numbers (the top byte of the input is ignored).
QColor ColorFromBgr(std::int32_t bgr);
std::int32_t BgrFromColor(const QColor& color);

// The size of a font in tenths of a point (rounded to the nearest tenth).
int TenthsOfPoint(const QFont& font);
// Tenths of a point to whole points, halves to even: 105 → 10, 115 → 12.
std::int32_t PointsFromTenths(int tenths);

// ---- The plain file dialogs ----------------------------------------------------------------

// `filter`: descriptions and patterns separated by NULs, ended by a NUL; the first pair is
// selected. `initial_folder` empty: the current directory. Both return the chosen path (UTF-8), or
// "" when the user cancelled. OpenFileDialog accepts only an existing file; SaveFileDialog asks
// before an existing file is overwritten. `default_suffix` (without the dot, e.g. "bpl") is added
// by the dialog to a name typed without an extension, before that question, so the question is
// asked for the name that will be written.
std::string OpenFileDialog(QWidget* owner, std::string_view filter,
                           std::string_view initial_folder);
std::string SaveFileDialog(QWidget* owner, std::string_view filter, std::string_view initial_folder,
                           std::string_view default_suffix = {});

// The input box: asks for one line of text under `prompt`, offering `initial`. Returns the text
// typed, or "" when the user cancelled.
std::string InputBox(QWidget* owner, std::string_view prompt, std::string_view title,
                     std::string_view initial);

// ---- C_CommonDialog -------------------------------------------------------------------------

// Returned by a Show operation when the user cancelled while CancelError is set.
inline constexpr int kCancelError = 2001;

// The dialogs behind properties. Every property starts at 0, false or empty. Each Show operation
// first sets APIReturn to 0, then sets it to 1 when the user confirmed and 0 when the user
// cancelled. Show operations never throw: a cancel with CancelError set is
// returned as kCancelError, everything else as 0.
class C_CommonDialog {
 public:
  // Open dialog for one existing file. Sent: Filter, FilterIndex, filename (as the preselected
  // name; a name with a folder in it also gives the folder), InitDir, DialogTitle, DefaultExt. On
  // success filename becomes the chosen path. Action is left unchanged.
  [[nodiscard]] int ShowOpen();
  // Save dialog, asking before an existing file is overwritten; otherwise as ShowOpen.
  [[nodiscard]] int ShowSave();
  // Colour dialog preset with Color; on success Color becomes the choice. A cancel keeps Color
  // and never returns kCancelError. Action = 3.
  int ShowColor();
  // Font dialog preset with FontName, FontSize, FontBold (weight 700, else normal), FontItalic,
  // FontUnderline and FontStrikethru. On success they take the choice: FontBold when the weight
  // is at least 700, FontSize in whole points (tenths rounded, halves to even). Action = 4.
  [[nodiscard]] int ShowFont();

  std::int16_t Action() const { return action_; }
  bool CancelError() const { return cancel_error_; }
  void setCancelError(bool value) { cancel_error_ = value; }
  std::int32_t APIReturn() const { return api_return_; }
  // The window the dialogs are shown over.
  QWidget* hwndOwner() const { return owner_; }
  void setHwndOwner(QWidget* value) { owner_ = value; }
  // Stored for callers; the Qt dialogs take no options from it.
  std::int32_t flags() const { return flags_; }
  void setFlags(std::int32_t value) { flags_ = value; }

  // "Desc|pattern|Desc|pattern", patterns joined by ";".
  const std::string& Filter() const { return filter_; }
  void setFilter(std::string value) { filter_ = std::move(value); }
  std::int16_t FilterIndex() const { return filter_index_; }
  void setFilterIndex(std::int16_t value) { filter_index_ = value; }
  const std::string& filename() const { return filename_; }
  void setFilename(std::string value) { filename_ = std::move(value); }
  // Always empty: only the full path is taken back.
  const std::string& FileTitle() const { return file_title_; }
  const std::string& DefaultExt() const { return default_ext_; }
  void setDefaultExt(std::string value) { default_ext_ = std::move(value); }
  const std::string& DialogTitle() const { return dialog_title_; }
  void setDialogTitle(std::string value) { dialog_title_ = std::move(value); }
  const std::string& InitDir() const { return init_dir_; }
  void setInitDir(std::string value) { init_dir_ = std::move(value); }
  std::int32_t MaxFileSize() const { return max_file_size_; }
  void setMaxFileSize(std::int32_t value) { max_file_size_ = value; }

  // 0x00BBGGRR.
  std::int32_t Color() const { return color_; }
  void setColor(std::int32_t value) { color_ = value; }

  const std::string& FontName() const { return font_name_; }
  void setFontName(std::string value) { font_name_ = std::move(value); }
  // Whole points; 0 leaves the dialog's default size.
  std::int32_t FontSize() const { return font_size_; }
  void setFontSize(std::int32_t value) { font_size_ = value; }
  bool FontBold() const { return font_bold_; }
  void setFontBold(bool value) { font_bold_ = value; }
  bool FontItalic() const { return font_italic_; }
  void setFontItalic(bool value) { font_italic_ = value; }
  bool FontUnderline() const { return font_underline_; }
  void setFontUnderline(bool value) { font_underline_ = value; }
  bool FontStrikethru() const { return font_strikethru_; }
  void setFontStrikethru(bool value) { font_strikethru_ = value; }

 private:
  // The request of ShowOpen and ShowSave, built from the file properties.
  FileDialogRequest FileRequest() const;
  // Takes the answer of a file dialog back; returns the Show result.
  int TakeFileAnswer(const std::optional<QString>& answer);
  // Clears APIReturn before a Show operation.
  void Begin();
  // The Show result of a cancel.
  int Cancelled() const { return cancel_error_ ? kCancelError : 0; }

  std::int16_t action_ = 0;
  bool cancel_error_ = false;
  std::int32_t api_return_ = 0;
  QWidget* owner_ = nullptr;
  std::int32_t flags_ = 0;
  std::string filter_;
  std::int16_t filter_index_ = 0;
  std::string filename_;
  std::string file_title_;
  std::string default_ext_;
  std::string dialog_title_;
  std::string init_dir_;
  std::int32_t max_file_size_ = 0;
  std::int32_t color_ = 0;
  std::string font_name_;
  std::int32_t font_size_ = 0;
  bool font_bold_ = false;
  bool font_italic_ = false;
  bool font_underline_ = false;
  bool font_strikethru_ = false;
};

}  // namespace quillon
