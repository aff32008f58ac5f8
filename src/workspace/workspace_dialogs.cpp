#include "workspace/workspace_dialogs.h"

#include <QFileDialog>
#include <QMessageBox>

namespace corvane::workspace {
namespace {

class QtDialogs final : public WorkspaceDialogs {
 public:
  QStringList openFiles(QWidget* parent, const QString& title, const QString& filter) override {
    return QFileDialog::getOpenFileNames(parent, title, QString(), filter);
  }
  QString saveFile(QWidget* parent, const QString& title, const QString& suggested,
                   const QString& filter) override {
    return QFileDialog::getSaveFileName(parent, title, suggested, filter);
  }
  QString folder(QWidget* parent, const QString& title) override {
    return QFileDialog::getExistingDirectory(parent, title);
  }
  void failed(QWidget* parent, const QString& title, const QString& text) override {
    QMessageBox::warning(parent, title, text);
  }
};

}  // namespace

std::unique_ptr<WorkspaceDialogs> qtDialogs() { return std::make_unique<QtDialogs>(); }

}  // namespace corvane::workspace
