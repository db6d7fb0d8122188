#include "dialogs/random_select.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace quillon {

RandomSelectDialog::RandomSelectDialog(int random_count, int branches, QWidget* parent,
                                       UiLanguage language)
    : QDialog(parent) {
  const StringTable strings(language);
  setObjectName(QStringLiteral("frmRSelect"));
  setWindowTitle(QString::fromStdString(strings.Get(2302)));
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);

  caption_ = new QLabel(QString::fromStdString(strings.Get(2303)).arg(random_count));
  caption_->setObjectName(QStringLiteral("lblCap"));

  list_ = new QListWidget;
  list_->setObjectName(QStringLiteral("lstSelect"));
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->addItem(QStringLiteral("Random"));
  for (int k = 1; k <= branches; ++k)
    list_->addItem(QString::number(k));
  list_->setCurrentRow(0);
  list_->setFixedSize(160, 160);

  ok_button_ = new QPushButton(QStringLiteral("OK"));
  ok_button_->setObjectName(QStringLiteral("Command1"));
  ok_button_->setDefault(true);
  connect(ok_button_, &QPushButton::clicked, this, &QDialog::accept);

  auto* column = new QVBoxLayout(this);
  column->addWidget(caption_);
  column->addWidget(list_);
  column->addWidget(ok_button_, 0, Qt::AlignRight);
  column->setSizeConstraint(QLayout::SetFixedSize);
  list_->setFocus();
}

int RandomSelectDialog::Choice() const {
  if (result() != QDialog::Accepted) return 0;
  const QList<QListWidgetItem*> selected = list_->selectedItems();
  return selected.isEmpty() ? 0 : list_->row(selected.front());
}

int AskRandomSelect(QWidget* parent, int random_count, int branches, UiLanguage language) {
  RandomSelectDialog dialog(random_count, branches, parent, language);
  dialog.exec();
  return dialog.Choice();
}

}  // namespace quillon
