// The random select dialog ("choose the pattern to play"): while the Random Select element is
// ticked, the chart loader asks with it which branch of a #RANDOM block to take.
#pragma once

#include <QDialog>

#include "resources/string_table.h"

class QLabel;
class QListWidget;
class QPushButton;

namespace quillon {

class RandomSelectDialog : public QDialog {
 public:
  // The question for the `random_count`-th #RANDOM block of the load, with `branches` branches:
  // the list holds "Random" and "1" to "<branches>", "Random" selected.
  RandomSelectDialog(int random_count, int branches, QWidget* parent = nullptr,
                     UiLanguage language = DetectUiLanguage());

  QListWidget* List() const { return list_; }
  QLabel* Caption() const { return caption_; }
  QPushButton* OkButton() const { return ok_button_; }

  // The position of the selected item after OK: 0 for "Random", k for branch k. A dialog closed
  // any other way (close box, Escape) reports 0, "Random".
  int Choice() const;

 private:
  QListWidget* list_ = nullptr;
  QLabel* caption_ = nullptr;
  QPushButton* ok_button_ = nullptr;
};

// Asks modally; see RandomSelectDialog::Choice for the answer.
int AskRandomSelect(QWidget* parent, int random_count, int branches,
                    UiLanguage language = DetectUiLanguage());

}  // namespace quillon
