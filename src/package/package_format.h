// The record stream inside a compressed package (after gzip decompression).
//
// Each record:  code (1)  name length n (1, 1..255)  name (n, zero included)
// File records continue with:  data length s (4, little-endian)  content (s)
// The stream ends with an end record; bytes after it are never read.
#ifndef CORVANTH_PACKAGE_PACKAGE_FORMAT_H_
#define CORVANTH_PACKAGE_PACKAGE_FORMAT_H_

#include <cstddef>
#include <cstdint>

#include "archive/coding.h"  // decodeFixed32: the data length is little-endian

namespace corvanth {

constexpr char kRecordDirectory = 'd';  // creates one directory level
constexpr char kRecordFile = 'f';       // creates or replaces one file
constexpr char kRecordEnd = 'e';        // name ignored; writers store one zero byte

constexpr size_t kMaxRecordNameLength = 255;  // zero byte included
constexpr size_t kDataLengthSize = 4;

}  // namespace corvanth

#endif  // CORVANTH_PACKAGE_PACKAGE_FORMAT_H_
