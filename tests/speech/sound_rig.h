#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QProcess>
#include <QString>
#include <memory>
#include <vector>

#include "support/temp_dir.h"

namespace corvane::testing {

// A private sound server for one test: PulseAudio with a null sink as the only (default)
// output, optionally speech-dispatcher with its espeak-ng voice, and parec recording the null
// sink's monitor, all with their runtime folder, home and sockets in a temporary folder and
// this process pointed at them. Everything is stopped, and the environment restored, when the
// rig goes away, so no daemon outlives the test.
class SoundRig {
 public:
  static constexpr int kRate = 16000;  // recorded samples per second, mono

  SoundRig();
  ~SoundRig();
  SoundRig(const SoundRig&) = delete;
  SoundRig& operator=(const SoundRig&) = delete;

  // Each returns an empty text on success, else what went wrong.
  QString startPulse();
  QString startSpeechDispatcher();
  QString startRecording();

  // Milliseconds since the rig was made, the clock every time below is on.
  qint64 now() const { return clock_.elapsed(); }

  // What was recorded so far; sample i sounded at about recordingStart() + i * 1000 / kRate.
  const std::vector<qint16>& samples() const { return samples_; }
  double recordingStart() const { return recordingStart_; }
  double timeOfSample(std::size_t index) const;
  std::size_t sampleAt(double ms) const;

 private:
  QString start(QProcess& process, const QString& program, const QStringList& arguments);
  void stop(QProcess& process);
  void setEnv(const char* name, const QByteArray& value);
  void readRecording();

  TempDir dir_;
  QElapsedTimer clock_;
  QProcess pulse_;
  QProcess speechd_;
  QProcess parec_;
  std::vector<std::pair<QByteArray, std::unique_ptr<QByteArray>>> savedEnv_;
  std::vector<qint16> samples_;
  QByteArray pendingByte_;
  double recordingStart_ = 0;
};

}  // namespace corvane::testing
