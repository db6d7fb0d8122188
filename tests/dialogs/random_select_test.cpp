#include "dialogs/random_select.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <functional>

namespace quillon {
namespace {

// Asks the question and, once the dialog is up, lets `answer` act on it like the user.
int Ask(int branches, std::function<void(RandomSelectDialog&)> answer) {
  QTimer::singleShot(0, [answer] {
    auto* dialog = dynamic_cast<RandomSelectDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    answer(*dialog);
    EXPECT_FALSE(dialog->isVisible()) << "the answer did not end the question";
    if (dialog->isVisible()) dialog->reject();
  });
  return AskRandomSelect(nullptr, 1, branches);
}

void Press(RandomSelectDialog& dialog, int key) {
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
  QCoreApplication::sendEvent(dialog.focusWidget(), &press);
}

TEST(RandomSelect, ListsRandomAndTheBranchesWithTheBlockNumber) {
  RandomSelectDialog dialog(2, 3, nullptr, UiLanguage::Japanese);
  EXPECT_EQ(dialog.Caption()->text(), QString::fromUtf8("2個目"));
  EXPECT_EQ(RandomSelectDialog(12, 1, nullptr, UiLanguage::English).Caption()->text(),
            QStringLiteral("Block 12"));
  ASSERT_EQ(dialog.List()->count(), 4);
  EXPECT_EQ(dialog.List()->item(0)->text(), QStringLiteral("Random"));
  EXPECT_EQ(dialog.List()->item(3)->text(), QStringLiteral("3"));
}

TEST(RandomSelect, OkReportsTheSelectedPosition) {
  EXPECT_EQ(Ask(3, [](RandomSelectDialog& d) { Press(d, Qt::Key_Return); }), 0);
  EXPECT_EQ(Ask(3,
                [](RandomSelectDialog& d) {
                  d.List()->setCurrentRow(3);
                  d.OkButton()->click();
                }),
            3);
  EXPECT_EQ(Ask(3,
                [](RandomSelectDialog& d) {
                  Press(d, Qt::Key_Down);
                  Press(d, Qt::Key_Down);
                  Press(d, Qt::Key_Enter);
                }),
            2);
}

TEST(RandomSelect, ClosingWithoutOkReportsRandom) {
  auto pick_then = [](int key) {
    return [key](RandomSelectDialog& d) {
      d.List()->setCurrentRow(2);
      if (key == 0)
        d.close();
      else
        Press(d, key);
    };
  };
  EXPECT_EQ(Ask(4, pick_then(0)), 0);
  EXPECT_EQ(Ask(4, pick_then(Qt::Key_Escape)), 0);
}

}  // namespace
}  // namespace quillon
