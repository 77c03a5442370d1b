// Little-endian fixed-width integers, by explicit byte shifts: archive files
// are little-endian on every platform, and nothing is copied into structs.
#ifndef CORVANTH_ARCHIVE_CODING_H_
#define CORVANTH_ARCHIVE_CODING_H_

#include <cstdint>
#include <string>
#include <vector>

namespace corvanth {

// REQUIRES: p points at 4 readable bytes.
inline uint32_t decodeFixed32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// REQUIRES: p points at 4 writable bytes.
inline void encodeFixed32(uint8_t* p, uint32_t value) {
  p[0] = static_cast<uint8_t>(value);
  p[1] = static_cast<uint8_t>(value >> 8);
  p[2] = static_cast<uint8_t>(value >> 16);
  p[3] = static_cast<uint8_t>(value >> 24);
}

// Appends the 4 bytes of value.
inline void putFixed32(std::vector<uint8_t>* dst, uint32_t value) {
  uint8_t buf[4];
  encodeFixed32(buf, value);
  dst->insert(dst->end(), buf, buf + 4);
}

inline void putFixed32(std::string* dst, uint32_t value) {
  uint8_t buf[4];
  encodeFixed32(buf, value);
  dst->append(reinterpret_cast<const char*>(buf), 4);
}

}  // namespace corvanth

#endif  // CORVANTH_ARCHIVE_CODING_H_
