// The keyless block transform of archive entries and names, and the ways of
// applying it to a buffer. Pure functions; no state between calls.
#ifndef CORVANTH_ARCHIVE_ENTRY_CIPHER_H_
#define CORVANTH_ARCHIVE_ENTRY_CIPHER_H_

#include <cstdint>

namespace corvanth {

class EntryCipher {
 public:
  static constexpr uint32_t kBlockSize = 8;

  // The one-round transform on one 8-byte block; its own inverse.
  static void transformBlock(const uint8_t in[8], uint8_t out[8]);

  // Mixed mode: the first 20 blocks and every cycle-th block transformed,
  // every 7th of the others unshuffled, the rest copied. digitCount is the
  // number of decimal digits of the entry's compressedSize.
  // data and out are distinct; a trailing partial block is copied unchanged.
  static void decipherMixed(const uint8_t* data, uint32_t length, uint8_t* out,
                            int digitCount);
  // Light mode: only the first 20 blocks transformed, the rest copied.
  static void decipherLight(const uint8_t* data, uint32_t length, uint8_t* out);

  static int mixedCycle(int digitCount);
  // Decimal digits of value; 0 has 1.
  static int digitCount(uint32_t value);

  // The byte reordering and substitution of the mixed mode.
  static void unshuffleBlock(const uint8_t in[8], uint8_t out[8]);
  // Each byte with its two 4-bit halves exchanged.
  static void swapNibbles(const uint8_t* data, uint32_t length, uint8_t* out);

  // The producing direction, for operator tools and test fixtures.
  static void shuffleBlock(const uint8_t in[8], uint8_t out[8]);
  static void encipherMixed(const uint8_t* data, uint32_t length, uint8_t* out,
                            int digitCount);
  static void encipherLight(const uint8_t* data, uint32_t length, uint8_t* out);
};

}  // namespace corvanth

#endif  // CORVANTH_ARCHIVE_ENTRY_CIPHER_H_
