// Game launch on POSIX: posix_spawn of the split command line.
#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/process_launcher.h"

extern char** environ;

namespace corvanth {

std::vector<std::string> splitCommandLine(const std::string& line) {
  // The rules of the desktop platform's C runtime: 2n backslashes before a
  // quote give n backslashes and a quote that toggles grouping; 2n+1 give n
  // backslashes and a literal quote; other backslashes are literal.
  std::vector<std::string> args;
  size_t i = 0;
  const size_t n = line.size();
  while (true) {
    while (i < n && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i >= n) break;
    std::string arg;
    bool quoted = false;
    while (i < n && (quoted || (line[i] != ' ' && line[i] != '\t'))) {
      if (line[i] == '\\') {
        size_t slashes = 0;
        while (i < n && line[i] == '\\') {
          ++slashes;
          ++i;
        }
        if (i < n && line[i] == '"') {
          arg.append(slashes / 2, '\\');
          if (slashes % 2 == 1) {
            arg.push_back('"');
            ++i;
          }
        } else {
          arg.append(slashes, '\\');
        }
      } else if (line[i] == '"') {
        if (quoted && i + 1 < n && line[i + 1] == '"') {
          arg.push_back('"');  // "" inside quotes is a literal quote
          i += 2;
          continue;
        }
        quoted = !quoted;
        ++i;
      } else {
        arg.push_back(line[i++]);
      }
    }
    args.push_back(arg);
  }
  return args;
}

namespace {

bool isExecutableFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
         ::access(path.c_str(), X_OK) == 0;
}

bool isRegularFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The current directory first, then every directory of PATH.
std::string findProgram(const std::string& name, bool* inCurrentDirectory) {
  *inCurrentDirectory = false;
  if (name.find('/') != std::string::npos) return name;
  if (isRegularFile(name)) {
    *inCurrentDirectory = true;
    return "./" + name;
  }
  const char* path = std::getenv("PATH");
  std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    // An empty PATH element means the current directory.
    std::string candidate = end > start ? dirs.substr(start, end - start) : std::string(".");
    candidate += '/';
    candidate += name;
    if (isExecutableFile(candidate)) return candidate;
    start = end + 1;
  }
  return std::string();
}

bool endsWithExe(const std::string& name) {
  if (name.size() < 4) return false;
  std::string tail = name.substr(name.size() - 4);
  for (char& c : tail) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  return tail == ".exe";
}

}  // namespace

bool launchProcess(const std::string& commandLine) {
  std::vector<std::string> args = splitCommandLine(commandLine);
  if (args.empty()) return false;
  bool local = false;
  std::string program = findProgram(args[0], &local);
  if (program.empty()) return false;
  // A program of the desktop platform runs through wine when it is installed.
  if (endsWithExe(program) && !isExecutableFile(program)) {
    bool unused = false;
    std::string wine = findProgram("wine", &unused);
    if (wine.empty()) return false;
    args.insert(args.begin(), wine);
    args[1] = program;
    program = wine;
  } else {
    args[0] = program;
  }
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  return ::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) == 0;
}

}  // namespace corvanth
