#include "workspace/surface_store.h"

#include <QFileInfo>
#include <QMetaObject>
#include <algorithm>
#include <new>

namespace corvane::workspace {

// What a job hands back to the window's thread.
struct SurfaceStore::Outcome {
  enum class Kind { Progress, Read, Analysed, Failed, Cancelled };
  std::uint64_t id = 0;
  std::uint64_t job = 0;
  Kind kind = Kind::Cancelled;
  SurfaceRead read;
  std::shared_ptr<const PointList> points;
  SurfaceResultPtr result;
  QString diagnosis;
  int percent = 0;
};

SurfaceStore::SurfaceStore(QObject* parent) : QObject(parent) {
  // Two surfaces at a time: a large one's analysis takes a second thread of its own, and each
  // job holds its surface's work space.
  pool_.setMaxThreadCount(2);
}

SurfaceStore::~SurfaceStore() {
  for (const Job& job : jobs_) job.cancel->store(true);
  pool_.waitForDone();
}

int SurfaceStore::rowOf(std::uint64_t id) const {
  for (std::size_t row = 0; row < entries_.size(); ++row) {
    if (entries_[row].id == id) return static_cast<int>(row);
  }
  return -1;
}

void SurfaceStore::open(const QStringList& paths) {
  if (paths.isEmpty()) return;
  const int first = count();
  for (const QString& path : paths) {
    Entry entry;
    entry.id = nextId_++;
    entry.path = path;
    entry.name = QFileInfo(path).fileName();
    entries_.push_back(std::move(entry));
    start(entries_.back(), true);
  }
  emit rowsAdded(first, count() - 1);
}

void SurfaceStore::close(int row) {
  if (row < 0 || row >= count()) return;
  const std::uint64_t id = entries_[static_cast<std::size_t>(row)].id;
  for (const Job& job : jobs_) {
    if (job.id == id) job.cancel->store(true);
  }
  std::erase_if(jobs_, [id](const Job& job) { return job.id == id; });
  entries_.erase(entries_.begin() + row);
  emit rowRemoved(row);
  if (jobs_.empty()) emit idle();
}

void SurfaceStore::closeAll() {
  while (count() > 0) close(count() - 1);
}

void SurfaceStore::setSettings(const AnalysisSettings& settings) {
  const bool unitChanged = settings.unit != settings_.unit;
  settings_ = settings;
  for (std::size_t row = 0; row < entries_.size(); ++row) {
    Entry& entry = entries_[row];
    // The points of a file from an instrument (X3P or its own format) are converted to the unit
    // as they are read; a point file's are in it already. A file that could not be read stays as it is.
    const bool read = !entry.points || (unitChanged && entry.read.measurement.has_value());
    if (!entry.points && entry.state == State::Failed && !unitChanged) continue;
    start(entry, read);
    emit rowChanged(static_cast<int>(row));
  }
}

void SurfaceStore::start(Entry& entry, bool read) {
  for (const Job& job : jobs_) {
    if (job.id == entry.id) job.cancel->store(true);  // its work is of older settings
  }
  std::erase_if(jobs_, [&entry](const Job& job) { return job.id == entry.id; });
  Job job{entry.id, nextJob_++, std::make_shared<std::atomic<bool>>(false)};
  jobs_.push_back(job);
  entry.state = read ? State::Reading : State::Analysing;
  entry.percent = 0;
  entry.diagnosis.clear();

  const std::string path = entry.path.toStdString(), title = entry.name.toStdString();
  const AnalysisSettings settings = settings_;
  const SurfaceRead known = entry.read;
  const std::shared_ptr<const PointList> points = read ? nullptr : entry.points;
  const std::shared_ptr<std::atomic<bool>> cancel = job.cancel;
  const std::uint64_t id = entry.id, number = job.job;
  pool_.start([this, path, title, settings, known, points, cancel, id, number] {
    const auto post = [this](Outcome outcome) {
      QMetaObject::invokeMethod(
          this, [this, outcome = std::move(outcome)] { deliver(outcome); }, Qt::QueuedConnection);
    };
    Outcome outcome;
    outcome.id = id;
    outcome.job = number;
    try {
      SurfaceRead read = known;
      std::shared_ptr<const PointList> surface = points;
      if (!surface) {
        auto list = std::make_shared<PointList>();
        // Each whole percent read is told to the window.
        int told = -1;
        const auto progress = [&](double share) {
          const int percent = static_cast<int>(share * 100);
          if (percent == told) return;
          told = percent;
          Outcome step = outcome;
          step.kind = Outcome::Kind::Progress;
          step.percent = percent;
          post(step);
        };
        read = readSurface(path, *list, settings.unit, kMaxListPoints, progress);
        if (cancel->load()) return post(outcome);
        if (!read.ok) {
          outcome.kind = Outcome::Kind::Failed;
          outcome.diagnosis = QString::fromStdString(read.error);
          return post(outcome);
        }
        surface = std::move(list);
        Outcome done = outcome;
        done.kind = Outcome::Kind::Read;
        done.read = read;
        done.points = surface;
        post(done);
      }
      // Each of the pool's threads keeps its work space from one surface to the next.
      thread_local StandardWorkspace workspace;
      auto result = std::make_shared<SurfaceResult>();
      result->points = surface;
      result->settings = settings;
      SurfaceAnalysis& analysis = result->analysis;
      analysis.file = path;
      analysis.title = title;
      analysis.ok = true;
      analysis.x3p = read.x3p;
      analysis.x3pInfo = read.x3pInfo;
      analysis.format = read.format;
      analysis.measurement = read.measurement;
      analysis.unit = settings.unit;
      analysis.unitKnown = true;
      if (!analyseSurface(surface->points(), settings.standard, true, true, workspace, analysis,
                          cancel.get())) {
        return post(outcome);
      }
      outcome.kind = Outcome::Kind::Analysed;
      outcome.result = std::move(result);
    } catch (const std::bad_alloc&) {
      outcome.kind = Outcome::Kind::Failed;
      outcome.diagnosis = QStringLiteral("not enough memory for its points");
    }
    post(outcome);
  });
}

void SurfaceStore::finished(std::uint64_t id, std::uint64_t job) {
  std::erase_if(jobs_, [&](const Job& j) { return j.id == id && j.job == job; });
  if (jobs_.empty()) emit idle();
}

void SurfaceStore::deliver(const Outcome& outcome) {
  const auto current = std::find_if(jobs_.begin(), jobs_.end(), [&](const Job& j) {
    return j.id == outcome.id && j.job == outcome.job;
  });
  if (current == jobs_.end()) return;  // of a closed surface or of older settings
  const int row = rowOf(outcome.id);
  Entry& entry = entries_[static_cast<std::size_t>(row)];
  switch (outcome.kind) {
    case Outcome::Kind::Progress:
      entry.percent = outcome.percent;
      emit rowChanged(row);
      return;
    case Outcome::Kind::Read:
      entry.read = outcome.read;
      entry.points = outcome.points;
      entry.state = State::Analysing;
      emit rowChanged(row);
      return;  // the job goes on
    case Outcome::Kind::Analysed:
      entry.result = outcome.result;
      entry.state = State::Ready;
      break;
    case Outcome::Kind::Failed:
      entry.state = State::Failed;
      entry.diagnosis = outcome.diagnosis;
      entry.result.reset();
      break;
    case Outcome::Kind::Cancelled:
      break;
  }
  emit rowChanged(row);
  finished(outcome.id, outcome.job);
}

QString stateText(const SurfaceStore::Entry& entry) {
  switch (entry.state) {
    case SurfaceStore::State::Reading:
      return QStringLiteral("reading %1 %").arg(entry.percent);
    case SurfaceStore::State::Analysing:
      return QStringLiteral("analysing");
    case SurfaceStore::State::Ready:
      return QStringLiteral("ready");
    case SurfaceStore::State::Failed:
      return entry.diagnosis;
  }
  return {};
}

}  // namespace corvane::workspace
