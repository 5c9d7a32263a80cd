#pragma once
// Reads an AVI clip of uncompressed (8, 24 or 32 bits per pixel) or RLE8
// frames into RGB pictures, as the animation control plays them.
#include <cstdint>
#include <string>
#include <vector>

namespace qb {

struct AviClip {
  int width = 0;
  int height = 0;
  int frameMicroseconds = 0;
  // One RGB picture per frame, top row first, 3 bytes a pixel.
  std::vector<std::vector<uint8_t>> frames;
};

// False for a file that is missing, not such a clip, or damaged.
bool ReadAviClip(const std::string& path, AviClip* clip);
bool ParseAviClip(const std::vector<uint8_t>& data, AviClip* clip);

}  // namespace qb
