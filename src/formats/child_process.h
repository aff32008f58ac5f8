#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>

namespace corvane {

// The parent's end of the pipe from a child process: reads that wait no longer than the time
// the child was given.
class ChildOutput {
 public:
  ChildOutput(int fd, std::chrono::steady_clock::time_point deadline) noexcept
      : fd_(fd), deadline_(deadline) {}

  // Reads exactly `size` bytes into `into`; false when the child closed its end first (it ended
  // or died) or its time ran out (timedOut() then says so).
  bool read(void* into, std::size_t size);
  bool timedOut() const noexcept { return timedOut_; }

 private:
  int fd_;
  std::chrono::steady_clock::time_point deadline_;
  bool timedOut_ = false;
};

// Writes all `size` bytes to `fd` through interruptions; false when the reader has gone. For the
// child's end of its pipe.
bool writeAll(int fd, const void* from, std::size_t size) noexcept;

// How a child process ended.
struct ChildEnd {
  bool answered = false;  // the parent read a whole answer
  bool timedOut = false;  // it ran past its time and was killed
  int signal = 0;         // the signal that ended it, 0 for none
  int exitCode = -1;      // its exit code when it exited
};

// Runs `work` in a forked child process, which writes its answer to the pipe it is given and then
// ends with _exit: it never returns into the caller's code, whatever `work` does (an exception
// ends it with exit code 1). The child may take `memory` bytes of address space beyond what it
// starts with (no limit under AddressSanitizer, whose shadow memory is address space too).
// The parent runs `receive` over the pipe meanwhile: it tells whether it read a whole answer, and
// may throw (the child is then killed and reaped first). A child still running after `time` is
// killed. Refuses with a FormatError when no process can be started.
ChildEnd runInChildProcess(const std::function<void(int fd)>& work,
                           const std::function<bool(ChildOutput&)>& receive,
                           std::chrono::milliseconds time, std::uint64_t memory);

}  // namespace corvane
