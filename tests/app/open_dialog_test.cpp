// The desktop's Open dialog itself (Qt's widget dialog on this platform), driven from inside its
// own event loop: a file whose name holds a double quote opens whether the name is typed or the
// entry is chosen in the list, and a cancelled dialog still gives no name.

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QList>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

#include "app/file_dialog.h"
#include "support/temp_dir.h"

namespace corvane::testing {
namespace {

// Runs `step` on the open dialog every 20 ms until it returns true, then waits for the dialog
// to close. After 5 s whatever is still open is closed, a message box over the dialog too, so
// that a test fails instead of waiting for a person.
void driveDialog(std::function<bool(QFileDialog&)> step) {
  auto* timer = new QTimer;
  QObject::connect(timer, &QTimer::timeout, [timer, step, ticks = 0, acted = false]() mutable {
    QFileDialog* dialog = nullptr;
    QList<QWidget*> shown;
    for (QWidget* window : QApplication::topLevelWidgets()) {
      if (!window->isVisible()) continue;
      shown << window;
      if (auto* fileDialog = qobject_cast<QFileDialog*>(window)) dialog = fileDialog;
    }
    if (acted && shown.isEmpty()) {
      timer->deleteLater();
    } else if (++ticks >= 250) {
      for (QWidget* window : shown) {
        ADD_FAILURE() << "still open: " << window->metaObject()->className();
        window->close();
      }
      timer->deleteLater();
    } else if (!acted && dialog != nullptr) {
      acted = step(*dialog);
    }
  });
  timer->start(20);
}

void clickOpen(QFileDialog& dialog) {
  dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Open)->click();
}

class OpenDialogTest : public ::testing::Test {
 protected:
  QString chooseIn(const TempDir& folder) {
    dialog_.setInitialFolder(QString::fromStdString(folder.path().string()));
    dialog_.setFilter(QStringLiteral("*.txt"));
    dialog_.showOpen();
    return dialog_.fileName();
  }

  TempDir folder_;
  QtFileDialog dialog_;
};

TEST_F(OpenDialogTest, ANameWithDoubleQuotesOpensTypedOrChosenInTheList) {
  const QString name = QStringLiteral("say \"hi\".txt");
  const QString path =
      QString::fromStdString(folder_.write(name.toStdString(), "1 2 3\n").string());

  driveDialog([&](QFileDialog& dialog) {
    dialog.findChild<QLineEdit*>()->setText(name);
    clickOpen(dialog);
    return true;
  });
  EXPECT_EQ(chooseIn(folder_), path);
  EXPECT_EQ(dialog_.fileTitle(), name);

  driveDialog([&](QFileDialog& dialog) {
    for (auto* view : dialog.findChildren<QAbstractItemView*>()) {
      if (!view->isVisible()) continue;
      const QModelIndex root = view->rootIndex();
      for (int row = 0; row < view->model()->rowCount(root); ++row) {
        const QModelIndex entry = view->model()->index(row, 0, root);
        if (entry.data().toString() != name) continue;
        // A click on the entry, as a user chooses it.
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(entry).center());
        if (dialog.findChild<QLineEdit*>()->text() != name) return false;
        clickOpen(dialog);
        return true;
      }
    }
    return false;  // the folder is still being listed
  });
  EXPECT_EQ(chooseIn(folder_), path);
}

TEST_F(OpenDialogTest, PlainNamesStillOpenAndCancelGivesNoName) {
  const QString path = QString::fromStdString(folder_.write("plain.txt", "1 2 3\n").string());
  driveDialog([](QFileDialog& dialog) {
    dialog.findChild<QLineEdit*>()->setText(QStringLiteral("plain.txt"));
    clickOpen(dialog);
    return true;
  });
  EXPECT_EQ(chooseIn(folder_), path);

  driveDialog([](QFileDialog& dialog) {
    dialog.reject();
    return true;
  });
  EXPECT_EQ(chooseIn(folder_), QString());
  EXPECT_EQ(dialog_.fileTitle(), QString());
}

}  // namespace
}  // namespace corvane::testing
