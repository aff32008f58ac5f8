#include "speech/sound_rig.h"

#include <QDir>
#include <QFile>
#include <QThread>
#include <QtTest/QTest>
#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>

#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace corvane::testing {

namespace {

const QString kSink = QStringLiteral("corvane_test");

// Whether something accepts connections on the Unix socket.
bool answers(const QString& path) {
  const QByteArray name = QFile::encodeName(path);
  sockaddr_un address{};
  if (name.size() >= static_cast<qsizetype>(sizeof(address.sun_path))) return false;
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, name.constData(), static_cast<std::size_t>(name.size()));
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  if (fd < 0) return false;
  const bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return ok;
}

// Runs a short command to its end; its exit code, or -1 when it did not run or finish.
int run(const QString& program, const QStringList& arguments) {
  QProcess process;
  process.start(program, arguments);
  if (!process.waitForFinished(10000)) {
    process.kill();
    process.waitForFinished();
    return -1;
  }
  return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

}  // namespace

SoundRig::SoundRig() {
  clock_.start();
  const std::filesystem::path runtime = dir_.path() / "run";
  std::filesystem::create_directory(runtime);
  std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
  std::filesystem::create_directory(dir_.path() / "home");
  const QByteArray run = QFile::encodeName(QString::fromStdString(runtime.string()));
  setEnv("XDG_RUNTIME_DIR", run);
  setEnv("HOME", QFile::encodeName(QString::fromStdString((dir_.path() / "home").string())));
  setEnv("PULSE_SERVER", "unix:" + run + "/pulse/native");
  setEnv("SPEECHD_ADDRESS", "unix_socket:" + run + "/speech-dispatcher/speechd.sock");
  QObject::connect(&parec_, &QProcess::readyReadStandardOutput, &parec_,
                   [this] { readRecording(); });
}

SoundRig::~SoundRig() {
  stop(parec_);
  stop(speechd_);
  stop(pulse_);
  for (auto& [name, value] : savedEnv_) {
    if (value) {
      qputenv(name.constData(), *value);
    } else {
      qunsetenv(name.constData());
    }
  }
}

void SoundRig::setEnv(const char* name, const QByteArray& value) {
  savedEnv_.emplace_back(QByteArray(name), qEnvironmentVariableIsSet(name)
                                               ? std::make_unique<QByteArray>(qgetenv(name))
                                               : nullptr);
  qputenv(name, value);
}

QString SoundRig::start(QProcess& process, const QString& program, const QStringList& arguments) {
  process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  // Should this process die, the daemons go with it.
  process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
  process.start(program, arguments);
  if (!process.waitForStarted(10000)) return program + QStringLiteral(" does not start");
  return {};
}

void SoundRig::stop(QProcess& process) {
  if (process.state() == QProcess::NotRunning) return;
  process.terminate();
  if (!process.waitForFinished(3000)) {
    process.kill();
    process.waitForFinished(3000);
  }
}

QString SoundRig::startPulse() {
  const QString socket = qEnvironmentVariable("XDG_RUNTIME_DIR") + QStringLiteral("/pulse/native");
  QString problem =
      start(pulse_, QStringLiteral("pulseaudio"),
            {QStringLiteral("-n"), QStringLiteral("--daemonize=no"),
             QStringLiteral("--exit-idle-time=-1"), QStringLiteral("--use-pid-file=no"),
             QStringLiteral("--realtime=no"), QStringLiteral("--high-priority=no"),
             QStringLiteral("--log-target=stderr"), QStringLiteral("--log-level=error"),
             QStringLiteral("--load=module-native-protocol-unix auth-anonymous=1 socket=") + socket,
             QStringLiteral("--load=module-null-sink sink_name=") + kSink});
  if (!problem.isEmpty()) return problem;
  if (!QTest::qWaitFor([&] { return answers(socket) || pulse_.state() == QProcess::NotRunning; },
                       10000) ||
      pulse_.state() == QProcess::NotRunning) {
    return QStringLiteral("pulseaudio did not come up");
  }
  if (run(QStringLiteral("pactl"), {QStringLiteral("set-default-sink"), kSink}) != 0)
    return QStringLiteral("pactl cannot make the null sink the default output");
  return {};
}

QString SoundRig::startSpeechDispatcher() {
  const QString socket =
      qEnvironmentVariable("XDG_RUNTIME_DIR") + QStringLiteral("/speech-dispatcher/speechd.sock");
  const QString logs = QString::fromStdString((dir_.path() / "speechd-logs").string());
  QDir().mkpath(logs);
  QString problem =
      start(speechd_, QStringLiteral("speech-dispatcher"),
            {QStringLiteral("--run-single"), QStringLiteral("--timeout=0"),
             QStringLiteral("--communication-method=unix_socket"),
             QStringLiteral("--socket-path=") + socket, QStringLiteral("--log-dir=") + logs});
  if (!problem.isEmpty()) return problem;
  if (!QTest::qWaitFor([&] { return answers(socket) || speechd_.state() == QProcess::NotRunning; },
                       15000) ||
      speechd_.state() == QProcess::NotRunning) {
    return QStringLiteral("speech-dispatcher did not come up");
  }
  return {};
}

QString SoundRig::startRecording() {
  QString problem = start(parec_, QStringLiteral("parec"),
                          {QStringLiteral("--device=") + kSink + QStringLiteral(".monitor"),
                           QStringLiteral("--format=s16le"), QStringLiteral("--rate=%1").arg(kRate),
                           QStringLiteral("--channels=1"), QStringLiteral("--raw"),
                           QStringLiteral("--latency-msec=10")});
  if (!problem.isEmpty()) return problem;
  if (!QTest::qWaitFor([&] { return samples_.size() >= kRate / 10; }, 10000))
    return QStringLiteral("parec records nothing");
  return {};
}

void SoundRig::readRecording() {
  const double readAt = static_cast<double>(now());
  QByteArray bytes = pendingByte_ + parec_.readAllStandardOutput();
  pendingByte_.clear();
  if (bytes.size() % 2 != 0) pendingByte_ = bytes.right(1);
  const std::size_t count = static_cast<std::size_t>(bytes.size() / 2);
  const std::size_t first = samples_.size();
  samples_.resize(first + count);
  std::memcpy(samples_.data() + first, bytes.constData(), count * 2);
  // The monitor delivers samples at the sink's steady rate, and each read comes some time
  // after its samples sounded: the earliest start any read implies is the closest estimate.
  const double start = readAt - static_cast<double>(samples_.size()) * 1000.0 / kRate;
  recordingStart_ = first == 0 ? start : std::min(recordingStart_, start);
}

double SoundRig::timeOfSample(std::size_t index) const {
  return recordingStart_ + static_cast<double>(index) * 1000.0 / kRate;
}

std::size_t SoundRig::sampleAt(double ms) const {
  const double index = (ms - recordingStart_) * kRate / 1000.0;
  return index <= 0 ? 0 : std::min(samples_.size(), static_cast<std::size_t>(index));
}

}  // namespace corvane::testing
