#pragma once

#include <QString>
#include <QStringList>
#include <memory>

class QWidget;

namespace corvane::workspace {

// Where the analysis window asks the user something: files to open, a file to save, a folder,
// and a failure to report. The real one shows Qt's dialogs; tests hand in answers of their own.
class WorkspaceDialogs {
 public:
  virtual ~WorkspaceDialogs() = default;
  // Empty when the user cancels.
  virtual QStringList openFiles(QWidget* parent, const QString& title, const QString& filter) = 0;
  virtual QString saveFile(QWidget* parent, const QString& title, const QString& suggested,
                           const QString& filter) = 0;
  virtual QString folder(QWidget* parent, const QString& title) = 0;
  virtual void failed(QWidget* parent, const QString& title, const QString& text) = 0;
};

std::unique_ptr<WorkspaceDialogs> qtDialogs();

}  // namespace corvane::workspace
