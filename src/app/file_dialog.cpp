#include "app/file_dialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>

namespace corvane {
namespace {

// Qt's own Open dialog reads a file name that holds a double quote as a list of quoted names, so
// `say "hi".txt`, typed or filled in by choosing the entry in the list, is taken as "hi": the
// Open button stays disabled, or the dialog answers "File not found". This dialog first takes
// the name as it stands: when it names an existing file, Open is enabled and that file is the
// choice. Every other name goes through Qt's own handling.
class OpenDialog : public QFileDialog {
 public:
  OpenDialog(QWidget* parent, const QString& caption, const QString& folder, const QString& filter)
      : QFileDialog(parent, caption, folder, filter) {
    setFileMode(QFileDialog::ExistingFile);
    edit_ = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    auto* buttons = findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
    open_ = buttons ? buttons->button(QDialogButtonBox::Open) : nullptr;
    if (edit_ == nullptr || open_ == nullptr) return;
    // After Qt's own check of the typed name, which runs first, and whenever it disables Open.
    connect(edit_, &QLineEdit::textChanged, this, &OpenDialog::enableForLiteralName);
    open_->installEventFilter(this);
  }

  QString literalChoice;

  void accept() override {
    const QString file = literalFile();
    if (!file.isEmpty()) {
      literalChoice = file;
      QDialog::accept();
      return;
    }
    QFileDialog::accept();
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == open_ && event->type() == QEvent::EnabledChange) enableForLiteralName();
    return QFileDialog::eventFilter(watched, event);
  }

 private:
  // The existing file that the name in the box names as it stands, when that name holds a double
  // quote; else empty.
  QString literalFile() const {
    const QString typed = edit_ ? edit_->text() : QString();
    if (!typed.contains(QLatin1Char('"'))) return QString();
    const QFileInfo file(directory(), typed);
    return file.isFile() ? file.absoluteFilePath() : QString();
  }

  void enableForLiteralName() {
    if (!open_->isEnabled() && !literalFile().isEmpty()) open_->setEnabled(true);
  }

  QLineEdit* edit_ = nullptr;
  QPushButton* open_ = nullptr;
};

}  // namespace

void FileDialog::showOpen() {
  fileName_ = choose(initialFolder_, filter_);
  fileTitle_ = fileName_.isEmpty() ? QString() : QFileInfo(fileName_).fileName();
}

QString QtFileDialog::choose(const QString& initialFolder, const QString& filter) {
  OpenDialog dialog(QApplication::activeWindow(), QStringLiteral("Open"), initialFolder, filter);
  if (dialog.exec() != QDialog::Accepted) return QString();
  if (!dialog.literalChoice.isEmpty()) return dialog.literalChoice;
  return dialog.selectedFiles().value(0);
}

}  // namespace corvane
