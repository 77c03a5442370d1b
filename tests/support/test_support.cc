// TempDir, ScopedCurrentDir and small file helpers.
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/temp_dir.h"

namespace corvanth {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "corvanth-XXXXXX").string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  char* made = ::mkdtemp(buffer.data());
  path_ = made != nullptr ? made : "";
}

TempDir::~TempDir() {
  if (path_.empty()) return;
  std::error_code ignored;
  // Read-only files and folders must not keep the tree alive.
  for (auto& entry : std::filesystem::recursive_directory_iterator(path_, ignored)) {
    std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
  }
  std::filesystem::remove_all(path_, ignored);
}

ScopedCurrentDir::ScopedCurrentDir(const std::string& path) {
  previous_ = std::filesystem::current_path().string();
  std::filesystem::current_path(path);
}

ScopedCurrentDir::~ScopedCurrentDir() {
  std::error_code ignored;
  std::filesystem::current_path(previous_, ignored);
}

bool writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  return writeFile(path, std::string(bytes.begin(), bytes.end()));
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

bool fileExists(const std::string& path) { return std::filesystem::exists(path); }

std::vector<std::string> filesIn(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace corvanth
