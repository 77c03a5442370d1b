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

// Written out in full so that compilers see a byte swap at every level of
// optimisation.
inline uint64_t loadBig64(const uint8_t* p) {
  return (uint64_t{p[0]} << 56) | (uint64_t{p[1]} << 48) | (uint64_t{p[2]} << 40) |
         (uint64_t{p[3]} << 32) | (uint64_t{p[4]} << 24) | (uint64_t{p[5]} << 16) |
         (uint64_t{p[6]} << 8) | uint64_t{p[7]};
}

inline void storeBig64(uint8_t* p, uint64_t v) {
  p[0] = static_cast<uint8_t>(v >> 56);
  p[1] = static_cast<uint8_t>(v >> 48);
  p[2] = static_cast<uint8_t>(v >> 40);
  p[3] = static_cast<uint8_t>(v >> 32);
  p[4] = static_cast<uint8_t>(v >> 24);
  p[5] = static_cast<uint8_t>(v >> 16);
  p[6] = static_cast<uint8_t>(v >> 8);
  p[7] = static_cast<uint8_t>(v);
}

inline void transform(const uint8_t* in, uint8_t* out) {
  const auto& rh = kTables.rightHalf;
  uint32_t r = rh[0][in[0]] | rh[1][in[1]] | rh[2][in[2]] | rh[3][in[3]] | rh[4][in[4]] |
               rh[5][in[5]] | rh[6][in[6]] | rh[7][in[7]];
  // E as 34 bits: bit 32 of R, bits 1..32, bit 1; group j starts at bit 4j.
  uint64_t e = (static_cast<uint64_t>(r & 1) << 33) | (static_cast<uint64_t>(r) << 1) | (r >> 31);
  const auto& m = kTables.mask;
  uint64_t mask = m[0][(e >> 28) & 0x3F] | m[1][(e >> 24) & 0x3F] | m[2][(e >> 20) & 0x3F] |
                  m[3][(e >> 16) & 0x3F] | m[4][(e >> 12) & 0x3F] | m[5][(e >> 8) & 0x3F] |
                  m[6][(e >> 4) & 0x3F] | m[7][e & 0x3F];
  storeBig64(out, loadBig64(in) ^ mask);
}

constexpr uint32_t kLeadingBlocks = 20;  // always transformed in both modes
constexpr uint32_t kUnshuffleEvery = 7;  // of the blocks the cycle leaves alone

// The mixed mode in either direction; seventh is the step applied to every
// seventh untransformed block (unshuffle or its inverse), inlined.
template <typename Step>
void applyMixed(const uint8_t* data, uint32_t length, uint8_t* out, int digitCount,
                Step seventh) {
  if (length == 0) return;
  const uint32_t cycle = static_cast<uint32_t>(EntryCipher::mixedCycle(digitCount));
  const uint32_t whole = length / EntryCipher::kBlockSize;
  const uint32_t lead = whole < kLeadingBlocks ? whole : kLeadingBlocks;
  for (uint32_t i = 0; i < lead; ++i) transform(data + 8 * i, out + 8 * i);

  // Past the lead, blocks at multiples of cycle are transformed; of the
  // others, counted from 0 in order, numbers 7, 14, 21, ... are stepped and
  // the rest copied. The data goes over in chunks that stay in cache: each
  // is copied whole, then its transformed and stepped blocks are
  // overwritten from data, so out is written in one pass.
  constexpr uint32_t kChunkBlocks = 2048;  // 16 KiB
  uint32_t nextTransform = (lead + cycle - 1) / cycle * cycle;
  // Walk over untransformed blocks: next is the next candidate, untilTransform
  // the untransformed blocks from next before the next transformed one.
  uint32_t next = lead;
  uint32_t untilTransform = nextTransform - lead;
  auto skipUntransformed = [&](uint32_t count) {
    while (count >= untilTransform) {
      count -= untilTransform;
      next += untilTransform + 1;
      untilTransform = cycle - 1;
    }
    uint32_t at = next + count;
    untilTransform -= count + 1;
    next = at + 1;
    return at;
  };
  // With a cycle of 1 every block is transformed and none stepped.
  uint32_t nextStep = cycle > 1 ? skipUntransformed(kUnshuffleEvery) : UINT32_MAX;
  for (uint32_t chunk = lead; chunk < whole; chunk += kChunkBlocks) {
    const uint32_t chunkEnd = whole - chunk < kChunkBlocks ? whole : chunk + kChunkBlocks;
    std::memcpy(out + 8 * static_cast<size_t>(chunk), data + 8 * static_cast<size_t>(chunk),
                8 * static_cast<size_t>(chunkEnd - chunk));
    for (; nextTransform < chunkEnd; nextTransform += cycle) {
      transform(data + 8 * static_cast<size_t>(nextTransform),
                out + 8 * static_cast<size_t>(nextTransform));
    }
    while (nextStep < chunkEnd) {
      seventh(data + 8 * static_cast<size_t>(nextStep), out + 8 * static_cast<size_t>(nextStep));
      nextStep = skipUntransformed(kUnshuffleEvery - 1);
    }
  }
  // A trailing partial block is copied unchanged.
  std::memcpy(out + 8 * static_cast<size_t>(whole), data + 8 * static_cast<size_t>(whole),
              length - 8 * whole);
}

// Little-endian 8-byte load and store, written so that compilers emit one
// move each on little-endian machines.
inline uint64_t loadLittle64(const uint8_t* p) {
  return uint64_t{p[0]} | (uint64_t{p[1]} << 8) | (uint64_t{p[2]} << 16) |
         (uint64_t{p[3]} << 24) | (uint64_t{p[4]} << 32) | (uint64_t{p[5]} << 40) |
         (uint64_t{p[6]} << 48) | (uint64_t{p[7]} << 56);
}

inline void storeLittle64(uint8_t* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// The unshuffle step, bytes b0..b7 to b3 b4 b6 b0 b1 b2 b5 T(b7), on the
// block as one little-endian word (byte k in bits 8k..8k+7).
inline void unshuffle(const uint8_t* in, uint8_t* out) {
  uint64_t v = loadLittle64(in);
  storeLittle64(out, ((v >> 24) & 0xFFFF) | (((v >> 48) & 0xFF) << 16) |
                         ((v & 0xFFFFFF) << 24) | (((v >> 40) & 0xFF) << 48) |
                         (uint64_t{kSubstitution[v >> 56]} << 56));
}

// Its inverse: b3 b4 b5 b0 b1 b6 b2 T(b7).
inline void shuffle(const uint8_t* in, uint8_t* out) {
  uint64_t v = loadLittle64(in);
  storeLittle64(out, ((v >> 24) & 0xFFFFFF) | ((v & 0xFFFF) << 24) |
                         (((v >> 48) & 0xFF) << 40) | (((v >> 16) & 0xFF) << 48) |
                         (uint64_t{kSubstitution[v >> 56]} << 56));
}

}  // namespace

void EntryCipher::transformBlock(const uint8_t in[8], uint8_t out[8]) { transform(in, out); }

void EntryCipher::decipherMixed(const uint8_t* data, uint32_t length, uint8_t* out,
                                int digitCount) {
  applyMixed(data, length, out, digitCount,
             [](const uint8_t* in, uint8_t* o) { unshuffle(in, o); });
}

void EntryCipher::encipherMixed(const uint8_t* data, uint32_t length, uint8_t* out,
                                int digitCount) {
  applyMixed(data, length, out, digitCount,
             [](const uint8_t* in, uint8_t* o) { shuffle(in, o); });
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
  unshuffle(b, out);
}

void EntryCipher::shuffleBlock(const uint8_t in[8], uint8_t out[8]) {
  uint8_t b[8];
  std::memcpy(b, in, 8);
  shuffle(b, out);
}

void EntryCipher::swapNibbles(const uint8_t* data, uint32_t length, uint8_t* out) {
  for (uint32_t i = 0; i < length; ++i) {
    out[i] = static_cast<uint8_t>((data[i] << 4) | (data[i] >> 4));
  }
}

}  // namespace corvanth
