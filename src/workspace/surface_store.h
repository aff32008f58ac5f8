#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QThreadPool>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "formats/surface_file.h"
#include "workspace/surface_result.h"

namespace corvane::workspace {

// The surfaces open in the analysis window and the work on them. Every file is read and
// analysed on a thread pool, never on the window's thread; one set of settings applies to all.
// When the settings change, the work for the old ones is abandoned (each job's cancel flag is
// raised and what it still delivers is dropped) and every surface is analysed again: the newest
// settings win. Rows are added at once when files are opened and change as their work ends.
class SurfaceStore : public QObject {
  Q_OBJECT

 public:
  enum class State { Reading, Analysing, Ready, Failed };

  struct Entry {
    std::uint64_t id = 0;  // stays with the surface while it is open
    QString path;
    QString name;  // the file's name without its folder
    State state = State::Reading;
    int percent = 0;  // of the file read, while reading
    QString diagnosis;  // why it failed, in the readers' or the analysis's own words
    SurfaceRead read;   // what the file said of itself (its X3P record)
    std::shared_ptr<const PointList> points;  // once read
    SurfaceResultPtr result;  // the newest analysis done (of older settings while analysing)
  };

  explicit SurfaceStore(QObject* parent = nullptr);
  ~SurfaceStore() override;  // raises every cancel flag and waits for the work to stop

  int count() const { return static_cast<int>(entries_.size()); }
  const Entry& at(int row) const { return entries_[static_cast<std::size_t>(row)]; }
  int rowOf(std::uint64_t id) const;  // -1 when closed
  const AnalysisSettings& settings() const { return settings_; }
  bool busy() const { return !jobs_.empty(); }

  // Adds a row per file and starts reading them.
  void open(const QStringList& paths);
  void close(int row);
  void closeAll();
  // Analyses every surface again with these settings (reads them again for another unit).
  void setSettings(const AnalysisSettings& settings);

 signals:
  void rowsAdded(int first, int last);
  void rowChanged(int row);
  void rowRemoved(int row);
  void idle();  // every job has ended

 private:
  struct Outcome;
  void start(Entry& entry, bool read);
  void deliver(const Outcome& outcome);
  void finished(std::uint64_t id, std::uint64_t job);

  QThreadPool pool_;
  AnalysisSettings settings_;
  std::vector<Entry> entries_;
  std::uint64_t nextId_ = 1;
  std::uint64_t nextJob_ = 1;
  // The job working for each surface: its number and its cancel flag.
  struct Job {
    std::uint64_t id = 0;
    std::uint64_t job = 0;
    std::shared_ptr<std::atomic<bool>> cancel;
  };
  std::vector<Job> jobs_;
};

// The words of a state in the Surfaces table: "reading 35 %", "analysing", "ready", or the
// diagnosis.
QString stateText(const SurfaceStore::Entry& entry);

}  // namespace corvane::workspace
