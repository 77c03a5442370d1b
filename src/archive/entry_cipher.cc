// EntryCipher: one round of DES with an all-zero round key, applied to whole
// buffers in the mixed and light modes.
//
// Since every permutation involved is linear over XOR, the round reduces to
//   out = in XOR IP^-1(f(R) || 0),   R = right half of IP(in),
// so a block costs eight byte lookups for R and eight lookups of 64-bit masks
// that fold each S-box with P and IP^-1. The tables are built at compile time
// from the DES tables below.
#include "archive/entry_cipher.h"

#include <array>
#include <cstring>

namespace corvanth {
namespace {

// DES tables, bit 1 being the most significant bit of the first byte.
constexpr uint8_t kIp[64] = {
    58, 50, 42, 34, 26, 18, 10, 2, 60, 52, 44, 36, 28, 20, 12, 4,
    62, 54, 46, 38, 30, 22, 14, 6, 64, 56, 48, 40, 32, 24, 16, 8,
    57, 49, 41, 33, 25, 17, 9,  1, 59, 51, 43, 35, 27, 19, 11, 3,
    61, 53, 45, 37, 29, 21, 13, 5, 63, 55, 47, 39, 31, 23, 15, 7};
constexpr uint8_t kIpInverse[64] = {
    40, 8, 48, 16, 56, 24, 64, 32, 39, 7, 47, 15, 55, 23, 63, 31,
    38, 6, 46, 14, 54, 22, 62, 30, 37, 5, 45, 13, 53, 21, 61, 29,
    36, 4, 44, 12, 52, 20, 60, 28, 35, 3, 43, 11, 51, 19, 59, 27,
    34, 2, 42, 10, 50, 18, 58, 26, 33, 1, 41, 9,  49, 17, 57, 25};
constexpr uint8_t kP[32] = {16, 7, 20, 21, 29, 12, 28, 17, 1,  15, 23, 26, 5,  18, 31, 10,
                            2,  8, 24, 14, 32, 27, 3,  9,  19, 13, 30, 6,  22, 11, 4,  25};
// S1..S8 as rows 0..3 of 16 columns.
constexpr uint8_t kSBox[8][4][16] = {
    {{14, 4, 13, 1, 2, 15, 11, 8, 3, 10, 6, 12, 5, 9, 0, 7},
     {0, 15, 7, 4, 14, 2, 13, 1, 10, 6, 12, 11, 9, 5, 3, 8},
     {4, 1, 14, 8, 13, 6, 2, 11, 15, 12, 9, 7, 3, 10, 5, 0},
     {15, 12, 8, 2, 4, 9, 1, 7, 5, 11, 3, 14, 10, 0, 6, 13}},
    {{15, 1, 8, 14, 6, 11, 3, 4, 9, 7, 2, 13, 12, 0, 5, 10},
     {3, 13, 4, 7, 15, 2, 8, 14, 12, 0, 1, 10, 6, 9, 11, 5},
     {0, 14, 7, 11, 10, 4, 13, 1, 5, 8, 12, 6, 9, 3, 2, 15},
     {13, 8, 10, 1, 3, 15, 4, 2, 11, 6, 7, 12, 0, 5, 14, 9}},
    {{10, 0, 9, 14, 6, 3, 15, 5, 1, 13, 12, 7, 11, 4, 2, 8},
     {13, 7, 0, 9, 3, 4, 6, 10, 2, 8, 5, 14, 12, 11, 15, 1},
     {13, 6, 4, 9, 8, 15, 3, 0, 11, 1, 2, 12, 5, 10, 14, 7},
     {1, 10, 13, 0, 6, 9, 8, 7, 4, 15, 14, 3, 11, 5, 2, 12}},
    {{7, 13, 14, 3, 0, 6, 9, 10, 1, 2, 8, 5, 11, 12, 4, 15},
     {13, 8, 11, 5, 6, 15, 0, 3, 4, 7, 2, 12, 1, 10, 14, 9},
     {10, 6, 9, 0, 12, 11, 7, 13, 15, 1, 3, 14, 5, 2, 8, 4},
     {3, 15, 0, 6, 10, 1, 13, 8, 9, 4, 5, 11, 12, 7, 2, 14}},
    {{2, 12, 4, 1, 7, 10, 11, 6, 8, 5, 3, 15, 13, 0, 14, 9},
     {14, 11, 2, 12, 4, 7, 13, 1, 5, 0, 15, 10, 3, 9, 8, 6},
     {4, 2, 1, 11, 10, 13, 7, 8, 15, 9, 12, 5, 6, 3, 0, 14},
     {11, 8, 12, 7, 1, 14, 2, 13, 6, 15, 0, 9, 10, 4, 5, 3}},
    {{12, 1, 10, 15, 9, 2, 6, 8, 0, 13, 3, 4, 14, 7, 5, 11},
     {10, 15, 4, 2, 7, 12, 9, 5, 6, 1, 13, 14, 0, 11, 3, 8},
     {9, 14, 15, 5, 2, 8, 12, 3, 7, 0, 4, 10, 1, 13, 11, 6},
     {4, 3, 2, 12, 9, 5, 15, 10, 11, 14, 1, 7, 6, 0, 8, 13}},
    {{4, 11, 2, 14, 15, 0, 8, 13, 3, 12, 9, 7, 5, 10, 6, 1},
     {13, 0, 11, 7, 4, 9, 1, 10, 14, 3, 5, 12, 2, 15, 8, 6},
     {1, 4, 11, 13, 12, 3, 7, 14, 10, 15, 6, 8, 0, 5, 9, 2},
     {6, 11, 13, 8, 1, 4, 10, 7, 9, 5, 0, 15, 14, 2, 3, 12}},
    {{13, 2, 8, 4, 6, 15, 11, 1, 10, 9, 3, 14, 5, 0, 12, 7},
     {1, 15, 13, 8, 10, 3, 7, 4, 12, 5, 6, 11, 0, 14, 9, 2},
     {7, 11, 4, 1, 9, 12, 14, 2, 0, 6, 10, 13, 15, 3, 5, 8},
     {2, 1, 14, 7, 4, 10, 8, 13, 15, 12, 9, 0, 3, 5, 6, 11}}};

// Every row of a DES S-box is a permutation of 0..15; a mistyped entry
// breaks that.
constexpr bool sBoxRowsArePermutations() {
  for (const auto& box : kSBox) {
    for (const auto& row : box) {
      unsigned seen = 0;
      for (uint8_t v : row) seen |= 1u << v;
      if (seen != 0xFFFF) return false;
    }
  }
  return true;
}
static_assert(sBoxRowsArePermutations());

// S-box j indexed directly by the 6-bit group: row from its outer bits,
// column from its middle four.
constexpr uint8_t sBoxByGroup(int j, unsigned group) {
  unsigned row = ((group >> 4) & 2) | (group & 1);
  unsigned column = (group >> 1) & 0xF;
  return kSBox[j][row][column];
}

struct Tables {
  // rightHalf[k][v]: bits of R (bit 1 = bit 31) that byte k with value v supplies.
  uint32_t rightHalf[8][256];
  // mask[j][g]: IP^-1(P(Sj(g) in its place) || 0) as a big-endian 64-bit word.
  uint64_t mask[8][64];
};

constexpr Tables makeTables() {
  Tables t{};
  for (int q = 1; q <= 32; ++q) {
    int s = kIp[32 + q - 1];  // input bit that lands on bit q of R
    int k = (s - 1) / 8;
    unsigned byteBit = 0x80u >> ((s - 1) % 8);
    for (unsigned v = 0; v < 256; ++v) {
      if (v & byteBit) t.rightHalf[k][v] |= 1u << (32 - q);
    }
  }
  for (int j = 0; j < 8; ++j) {
    for (unsigned g = 0; g < 64; ++g) {
      uint32_t beforeP = static_cast<uint32_t>(sBoxByGroup(j, g)) << (28 - 4 * j);
      uint32_t f = 0;
      for (int i = 1; i <= 32; ++i) {
        if (beforeP & (1u << (32 - kP[i - 1]))) f |= 1u << (32 - i);
      }
      uint64_t w = static_cast<uint64_t>(f) << 32;
      uint64_t out = 0;
      for (int i = 1; i <= 64; ++i) {
        if (w & (uint64_t{1} << (64 - kIpInverse[i - 1]))) out |= uint64_t{1} << (64 - i);
      }
      t.mask[j][g] = out;
    }
  }
  return t;
}

constexpr Tables kTables = makeTables();

// Substitution T of the unshuffle: seven exchanged pairs; its own inverse.
constexpr std::array<uint8_t, 256> makeSubstitution() {
  std::array<uint8_t, 256> t{};
  for (unsigned v = 0; v < 256; ++v) t[v] = static_cast<uint8_t>(v);
  constexpr uint8_t kPairs[7][2] = {{0x00, 0x2B}, {0x01, 0x68}, {0x48, 0x77}, {0x60, 0xFF},
                                    {0x6C, 0x80}, {0xB9, 0xC0}, {0xEB, 0xFE}};
  for (const auto& p : kPairs) {
    t[p[0]] = p[1];
    t[p[1]] = p[0];
  }
  return t;
}

constexpr std::array<uint8_t, 256> kSubstitution = makeSubstitution();

inline uint64_t loadBig64(const uint8_t* p) {
  uint64_t v = 0;
  for (int i = 0; i < 8; ++i) v = (v << 8) | p[i];
  return v;
}

inline void storeBig64(uint8_t* p, uint64_t v) {
  for (int i = 7; i >= 0; --i) {
    p[i] = static_cast<uint8_t>(v);
    v >>= 8;
  }
}

inline void transform(const uint8_t* in, uint8_t* out) {
  uint32_t r = kTables.rightHalf[0][in[0]] | kTables.rightHalf[1][in[1]] |
               kTables.rightHalf[2][in[2]] | kTables.rightHalf[3][in[3]] |
               kTables.rightHalf[4][in[4]] | kTables.rightHalf[5][in[5]] |
               kTables.rightHalf[6][in[6]] | kTables.rightHalf[7][in[7]];
  // E as 34 bits: bit 32 of R, bits 1..32, bit 1; group j starts at bit 4j.
  uint64_t e = (static_cast<uint64_t>(r & 1) << 33) | (static_cast<uint64_t>(r) << 1) | (r >> 31);
  uint64_t mask = 0;
  for (int j = 0; j < 8; ++j) mask |= kTables.mask[j][(e >> (28 - 4 * j)) & 0x3F];
  storeBig64(out, loadBig64(in) ^ mask);
}

constexpr int kLeadingBlocks = 20;  // always transformed in both modes
constexpr int kUnshuffleEvery = 7;  // of the blocks the cycle leaves alone

// The mixed mode in either direction; seventh is the step applied to every
// seventh untransformed block (unshuffle or its inverse).
void applyMixed(const uint8_t* data, uint32_t length, uint8_t* out, int digitCount,
                void (*seventh)(const uint8_t*, uint8_t*)) {
  if (length == 0) return;
  const uint32_t cycle = static_cast<uint32_t>(EntryCipher::mixedCycle(digitCount));
  const uint32_t whole = length / EntryCipher::kBlockSize;
  const uint32_t lead = whole < kLeadingBlocks ? whole : kLeadingBlocks;
  for (uint32_t i = 0; i < lead; ++i) transform(data + 8 * i, out + 8 * i);

  // Past the lead, walk from one transformed block to the next; the blocks
  // between them are copied in runs, every seventh untransformed one stepped.
  uint32_t counter = 0;  // untransformed blocks since the last stepped one
  uint32_t i = lead;
  while (i < whole) {
    if (i % cycle == 0) {
      transform(data + 8 * i, out + 8 * i);
      ++i;
      continue;
    }
    uint32_t nextTransform = (i / cycle + 1) * cycle;
    uint32_t end = nextTransform < whole ? nextTransform : whole;
    while (i < end) {
      uint32_t run = static_cast<uint32_t>(kUnshuffleEvery) - counter;
      if (run > end - i) run = end - i;
      std::memcpy(out + 8 * i, data + 8 * i, 8 * static_cast<size_t>(run));
      i += run;
      counter += run;
      if (i < end) {  // counter has reached 7
        seventh(data + 8 * i, out + 8 * i);
        counter = 1;
        ++i;
      }
    }
  }
  // A trailing partial block is copied unchanged.
  std::memcpy(out + 8 * static_cast<size_t>(whole), data + 8 * static_cast<size_t>(whole),
              length - 8 * whole);
}

void unshuffle(const uint8_t* in, uint8_t* out) { EntryCipher::unshuffleBlock(in, out); }
void shuffle(const uint8_t* in, uint8_t* out) { EntryCipher::shuffleBlock(in, out); }

}  // namespace

void EntryCipher::transformBlock(const uint8_t in[8], uint8_t out[8]) { transform(in, out); }

void EntryCipher::decipherMixed(const uint8_t* data, uint32_t length, uint8_t* out,
                                int digitCount) {
  applyMixed(data, length, out, digitCount, unshuffle);
}

void EntryCipher::encipherMixed(const uint8_t* data, uint32_t length, uint8_t* out,
                                int digitCount) {
  applyMixed(data, length, out, digitCount, shuffle);
}

void EntryCipher::decipherLight(const uint8_t* data, uint32_t length, uint8_t* out) {
  if (length == 0) return;
  std::memcpy(out, data, length);
  uint32_t whole = length / kBlockSize;
  uint32_t lead = whole < kLeadingBlocks ? whole : kLeadingBlocks;
  for (uint32_t i = 0; i < lead; ++i) transform(data + 8 * i, out + 8 * i);
}

// The transform is its own inverse, so the light mode is too.
void EntryCipher::encipherLight(const uint8_t* data, uint32_t length, uint8_t* out) {
  decipherLight(data, length, out);
}

int EntryCipher::mixedCycle(int digitCount) {
  if (digitCount <= 2) return 1;
  if (digitCount <= 4) return digitCount + 1;
  if (digitCount <= 6) return digitCount + 9;
  return digitCount + 15;
}

int EntryCipher::digitCount(uint32_t value) {
  int digits = 1;
  while (value >= 10) {
    value /= 10;
    ++digits;
  }
  return digits;
}

void EntryCipher::unshuffleBlock(const uint8_t in[8], uint8_t out[8]) {
  uint8_t b[8];
  std::memcpy(b, in, 8);  // in and out may be the same block
  out[0] = b[3];
  out[1] = b[4];
  out[2] = b[6];
  out[3] = b[0];
  out[4] = b[1];
  out[5] = b[2];
  out[6] = b[5];
  out[7] = kSubstitution[b[7]];
}

void EntryCipher::shuffleBlock(const uint8_t in[8], uint8_t out[8]) {
  uint8_t b[8];
  std::memcpy(b, in, 8);
  out[0] = b[3];
  out[1] = b[4];
  out[2] = b[5];
  out[3] = b[0];
  out[4] = b[1];
  out[5] = b[6];
  out[6] = b[2];
  out[7] = kSubstitution[b[7]];
}

void EntryCipher::swapNibbles(const uint8_t* data, uint32_t length, uint8_t* out) {
  for (uint32_t i = 0; i < length; ++i) {
    out[i] = static_cast<uint8_t>((data[i] << 4) | (data[i] >> 4));
  }
}

}  // namespace corvanth
