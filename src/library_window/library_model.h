// The library window's table: the rows of a LibrarySearch that pass the search text and the
// filters, in the order of the sorted column.
//
// Sorting keeps, per column, the order of all rows once; a new search text then only walks that
// order and keeps the rows the search found, so typing never sorts again. The rows are shared
// with the worker that built them and are never changed after that (a reload brings new ones).
//
// Threads: UI thread only.
#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "library/library.h"
#include "resources/string_table.h"

namespace quillon {

enum class LibraryColumn { Title, Artist, Genre, Level, Mode, Tempo, Notes, Length, Folder };
inline constexpr int kLibraryColumnCount = 9;

// "120" for one tempo, "90-180" for a range; "" when the chart has none (it failed to read).
QString TempoRangeText(double min_bpm, double max_bpm);
// "m:ss" ("12:05" past ten minutes, "61:40" past an hour).
QString LengthText(int64_t ms);

class LibraryModel : public QAbstractTableModel {
 public:
  explicit LibraryModel(UiLanguage language, QObject* parent = nullptr);

  // New rows (a load or a scan finished); the search text, filter and sort stay.
  void SetRows(std::shared_ptr<const LibrarySearch> rows);
  void SetSearch(const std::string& text, const LibraryFilter& filter);

  // The record shown in table row `row`.
  const ChartRecord& Record(int row) const;
  // Every chart known, whether shown or not.
  int32_t TotalCount() const { return rows_ ? rows_->Size() : 0; }
  int sort_column() const { return sort_column_; }
  Qt::SortOrder sort_order() const { return sort_order_; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

  // Dragging rows out: a text/uri-list of the charts' files.
  QStringList mimeTypes() const override;
  QMimeData* mimeData(const QModelIndexList& indexes) const override;
  Qt::DropActions supportedDragActions() const override;

 private:
  // Fills shown_ from order_ and the last search; resets the view.
  void Refilter();
  void SortAll();

  StringTable strings_;
  std::shared_ptr<const LibrarySearch> rows_;
  std::string search_text_;
  LibraryFilter filter_;
  int sort_column_ = static_cast<int>(LibraryColumn::Title);
  Qt::SortOrder sort_order_ = Qt::AscendingOrder;
  std::vector<int32_t> order_;  // every row, ascending by the sort column
  std::vector<int32_t> shown_;  // the rows in the table, in table order
};

}  // namespace quillon
