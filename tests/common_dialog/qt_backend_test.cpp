// The real dialogs, answered from inside their own event loop.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>

#include "platform/common_dialog.h"

namespace quillon {
namespace {

using namespace std::string_literals;

// Runs `act` on the next modal dialog once it is up; a dialog of another kind fails the test and
// is closed.
template <class T>
void AnswerNext(std::function<void(T*)> act) {
  QTimer::singleShot(0, [act = std::move(act)] {
    QWidget* widget = QApplication::activeModalWidget();
    if (widget == nullptr) return AnswerNext<T>(act);
    if (auto* dialog = qobject_cast<T*>(widget)) return act(dialog);
    ADD_FAILURE() << "unexpected dialog " << widget->metaObject()->className();
    widget->close();
  });
}

TEST(QtBackendTest, OpenTakesAnExistingFileAndSaveAsksBeforeReplacingIt) {
  QTemporaryDir temp;
  const std::string folder = (temp.path() + QString::fromUtf8("/譜面")).toStdString();
  const std::string chart = folder + "/曲.bms";
  ASSERT_TRUE(QDir().mkpath(QString::fromStdString(folder)));
  QFile file(QString::fromStdString(chart));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  const std::string filter = "BMSファイル\0*.bms\0すべてのファイル\0*.*\0"s;

  QFileDialog::FileMode mode = QFileDialog::AnyFile;
  QStringList filters;
  AnswerNext<QFileDialog>([&](QFileDialog* dialog) {
    mode = dialog->fileMode();
    filters = dialog->nameFilters();
    dialog->selectFile(QString::fromUtf8("曲.bms"));
    static_cast<QDialog*>(dialog)->accept();  // QFileDialog hides it
  });
  EXPECT_EQ(OpenFileDialog(nullptr, filter, folder), chart);
  EXPECT_EQ(mode, QFileDialog::ExistingFile);
  EXPECT_EQ(filters.join(QStringLiteral(";;")),
            QString::fromUtf8("BMSファイル (*.bms);;すべてのファイル (*.*)"));
  AnswerNext<QDialog>([](QDialog* dialog) { dialog->reject(); });
  EXPECT_EQ(OpenFileDialog(nullptr, filter, folder), "");

  QString question;
  AnswerNext<QFileDialog>([&](QFileDialog* dialog) {
    dialog->selectFile(QString::fromStdString(chart));
    AnswerNext<QMessageBox>([&](QMessageBox* box) {
      question = box->text();
      box->button(QMessageBox::Yes)->click();
    });
    static_cast<QDialog*>(dialog)->accept();
  });
  EXPECT_EQ(SaveFileDialog(nullptr, filter, folder), chart);
  EXPECT_TRUE(question.contains(QString::fromUtf8("曲.bms")));
}

}  // namespace
}  // namespace quillon
