// EntryCipher: the block transform, the unshuffle step and the two modes.
#include "archive/entry_cipher.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include "support/archive_builder.h"

namespace corvanth {
namespace {

using Block = std::array<uint8_t, 8>;

Block transformed(const Block& in) {
  Block out;
  EntryCipher::transformBlock(in.data(), out.data());
  return out;
}

Block unshuffled(const Block& in) {
  Block out;
  EntryCipher::unshuffleBlock(in.data(), out.data());
  return out;
}

TEST(EntryCipherTest, TransformExamples) {
  struct Case {
    Block in, out;
  } cases[] = {
      {{0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},
       {0x04, 0x04, 0x01, 0x55, 0x55, 0x01, 0x54, 0x55}},
      {{0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07},
       {0x04, 0x05, 0x07, 0x17, 0x41, 0x14, 0x52, 0x52}},
      {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
       {0xEA, 0xEE, 0xFF, 0xAA, 0xAB, 0xBB, 0xEA, 0xEA}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(transformed(c.in), c.out);
    EXPECT_EQ(transformed(c.out), c.in);
  }
}

// One DES round with a zero round key, straight from its definition, bit by
// bit: the table-driven transform must agree with it on every block.
namespace reference {

const int kIp[64] = {58, 50, 42, 34, 26, 18, 10, 2, 60, 52, 44, 36, 28, 20, 12, 4,
                     62, 54, 46, 38, 30, 22, 14, 6, 64, 56, 48, 40, 32, 24, 16, 8,
                     57, 49, 41, 33, 25, 17, 9,  1, 59, 51, 43, 35, 27, 19, 11, 3,
                     61, 53, 45, 37, 29, 21, 13, 5, 63, 55, 47, 39, 31, 23, 15, 7};
const int kE[48] = {32, 1,  2,  3,  4,  5,  4,  5,  6,  7,  8,  9,  8,  9,  10, 11,
                    12, 13, 12, 13, 14, 15, 16, 17, 16, 17, 18, 19, 20, 21, 20, 21,
                    22, 23, 24, 25, 24, 25, 26, 27, 28, 29, 28, 29, 30, 31, 32, 1};
const int kP[32] = {16, 7, 20, 21, 29, 12, 28, 17, 1,  15, 23, 26, 5,  18, 31, 10,
                    2,  8, 24, 14, 32, 27, 3,  9,  19, 13, 30, 6,  22, 11, 4,  25};
const uint8_t kSBox[8][4][16] = {
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


// bits[i] is bit i+1 (DES numbering) of the block.
Block transform(const Block& in) {
  int bits[64], ip[64];
  for (int i = 0; i < 64; ++i) bits[i] = (in[i / 8] >> (7 - i % 8)) & 1;
  for (int i = 0; i < 64; ++i) ip[i] = bits[kIp[i] - 1];
  const int* r = ip + 32;
  int e[48], s[32], f[32];
  for (int i = 0; i < 48; ++i) e[i] = r[kE[i] - 1];  // XOR with a zero key changes nothing
  for (int j = 0; j < 8; ++j) {
    const int* g = e + 6 * j;
    int v = kSBox[j][g[0] * 2 + g[5]][g[1] * 8 + g[2] * 4 + g[3] * 2 + g[4]];
    for (int k = 0; k < 4; ++k) s[4 * j + k] = (v >> (3 - k)) & 1;
  }
  for (int i = 0; i < 32; ++i) f[i] = s[kP[i] - 1];
  int pre[64];
  for (int i = 0; i < 32; ++i) pre[i] = ip[i] ^ f[i];
  for (int i = 32; i < 64; ++i) pre[i] = ip[i];
  // IP^-1 puts bit i of pre back where IP took it from.
  int outBits[64];
  for (int i = 0; i < 64; ++i) outBits[kIp[i] - 1] = pre[i];
  Block out{};
  for (int i = 0; i < 64; ++i) out[i / 8] |= static_cast<uint8_t>(outBits[i] << (7 - i % 8));
  return out;
}

}  // namespace reference

TEST(EntryCipherTest, TransformAgreesWithTheRoundsDefinition) {
  std::string bytes = patternBytes(8 * 2048, 11);
  for (size_t at = 0; at < bytes.size(); at += 8) {
    Block in;
    std::memcpy(in.data(), bytes.data() + at, 8);
    ASSERT_EQ(transformed(in), reference::transform(in)) << "block " << at / 8;
  }
}

TEST(EntryCipherTest, TransformIsItsOwnInverse) {
  std::string bytes = patternBytes(8 * 4096, 7);
  for (size_t at = 0; at < bytes.size(); at += 8) {
    Block in;
    std::memcpy(in.data(), bytes.data() + at, 8);
    ASSERT_EQ(transformed(transformed(in)), in) << "block " << at / 8;
  }
}

TEST(EntryCipherTest, DigitCountAndCycle) {
  struct Case {
    uint32_t size;
    int digits, cycle;
  } cases[] = {{0, 1, 1},         {7, 1, 1},          {99, 2, 1},           {100, 3, 4},
               {9999, 4, 5},      {10000, 5, 14},     {999999, 6, 15},      {1000000, 7, 22},
               {12345678, 8, 23}, {999999999, 9, 24}, {4294967295u, 10, 25}};
  for (const Case& c : cases) {
    int digits = EntryCipher::digitCount(c.size);
    EXPECT_EQ(digits, c.digits) << c.size;
    EXPECT_EQ(EntryCipher::mixedCycle(digits), c.cycle) << c.size;
  }
}

enum class Fate { transformed, unshuffled, copied };

// What the mode did to each block of data, told apart on random data.
std::vector<Fate> fates(const std::string& data, const std::vector<uint8_t>& out) {
  std::vector<Fate> result;
  for (size_t at = 0; at + 8 <= data.size(); at += 8) {
    Block in, got;
    std::memcpy(in.data(), data.data() + at, 8);
    std::memcpy(got.data(), out.data() + at, 8);
    if (got == transformed(in)) {
      result.push_back(Fate::transformed);
    } else if (got == unshuffled(in)) {
      result.push_back(Fate::unshuffled);
    } else {
      EXPECT_EQ(got, in) << "block " << at / 8;
      result.push_back(Fate::copied);
    }
  }
  return result;
}

TEST(EntryCipherTest, MixedModeSixtyBlocksWithThreeDigits) {
  std::string data = patternBytes(60 * 8, 3);
  std::vector<uint8_t> out(data.size());
  EntryCipher::decipherMixed(reinterpret_cast<const uint8_t*>(data.data()), 60 * 8, out.data(), 3);
  std::vector<Fate> expected(60, Fate::copied);
  for (int i = 0; i <= 20; ++i) expected[i] = Fate::transformed;
  for (int i : {24, 28, 32, 36, 40, 44, 48, 52, 56}) expected[i] = Fate::transformed;
  for (int i : {30, 39, 49, 58}) expected[i] = Fate::unshuffled;
  EXPECT_EQ(fates(data, out), expected);
}

TEST(EntryCipherTest, MixedModeWithCycleOneTransformsEveryBlock) {
  std::string data = patternBytes(40 * 8, 4);
  std::vector<uint8_t> out(data.size());
  EntryCipher::decipherMixed(reinterpret_cast<const uint8_t*>(data.data()), 40 * 8, out.data(),
                             EntryCipher::digitCount(99));
  EXPECT_EQ(fates(data, out), std::vector<Fate>(40, Fate::transformed));
}

TEST(EntryCipherTest, LightModeTransformsTheFirstTwentyBlocks) {
  for (int blocks : {25, 3}) {
    std::string data = patternBytes(blocks * 8, 5);
    std::vector<uint8_t> out(data.size());
    EntryCipher::decipherLight(reinterpret_cast<const uint8_t*>(data.data()),
                               static_cast<uint32_t>(data.size()), out.data());
    std::vector<Fate> expected(blocks, Fate::copied);
    for (int i = 0; i < blocks && i < 20; ++i) expected[i] = Fate::transformed;
    EXPECT_EQ(fates(data, out), expected) << blocks << " blocks";
  }
}

TEST(EntryCipherTest, UnshuffleReordersAndSubstitutesTheLastByte) {
  Block in = {0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x2B};
  EXPECT_EQ(unshuffled(in), (Block{0x13, 0x14, 0x16, 0x10, 0x11, 0x12, 0x15, 0x00}));
  in[7] = 0x2C;
  EXPECT_EQ(unshuffled(in)[7], 0x2C);

  // T exchanges seven pairs and is its own inverse; shuffle undoes unshuffle.
  const uint8_t pairs[7][2] = {{0x00, 0x2B}, {0x01, 0x68}, {0x48, 0x77}, {0x60, 0xFF},
                               {0x6C, 0x80}, {0xB9, 0xC0}, {0xEB, 0xFE}};
  int changed = 0;
  for (int v = 0; v < 256; ++v) {
    Block b = {1, 2, 3, 4, 5, 6, 7, static_cast<uint8_t>(v)};
    Block u = unshuffled(b);
    if (u[7] != v) ++changed;
    Block back;
    EntryCipher::shuffleBlock(u.data(), back.data());
    EXPECT_EQ(back, b);
  }
  EXPECT_EQ(changed, 14);
  for (const auto& p : pairs) {
    EXPECT_EQ(unshuffled(Block{0, 0, 0, 0, 0, 0, 0, p[0]})[7], p[1]);
    EXPECT_EQ(unshuffled(Block{0, 0, 0, 0, 0, 0, 0, p[1]})[7], p[0]);
  }
}

TEST(EntryCipherTest, SwapNibbles) {
  const uint8_t in[] = {0x4B, 0x00, 0xF0, 0x12};
  uint8_t out[4];
  EntryCipher::swapNibbles(in, 4, out);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 4), (std::vector<uint8_t>{0xB4, 0x00, 0x0F, 0x21}));
}

TEST(EntryCipherTest, EncipheringRoundTrips) {
  // Lengths around the lead, a cycle and a seventh block; a partial last
  // block is copied unchanged in both directions.
  for (uint32_t length : {0u, 8u, 13u, 160u, 168u, 8u * 61, 8u * 500 + 5}) {
    for (int digits : {1, 3, 4, 5, 7, 10}) {
      std::string plain = patternBytes(length, length + digits);
      const uint8_t* p = reinterpret_cast<const uint8_t*>(plain.data());
      std::vector<uint8_t> stored(length + 1), back(length + 1);
      EntryCipher::encipherMixed(p, length, stored.data(), digits);
      EntryCipher::decipherMixed(stored.data(), length, back.data(), digits);
      EXPECT_EQ(std::string(back.begin(), back.begin() + length), plain)
          << "mixed " << length << " " << digits;
      EntryCipher::encipherLight(p, length, stored.data());
      EntryCipher::decipherLight(stored.data(), length, back.data());
      EXPECT_EQ(std::string(back.begin(), back.begin() + length), plain) << "light " << length;
      if (length % 8 != 0) {
        EXPECT_EQ(stored[length - 1], p[length - 1]);
      }
    }
  }
}

}  // namespace
}  // namespace corvanth
