#pragma once

#include <QString>

class QWidget;

namespace corvane {

// The file-open dialog as the window uses it: an initial folder and a filter set before it is
// shown, a modal Open dialog, and afterwards the chosen file's full name and its name without
// the folder. The names stay on the object until the next choice; the window reads them long
// after the dialog has closed (every Draw and Calculate reloads the file it names).
class FileDialog {
 public:
  virtual ~FileDialog() = default;

  void setInitialFolder(const QString& folder) { initialFolder_ = folder; }
  void setFilter(const QString& filter) { filter_ = filter; }
  const QString& initialFolder() const noexcept { return initialFolder_; }
  const QString& filter() const noexcept { return filter_; }

  // Shows the dialog and waits for the user. A cancelled dialog leaves both names empty.
  void showOpen();

  const QString& fileName() const noexcept { return fileName_; }
  const QString& fileTitle() const noexcept { return fileTitle_; }

 protected:
  // Asks the user for a file; an empty result means the dialog was cancelled.
  virtual QString choose(const QString& initialFolder, const QString& filter) = 0;

 private:
  QString initialFolder_;
  QString filter_;
  QString fileName_;
  QString fileTitle_;
};

// The desktop's own Open dialog, modal over the active window.
class QtFileDialog : public FileDialog {
 protected:
  QString choose(const QString& initialFolder, const QString& filter) override;
};

}  // namespace corvane
