// EntryName: the lower-cased, hashed name key, and its order.
#include <cstring>

#include "archive/resource_archive.h"

namespace corvanth {

void EntryName::assign(const char* name) {
  size_t n = std::strlen(name);
  if (n > static_cast<size_t>(kMaxLength)) n = kMaxLength;  // callers check; never overflow
  uint32_t h = 5381;
  for (size_t i = 0; i < n; ++i) {
    char c = name[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    text[i] = c;
    // Each byte enters the hash as a signed 8-bit value.
    h = h * 33 + static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(c)));
  }
  std::memset(text + n, 0, sizeof text - n);
  hash = h;
}

bool operator<(const EntryName& a, const EntryName& b) {
  if (a.hash != b.hash) return a.hash < b.hash;
  // strcmp compares as unsigned char, a prefix first.
  return std::strcmp(a.text, b.text) < 0;
}

bool operator==(const EntryName& a, const EntryName& b) {
  return a.hash == b.hash && std::strcmp(a.text, b.text) == 0;
}

bool isFileEntryName(const char* name) { return std::strchr(name, '.') != nullptr; }

}  // namespace corvanth
