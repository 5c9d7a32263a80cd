#include <gtest/gtest.h>

#include <algorithm>

#include <cstring>
#include <string>
#include <vector>

#include "ui/avi_clip.h"

using namespace qb;

namespace {
void Put32(std::vector<uint8_t>& v, uint32_t x) {
  for (int i = 0; i < 4; ++i) v.push_back(uint8_t(x >> (8 * i)));
}
void Put16(std::vector<uint8_t>& v, uint16_t x) {
  v.push_back(uint8_t(x));
  v.push_back(uint8_t(x >> 8));
}
std::vector<uint8_t> Chunk(const char* id, const std::vector<uint8_t>& body) {
  std::vector<uint8_t> v(id, id + 4);
  Put32(v, static_cast<uint32_t>(body.size()));
  v.insert(v.end(), body.begin(), body.end());
  if (body.size() % 2) v.push_back(0);
  return v;
}
std::vector<uint8_t> List(const char* kind, const std::vector<uint8_t>& body) {
  std::vector<uint8_t> v(kind, kind + 4);
  v.insert(v.end(), body.begin(), body.end());
  return Chunk("LIST", v);
}
std::vector<uint8_t> Cat(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> v;
  for (const auto& p : parts) v.insert(v.end(), p.begin(), p.end());
  return v;
}

// A 2x2 clip; bits 8 (palette red, green, blue, white) or 24.
std::vector<uint8_t> Clip(int bits, uint32_t compression,
                          const std::vector<std::vector<uint8_t>>& frames) {
  std::vector<uint8_t> avih;
  Put32(avih, 50000);
  for (int i = 0; i < 13; ++i) Put32(avih, 0);
  std::vector<uint8_t> strh = {'v', 'i', 'd', 's'};
  strh.resize(56, 0);
  std::vector<uint8_t> bih;
  Put32(bih, 40);
  Put32(bih, 2);
  Put32(bih, 2);
  Put16(bih, 1);
  Put16(bih, uint16_t(bits));
  Put32(bih, compression);
  for (int i = 0; i < 3; ++i) Put32(bih, 0);
  Put32(bih, bits == 8 ? 4 : 0);
  Put32(bih, 0);
  if (bits == 8) {
    const uint8_t pal[] = {0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 0, 255, 255, 255, 0};  // BGRx
    bih.insert(bih.end(), pal, pal + sizeof pal);
  }
  std::vector<uint8_t> movi;
  for (const auto& f : frames) movi = Cat({movi, Chunk("00dc", f)});
  const auto body =
      Cat({{'A', 'V', 'I', ' '},
           List("hdrl", Cat({Chunk("avih", avih),
                             List("strl", Cat({Chunk("strh", strh), Chunk("strf", bih)}))})),
           List("movi", movi)});
  std::vector<uint8_t> riff = {'R', 'I', 'F', 'F'};
  Put32(riff, static_cast<uint32_t>(body.size()));
  return Cat({riff, body});
}

std::vector<uint8_t> Rgb(std::initializer_list<uint8_t> bytes) { return bytes; }
}  // namespace

TEST(AviClip, Uncompressed8BitIsBottomUp) {
  // Rows of 2 indexes padded to 4 bytes; the bottom row comes first.
  const auto data = Clip(8, 0, {{0, 1, 0, 0, 2, 3, 0, 0}});
  AviClip clip;
  ASSERT_TRUE(ParseAviClip(data, &clip));
  EXPECT_EQ(clip.width, 2);
  EXPECT_EQ(clip.height, 2);
  EXPECT_EQ(clip.frameMicroseconds, 50000);
  ASSERT_EQ(clip.frames.size(), 1u);
  EXPECT_EQ(clip.frames[0], Rgb({0, 0, 255, 255, 255, 255, 255, 0, 0, 0, 255, 0}));
}

TEST(AviClip, Uncompressed24Bit) {
  const auto data = Clip(24, 0, {{1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0}});
  AviClip clip;
  ASSERT_TRUE(ParseAviClip(data, &clip));
  EXPECT_EQ(clip.frames[0], Rgb({9, 8, 7, 12, 11, 10, 3, 2, 1, 6, 5, 4}));
}

TEST(AviClip, Rle8RunsAbsoluteAndClipping) {
  // Bottom row: a run of two reds. Top row: absolute green, blue, white (one
  // past the line, padded), then a run far past the line: both clipped.
  const std::vector<uint8_t> f1 = {2, 0, 0, 0, 0, 3, 1, 2, 3, 0, 200, 3, 0, 0, 0, 1};
  const auto data = Clip(8, 1, {f1, {0, 1}});
  AviClip clip;
  ASSERT_TRUE(ParseAviClip(data, &clip));
  ASSERT_EQ(clip.frames.size(), 2u);
  EXPECT_EQ(clip.frames[0], Rgb({0, 255, 0, 0, 0, 255, 255, 0, 0, 255, 0, 0}));
  EXPECT_EQ(clip.frames[1], std::vector<uint8_t>(12, 0));
}

TEST(AviClip, DamagedInputIsRefused) {
  const auto good = Clip(24, 0, {{1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0}});
  AviClip clip;
  // Cut anywhere: either refused or fewer frames, never a read past the data.
  for (std::size_t n = 0; n < good.size(); ++n) {
    std::vector<uint8_t> cut(good.begin(), good.begin() + n);
    if (ParseAviClip(cut, &clip)) {
      EXPECT_LE(clip.frames.size(), 1u);
    }
  }
  EXPECT_FALSE(ParseAviClip({'R', 'I', 'F', 'F'}, &clip));
  auto wrong = good;
  std::memcpy(&wrong[8], "WAVE", 4);
  EXPECT_FALSE(ParseAviClip(wrong, &clip));
  // A frame shorter than the picture is left out.
  EXPECT_FALSE(ParseAviClip(Clip(24, 0, {{1, 2, 3}}), &clip));
  // 4-bit pictures are not read.
  EXPECT_FALSE(ParseAviClip(Clip(4, 0, {{0, 0, 0, 0, 0, 0, 0, 0}}), &clip));
}

TEST(AviClip, AHeaderSizeNearFourGigabytesReadsNoPaletteFromOutside) {
  std::vector<uint8_t> clip = Clip(8, 0, {{0, 1, 0, 0, 2, 3, 0, 0}});
  const uint8_t strf[] = {'s', 't', 'r', 'f'};
  auto at = std::search(clip.begin(), clip.end(), strf, strf + 4);
  ASSERT_NE(at, clip.end());
  const std::size_t header = static_cast<std::size_t>(at - clip.begin()) + 8;
  for (int i = 0; i < 4; ++i) clip[header + i] = 0xFF;  // 0xFFFFFFFF
  // The palette lies outside the clip, so none is read: every pixel black.
  AviClip parsed;
  ASSERT_TRUE(ParseAviClip(clip, &parsed));
  ASSERT_EQ(parsed.frames.size(), 1u);
  EXPECT_EQ(parsed.frames[0], std::vector<uint8_t>(12, 0));
}

TEST(AviClip, TheProgramsOwnAnimation) {
  const std::string bin = QB_ART_DIR;
  AviClip clip;
  ASSERT_TRUE(ReadAviClip(bin + "/ZEVO.avi", &clip));
  EXPECT_EQ(clip.width, 48);
  EXPECT_EQ(clip.height, 32);
  ASSERT_EQ(clip.frames.size(), 12u);
  // The lit dot moves: consecutive frames differ.
  for (std::size_t i = 1; i < clip.frames.size(); ++i)
    EXPECT_NE(clip.frames[i], clip.frames[i - 1]);
  EXPECT_FALSE(ReadAviClip(bin + "/missing.avi", &clip));
}
