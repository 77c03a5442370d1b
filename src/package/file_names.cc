// Helpers on file names.
#include "package/file_names.h"

#include <cstdio>
#include <cstring>

namespace corvanth {

bool hasExtension(const char* name, const char* ext) {
  const char* dot = std::strchr(name, '.');
  return dot != nullptr && std::strcmp(dot + 1, ext) == 0;
}

void replaceExtension(char* buffer, size_t size, const char* ext) {
  if (size == 0) return;
  char* dot = std::strchr(buffer, '.');
  if (ext == nullptr) {
    if (dot != nullptr) *dot = '\0';
    return;
  }
  if (dot != nullptr) {
    *dot = '\0';
  }
  size_t used = std::strlen(buffer);
  std::snprintf(buffer + used, size - used, ".%s", ext);
}

void copyWithExtension(const char* source, const char* ext, char* buffer, size_t size) {
  if (size == 0) return;
  std::snprintf(buffer, size, "%s", source);
  replaceExtension(buffer, size, ext);
}

bool isContainedName(const char* name) {
  auto isSeparator = [](char c) { return c == '/' || c == '\\'; };
  if (isSeparator(name[0])) return false;
  bool driveLetter = (name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z');
  if (driveLetter && name[1] == ':') return false;
  for (const char* part = name;;) {
    const char* end = part;
    while (*end != '\0' && !isSeparator(*end)) ++end;
    if (end - part == 2 && part[0] == '.' && part[1] == '.') return false;
    if (*end == '\0') return true;
    part = end + 1;
  }
}

}  // namespace corvanth
