// The record stream inside a compressed package (after gzip decompression).
//
// Each record:  code (1)  name length n (1, 1..255)  name (n, zero included)
// File records continue with:  data length s (4, little-endian)  content (s)
// The stream ends with an end record; bytes after it are never read.
#ifndef CORVANTH_PACKAGE_PACKAGE_FORMAT_H_
#define CORVANTH_PACKAGE_PACKAGE_FORMAT_H_

#include <cstddef>
#include <cstdint>

namespace corvanth {

constexpr char kRecordDirectory = 'd';  // creates one directory level
constexpr char kRecordFile = 'f';       // creates or replaces one file
constexpr char kRecordEnd = 'e';        // name ignored; writers store one zero byte

constexpr size_t kMaxRecordNameLength = 255;  // zero byte included
constexpr size_t kDataLengthSize = 4;

inline uint32_t decodeFixed32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace corvanth

#endif  // CORVANTH_PACKAGE_PACKAGE_FORMAT_H_
