#include "support/temp_dir.h"

#include <atomic>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <system_error>

#include <sys/stat.h>

namespace corvane::testing {

TempDir::TempDir() {
  static std::atomic<unsigned> serial{0};
  std::random_device entropy;
  const auto base = std::filesystem::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    auto candidate = base / ("corvane-test-" + std::to_string(entropy()) + "-" +
                             std::to_string(serial.fetch_add(1)));
    std::error_code ec;
    if (std::filesystem::create_directory(candidate, ec)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("cannot make a temporary folder");
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(path_, ec);
}

std::filesystem::path TempDir::write(std::string_view name, std::string_view bytes) const {
  auto file = path_ / std::filesystem::path(name);
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + file.string());
  return file;
}

std::filesystem::path TempDir::fifo(std::string_view name) const {
  auto file = path_ / std::filesystem::path(name);
  if (::mkfifo(file.c_str(), 0600) != 0) throw std::runtime_error("cannot make " + file.string());
  return file;
}

}  // namespace corvane::testing
