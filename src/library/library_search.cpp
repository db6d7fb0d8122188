// Searching the library: one key per chart, kept in one block of memory, scanned once per
// keystroke.
#include <QString>
#include <algorithm>
#include <cstring>

#include "library/library.h"
#include "platform/text_encoding.h"

namespace quillon {
namespace {

// Ends every field and every row in the keys. SearchKey text is split into words at it, so no
// word ever spans two fields or two rows.
constexpr char kFieldEnd = '\n';

bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Blanks that part the words of a search: ASCII white space (NFKC has already turned the
// ideographic space and the other Unicode spaces into U+0020).
bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

std::vector<std::string_view> Words(std::string_view key) {
  std::vector<std::string_view> words;
  size_t at = 0;
  while (at < key.size()) {
    while (at < key.size() && IsBlank(key[at]))
      ++at;
    size_t end = at;
    while (end < key.size() && !IsBlank(key[end]))
      ++end;
    if (end > at) words.push_back(key.substr(at, end - at));
    at = end;
  }
  return words;
}

bool Passes(const ChartRecord& row, const LibraryFilter& filter) {
  if (filter.Mode != 0 && row.Mode != filter.Mode) return false;
  // The default range, 0 to 99, lets every level through, the odd one above 99 as well.
  if (filter.MinLevel > 0 && row.PlayLevel < filter.MinLevel) return false;
  if (filter.MaxLevel < 99 && row.PlayLevel > filter.MaxLevel) return false;
  return true;
}

}  // namespace

std::string SearchKey(std::string_view text) {
  // Plain ASCII is most of what is typed and stored: NFKC leaves it alone and case folding is
  // lower-casing.
  if (IsAscii(text)) {
    std::string key(text);
    for (char& c : key) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return key;
  }
  const QString decoded = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  return decoded.normalized(QString::NormalizationForm_KC).toCaseFolded().toStdString();
}

void LibrarySearch::Reset(std::vector<ChartRecord> rows) {
  rows_ = std::move(rows);
  keys_.clear();
  key_ends_.clear();
  key_ends_.reserve(rows_.size());
  std::string fields;
  for (const ChartRecord& row : rows_) {
    fields.clear();
    for (const std::string* field : {&row.Title, &row.SubTitle, &row.Artist, &row.Genre}) {
      fields += *field;
      fields += kFieldEnd;
    }
    // The folder as its name is shown: UTF-8 when it is, else CP932.
    fields += DecodeChartText(row.Folder);
    std::string key = SearchKey(fields);
    keys_ += key;
    keys_ += kFieldEnd;
    key_ends_.push_back(keys_.size());
  }
  keys_.shrink_to_fit();
}

std::vector<int32_t> LibrarySearch::Find(std::string_view text, const LibraryFilter& filter) const {
  const std::string key = SearchKey(text);
  std::vector<std::string_view> words = Words(key);
  std::vector<int32_t> found;
  const int32_t size = Size();
  if (words.empty()) {
    for (int32_t i = 0; i < size; ++i) {
      if (Passes(rows_[static_cast<size_t>(i)], filter)) found.push_back(i);
    }
    return found;
  }
  // The longest word finds the candidates (it matches least often); the others are looked for
  // in each candidate's key only.
  std::sort(words.begin(), words.end(),
            [](std::string_view a, std::string_view b) { return a.size() > b.size(); });
  const std::string_view first = words.front();
  const char* const begin = keys_.data();
  const char* const end = begin + keys_.size();
  const char* at = begin;
  size_t row = 0;
  while (at < end) {
    const void* hit = memmem(at, static_cast<size_t>(end - at), first.data(), first.size());
    if (hit == nullptr) break;
    const size_t offset = static_cast<size_t>(static_cast<const char*>(hit) - begin);
    // The rows are in key order and the search goes on from a row's start: the hit's row is
    // this one or one shortly after it.
    while (key_ends_[row] <= offset)
      ++row;
    const size_t row_begin = row == 0 ? 0 : key_ends_[row - 1];
    const std::string_view row_key(begin + row_begin, key_ends_[row] - row_begin);
    bool all = Passes(rows_[row], filter);
    for (size_t w = 1; all && w < words.size(); ++w)
      all = row_key.find(words[w]) != std::string_view::npos;
    if (all) found.push_back(static_cast<int32_t>(row));
    at = begin + key_ends_[row];
    ++row;
  }
  return found;
}

}  // namespace quillon
