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
