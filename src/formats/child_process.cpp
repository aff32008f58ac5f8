#include "formats/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <limits>
#include <string>

#include "formats/instrument_file.h"

#if defined(__SANITIZE_ADDRESS__)
#define CORVANE_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define CORVANE_ADDRESS_SANITIZER 1
#endif
#endif

namespace corvane {

namespace {

using Clock = std::chrono::steady_clock;

// Milliseconds until the deadline, at least 0 and within what poll() takes.
int millisecondsUntil(Clock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return static_cast<int>(std::clamp<long long>(left, 0, std::numeric_limits<int>::max()));
}

void closeQuietly(int fd) noexcept {
  if (fd >= 0) ::close(fd);
}

#ifndef CORVANE_ADDRESS_SANITIZER
// The address space the process holds now, from /proc/self/statm (its first field, in pages);
// 0 when it cannot be read.
std::uint64_t addressSpaceInUse() noexcept {
  const int fd = ::open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  char text[128] = {};
  ssize_t got;
  do {
    got = ::read(fd, text, sizeof text - 1);
  } while (got < 0 && errno == EINTR);
  ::close(fd);
  std::uint64_t pages = 0;
  for (ssize_t i = 0; i < got && text[i] >= '0' && text[i] <= '9'; ++i) {
    pages = pages * 10 + static_cast<std::uint64_t>(text[i] - '0');
  }
  const long pageSize = ::sysconf(_SC_PAGESIZE);
  return pageSize > 0 ? pages * static_cast<std::uint64_t>(pageSize) : 0;
}
#endif

// In the child: no core file when it crashes (a crash is an answer here, not a fault to look
// into), and its address space limited to what it holds now and `memory` more, so that a file
// that makes the library ask for ever more memory ends in a failed allocation.
void limitChild([[maybe_unused]] std::uint64_t memory) noexcept {
  const rlimit noCore{0, 0};
  ::setrlimit(RLIMIT_CORE, &noCore);
#ifndef CORVANE_ADDRESS_SANITIZER
  const std::uint64_t inUse = addressSpaceInUse();
  rlimit limit{};
  if (inUse == 0 || ::getrlimit(RLIMIT_AS, &limit) != 0) return;
  const std::uint64_t wanted =
      memory > std::numeric_limits<std::uint64_t>::max() - inUse ? RLIM_INFINITY : inUse + memory;
  if (limit.rlim_max != RLIM_INFINITY && wanted > limit.rlim_max) return;
  limit.rlim_cur = static_cast<rlim_t>(wanted);
  ::setrlimit(RLIMIT_AS, &limit);
#endif
}

// A started child, killed and reaped when it is left before it ended.
class Child {
 public:
  explicit Child(pid_t pid) noexcept : pid_(pid) {}
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  ~Child() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      int status;
      waitBlocking(status);
    }
  }

  // Waits for the child to end until the deadline; false when it still runs then.
  bool waitUntil(Clock::time_point deadline, int& status) noexcept {
    // A child that has answered is ending: looked at often at first, then less.
    long pause = 50'000;
    for (;;) {
      const pid_t ended = ::waitpid(pid_, &status, WNOHANG);
      if (ended == pid_) {
        pid_ = 0;
        return true;
      }
      if (ended < 0 && errno != EINTR) {
        // Reaped elsewhere (SIGCHLD ignored): it ended, how is not known.
        status = 0;
        pid_ = 0;
        return true;
      }
      if (Clock::now() >= deadline) return false;
      const timespec wait{0, pause};
      ::nanosleep(&wait, nullptr);
      pause = std::min(pause * 2, 2'000'000L);
    }
  }

  // Kills the child and reaps it.
  void kill(int& status) noexcept {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    waitBlocking(status);
  }

 private:
  void waitBlocking(int& status) noexcept {
    while (pid_ > 0 && ::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = 0;
  }

  pid_t pid_;
};

}  // namespace

bool ChildOutput::read(void* into, std::size_t size) {
  auto* at = static_cast<char*>(into);
  while (size > 0) {
    const int wait = millisecondsUntil(deadline_);
    if (wait == 0) {
      timedOut_ = true;
      return false;
    }
    pollfd ready{fd_, POLLIN, 0};
    const int polled = ::poll(&ready, 1, wait);
    if (polled < 0 && errno != EINTR) return false;
    if (polled <= 0) continue;
    const ssize_t got = ::read(fd_, at, size);
    if (got == 0) return false;
    if (got < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      return false;
    }
    at += got;
    size -= static_cast<std::size_t>(got);
  }
  return true;
}

bool writeAll(int fd, const void* from, std::size_t size) noexcept {
  const auto* at = static_cast<const char*>(from);
  while (size > 0) {
    const ssize_t put = ::write(fd, at, size);
    if (put < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    at += put;
    size -= static_cast<std::size_t>(put);
  }
  return true;
}

ChildEnd runInChildProcess(const std::function<void(int fd)>& work,
                           const std::function<bool(ChildOutput&)>& receive,
                           std::chrono::milliseconds time, std::uint64_t memory) {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) {
    throw FormatError(std::string("no process could be started to read the file (") +
                      std::strerror(errno) + ")");
  }
  const Clock::time_point deadline = Clock::now() + time;
  const pid_t pid = ::fork();
  if (pid < 0) {
    const int error = errno;
    closeQuietly(ends[0]);
    closeQuietly(ends[1]);
    throw FormatError(std::string("no process could be started to read the file (") +
                      std::strerror(error) + ")");
  }
  if (pid == 0) {
    // The child: whatever happens in `work`, it leaves through _exit.
    ::close(ends[0]);
    limitChild(memory);
    int code = 0;
    try {
      work(ends[1]);
    } catch (...) {
      code = 1;
    }
    ::_exit(code);
  }

  ::close(ends[1]);
  struct ReadEnd {
    int fd;
    ~ReadEnd() { closeQuietly(fd); }
  } readEnd{ends[0]};
  Child child(pid);
  ChildOutput output(readEnd.fd, deadline);
  ChildEnd end;
  end.answered = receive(output);
  int status = 0;
  if (output.timedOut() || !child.waitUntil(deadline, status)) {
    child.kill(status);
    end.timedOut = !end.answered;
    return end;
  }
  if (WIFSIGNALED(status)) end.signal = WTERMSIG(status);
  if (WIFEXITED(status)) end.exitCode = WEXITSTATUS(status);
  return end;
}

}  // namespace corvane
