#include "library_window/library_model.h"

#include <QGuiApplication>
#include <QMimeData>
#include <QPalette>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <numeric>
#include <set>

#include "platform/text_encoding.h"
#include "platform/uri_list.h"

namespace quillon {
namespace {

QString Utf8(const std::string& text) {
  return QString::fromStdString(text);
}

// "145" or "145.5": tempos are shown to two decimals at most, without trailing zeros.
QString TempoText(double bpm) {
  return QString::number(std::round(bpm * 100.0) / 100.0, 'f', 2)
      .remove(QRegularExpression(QStringLiteral("\\.?0+$")));
}

// Letters compared without regard to ASCII case; other bytes (UTF-8) by value.
int CompareText(const std::string& a, const std::string& b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    auto x = static_cast<unsigned char>(a[i]);
    auto y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// What the title column shows: the title and subtitle, or for a chart without them (or one that
// failed) its file name.
std::string TitleText(const ChartRecord& r) {
  if (r.Title.empty() && r.SubTitle.empty()) {
    const size_t slash = r.Path.rfind('/');
    return DisplayPath(slash == std::string::npos ? r.Path : r.Path.substr(slash + 1));
  }
  return r.SubTitle.empty() ? r.Title : r.Title + ' ' + r.SubTitle;
}

template <typename T>
int CompareValue(T a, T b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

int CompareBy(LibraryColumn column, const ChartRecord& a, const ChartRecord& b) {
  switch (column) {
    case LibraryColumn::Title:  // sorted from keys made once (SortAll)
      return CompareText(TitleText(a), TitleText(b));
    case LibraryColumn::Artist:
      return CompareText(a.Artist, b.Artist);
    case LibraryColumn::Genre:
      return CompareText(a.Genre, b.Genre);
    case LibraryColumn::Level:
      return CompareValue(a.PlayLevel, b.PlayLevel);
    case LibraryColumn::Mode:
      return CompareValue(a.Mode, b.Mode);
    case LibraryColumn::Tempo:
      if (const int c = CompareValue(a.MinBpm, b.MinBpm)) return c;
      return CompareValue(a.MaxBpm, b.MaxBpm);
    case LibraryColumn::Notes:
      return CompareValue(a.NoteCount, b.NoteCount);
    case LibraryColumn::Length:
      return CompareValue(a.LengthMs, b.LengthMs);
    case LibraryColumn::Folder:
      return a.Folder.compare(b.Folder);
  }
  return 0;
}

bool Readable(const ChartRecord& r) {
  return r.Supported && r.Error.empty();
}

}  // namespace

QString TempoRangeText(double min_bpm, double max_bpm) {
  if (min_bpm <= 0.0 && max_bpm <= 0.0) return {};
  const QString low = TempoText(min_bpm);
  const QString high = TempoText(max_bpm);
  return low == high ? low : low + QLatin1Char('-') + high;
}

QString LengthText(int64_t ms) {
  const int64_t seconds = std::max<int64_t>(ms, 0) / 1000;
  return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

LibraryModel::LibraryModel(UiLanguage language, QObject* parent)
    : QAbstractTableModel(parent), strings_(language) {}

void LibraryModel::SetRows(std::shared_ptr<const LibrarySearch> rows) {
  rows_ = std::move(rows);
  SortAll();
  Refilter();
}

void LibraryModel::SetSearch(const std::string& text, const LibraryFilter& filter) {
  search_text_ = text;
  filter_ = filter;
  Refilter();
}

const ChartRecord& LibraryModel::Record(int row) const {
  return rows_->Row(shown_[static_cast<size_t>(row)]);
}

void LibraryModel::SortAll() {
  order_.resize(static_cast<size_t>(TotalCount()));
  std::iota(order_.begin(), order_.end(), 0);
  if (!rows_) return;
  const auto column = static_cast<LibraryColumn>(sort_column_);
  // Stable: rows that compare equal stay in path order.
  if (column == LibraryColumn::Title) {
    // The shown titles are made once, not in every comparison.
    std::vector<std::string> titles;
    titles.reserve(order_.size());
    for (const int32_t row : order_)
      titles.push_back(TitleText(rows_->Row(row)));
    std::stable_sort(order_.begin(), order_.end(), [&titles](int32_t a, int32_t b) {
      return CompareText(titles[static_cast<size_t>(a)], titles[static_cast<size_t>(b)]) < 0;
    });
    return;
  }
  std::stable_sort(order_.begin(), order_.end(), [this, column](int32_t a, int32_t b) {
    return CompareBy(column, rows_->Row(a), rows_->Row(b)) < 0;
  });
}

void LibraryModel::Refilter() {
  beginResetModel();
  shown_.clear();
  if (rows_) {
    std::vector<char> found(static_cast<size_t>(rows_->Size()), 0);
    for (const int32_t row : rows_->Find(search_text_, filter_))
      found[static_cast<size_t>(row)] = 1;
    const auto keep = [&](int32_t row) {
      if (found[static_cast<size_t>(row)]) shown_.push_back(row);
    };
    if (sort_order_ == Qt::AscendingOrder) {
      std::for_each(order_.begin(), order_.end(), keep);
    } else {
      std::for_each(order_.rbegin(), order_.rend(), keep);
    }
  }
  endResetModel();
}

void LibraryModel::sort(int column, Qt::SortOrder order) {
  if (column < 0 || column >= kLibraryColumnCount) return;
  const bool new_column = column != sort_column_;
  sort_column_ = column;
  sort_order_ = order;
  if (new_column) SortAll();
  Refilter();
}

int LibraryModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(shown_.size());
}

int LibraryModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kLibraryColumnCount;
}

QVariant LibraryModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount() || index.column() >= kLibraryColumnCount)
    return {};
  const ChartRecord& r = Record(index.row());
  const auto column = static_cast<LibraryColumn>(index.column());
  switch (role) {
    case Qt::DisplayRole: {
      const bool readable = Readable(r);
      switch (column) {
        case LibraryColumn::Title:
          if (r.Title.empty() && r.SubTitle.empty()) {
            // A chart without a title (or one that failed) is named by its file.
            const size_t slash = r.Path.rfind('/');
            return Utf8(
                DisplayPath(slash == std::string::npos ? r.Path : r.Path.substr(slash + 1)));
          }
          return r.SubTitle.empty() ? Utf8(r.Title) : Utf8(r.Title + ' ' + r.SubTitle);
        case LibraryColumn::Artist:
          return Utf8(r.Artist);
        case LibraryColumn::Genre:
          return Utf8(r.Genre);
        case LibraryColumn::Level:
          return readable ? QVariant(r.PlayLevel) : QVariant();
        case LibraryColumn::Mode:
          return readable && r.Mode > 0 ? Utf8(strings_.Get(2415)).arg(r.Mode) : QString();
        case LibraryColumn::Tempo:
          return readable ? TempoRangeText(r.MinBpm, r.MaxBpm) : QString();
        case LibraryColumn::Notes:
          return readable ? QVariant(r.NoteCount) : QVariant();
        case LibraryColumn::Length:
          return readable ? LengthText(r.LengthMs) : QString();
        case LibraryColumn::Folder:
          return Utf8(DisplayPath(r.Folder));
      }
      return {};
    }
    case Qt::ToolTipRole:
      if (!r.Error.empty()) return Utf8(r.Error);
      if (!r.Supported) return Utf8(strings_.Get(2434));
      if (column == LibraryColumn::Folder || column == LibraryColumn::Title)
        return Utf8(DisplayPath(r.Path));
      return {};
    case Qt::ForegroundRole:
      // Charts that cannot be played are listed greyed.
      if (!Readable(r)) return QGuiApplication::palette().color(QPalette::Disabled, QPalette::Text);
      return {};
    case Qt::TextAlignmentRole:
      switch (column) {
        case LibraryColumn::Level:
        case LibraryColumn::Notes:
        case LibraryColumn::Length:
          return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        default:
          return {};
      }
    default:
      return {};
  }
}

QVariant LibraryModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
      section >= kLibraryColumnCount)
    return QAbstractTableModel::headerData(section, orientation, role);
  return Utf8(strings_.Get(2402 + section));
}

Qt::ItemFlags LibraryModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
}

QStringList LibraryModel::mimeTypes() const {
  return {QStringLiteral("text/uri-list")};
}

QMimeData* LibraryModel::mimeData(const QModelIndexList& indexes) const {
  // One URL per row (the indexes hold every column of each), in table order.
  std::set<int> rows;
  for (const QModelIndex& index : indexes) {
    if (index.isValid() && index.row() < rowCount()) rows.insert(index.row());
  }
  if (rows.empty()) return nullptr;
  std::vector<std::string> paths;
  for (const int row : rows)
    paths.push_back(Record(row).Path);
  const std::string list = UriListFromLocalPaths(paths);
  auto* mime = new QMimeData;
  mime->setData(QStringLiteral("text/uri-list"),
                QByteArray(list.data(), static_cast<qsizetype>(list.size())));
  return mime;
}

Qt::DropActions LibraryModel::supportedDragActions() const {
  return Qt::CopyAction;
}

}  // namespace quillon
