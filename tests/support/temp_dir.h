#pragma once

#include <filesystem>
#include <string_view>

namespace corvane::testing {

// A fresh folder under the system's temporary folder, removed with everything in it when the
// object goes away. Tests write their point files here, never anywhere else.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const noexcept { return path_; }

  // Writes the bytes to a file of that name in the folder and returns its full path.
  std::filesystem::path write(std::string_view name, std::string_view bytes) const;

  // Makes a named pipe of that name in the folder (no writer) and returns its full path.
  std::filesystem::path fifo(std::string_view name) const;

 private:
  std::filesystem::path path_;
};

}  // namespace corvane::testing
