// A temporary directory that a test works in, removed with its contents.
#ifndef CORVANTH_TESTS_SUPPORT_TEMP_DIR_H_
#define CORVANTH_TESTS_SUPPORT_TEMP_DIR_H_

#include <cstdint>
#include <string>
#include <vector>

namespace corvanth {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Makes a TempDir the current directory (the game directory) for its life.
class ScopedCurrentDir {
 public:
  explicit ScopedCurrentDir(const std::string& path);
  ~ScopedCurrentDir();

 private:
  std::string previous_;
};

bool writeFile(const std::string& path, const std::string& bytes);
bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes);
// The whole file, or an empty string when it cannot be read.
std::string readFile(const std::string& path);
bool fileExists(const std::string& path);
// The names in a directory, sorted, so that a test sees any file left behind.
std::vector<std::string> filesIn(const std::string& dir);

}  // namespace corvanth

#endif  // CORVANTH_TESTS_SUPPORT_TEMP_DIR_H_
