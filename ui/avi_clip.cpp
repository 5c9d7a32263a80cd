#include "ui/avi_clip.h"

#include <cstring>
#include <fstream>
#include <iterator>

namespace qb {

namespace {
constexpr uint32_t BiRgb = 0;
constexpr uint32_t BiRle8 = 1;
constexpr int MaxSide = 4096;

uint32_t U32(const uint8_t* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}
uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
bool Is(const uint8_t* p, const char* fourcc) { return std::memcmp(p, fourcc, 4) == 0; }
// A stream chunk: two digits of the stream, then "db" or "dc".
bool IsFrame(const uint8_t* p) { return p[2] == 'd' && (p[3] == 'b' || p[3] == 'c'); }

struct Format {
  int width = 0, height = 0, bits = 0;
  uint32_t compression = 0;
  bool bottomUp = true;
  std::vector<uint8_t> palette;  // RGB triples
  bool known = false;
};

bool ReadFormat(const uint8_t* p, uint32_t size, Format* f) {
  if (size < 40) return false;
  const int32_t h = static_cast<int32_t>(U32(p + 8));
  f->width = static_cast<int32_t>(U32(p + 4));
  f->bottomUp = h > 0;
  f->height = h > 0 ? h : -h;
  f->bits = U16(p + 14);
  f->compression = U32(p + 16);
  if (f->width <= 0 || f->width > MaxSide || f->height <= 0 || f->height > MaxSide) return false;
  const bool ok = (f->compression == BiRgb && (f->bits == 8 || f->bits == 24 || f->bits == 32)) ||
                  (f->compression == BiRle8 && f->bits == 8);
  if (!ok) return false;
  const uint32_t header = U32(p);
  if (f->bits == 8) {
    uint32_t used = U32(p + 32);
    if (used == 0 || used > 256) used = 256;
    f->palette.assign(std::size_t{256} * 3, 0);
    // In 64 bits: a header size near 4 GiB must not wrap back into the buffer.
    for (std::size_t i = 0; i < used && std::size_t{header} + i * 4 + 4 <= size; ++i) {
      const uint8_t* q = p + header + i * 4;
      f->palette[i * 3] = q[2];
      f->palette[i * 3 + 1] = q[1];
      f->palette[i * 3 + 2] = q[0];
    }
  }
  f->known = true;
  return true;
}

void PutIndex(const Format& f, std::vector<uint8_t>& rgb, int x, int row, uint8_t index) {
  if (x < 0 || x >= f.width || row < 0 || row >= f.height) return;
  const int y = f.bottomUp ? f.height - 1 - row : row;
  uint8_t* px = &rgb[(static_cast<size_t>(y) * f.width + x) * 3];
  std::memcpy(px, &f.palette[std::size_t{index} * 3], 3);
}

bool DecodeRgb(const Format& f, const uint8_t* p, uint32_t size, std::vector<uint8_t>& rgb) {
  const size_t stride = ((static_cast<size_t>(f.width) * f.bits + 31) / 32) * 4;
  if (size < stride * f.height) return false;
  for (int row = 0; row < f.height; ++row) {
    const uint8_t* line = p + stride * row;
    const int y = f.bottomUp ? f.height - 1 - row : row;
    for (int x = 0; x < f.width; ++x) {
      uint8_t* px = &rgb[(static_cast<size_t>(y) * f.width + x) * 3];
      if (f.bits == 8) {
        std::memcpy(px, &f.palette[std::size_t{line[x]} * 3], 3);
      } else {
        const uint8_t* s = line + static_cast<std::size_t>(x) * (f.bits / 8);
        px[0] = s[2];
        px[1] = s[1];
        px[2] = s[0];
      }
    }
  }
  return true;
}

// Runs that reach past a line or the picture are clipped, never written.
bool DecodeRle8(const Format& f, const uint8_t* p, uint32_t size, std::vector<uint8_t>& rgb) {
  int x = 0, row = 0;
  uint32_t i = 0;
  while (i + 1 < size) {
    const uint8_t count = p[i], value = p[i + 1];
    i += 2;
    if (count > 0) {
      for (int k = 0; k < count; ++k) PutIndex(f, rgb, x++, row, value);
    } else if (value == 0) {  // end of line
      x = 0;
      ++row;
    } else if (value == 1) {  // end of picture
      return true;
    } else if (value == 2) {  // delta
      if (i + 1 >= size) return false;
      x += p[i];
      row += p[i + 1];
      i += 2;
    } else {  // absolute run of `value` indexes, padded to a word
      if (i + value > size) return false;
      for (int k = 0; k < value; ++k) PutIndex(f, rgb, x++, row, p[i + k]);
      i += value + (value & 1);
    }
    // Keeps the counters small however long a damaged stream runs on.
    if (x > f.width) x = f.width;
    if (row >= f.height) return true;
  }
  return true;
}

class Walker {
 public:
  Walker(const std::vector<uint8_t>& data, AviClip* clip) : data_(data), clip_(clip) {}

  bool Run() {
    if (data_.size() < 12 || !Is(data_.data(), "RIFF") || !Is(&data_[8], "AVI ")) return false;
    uint32_t end = 8 + U32(&data_[4]);
    if (end > data_.size()) end = static_cast<uint32_t>(data_.size());
    Walk(12, end, 0);
    if (!format_.known || clip_->frames.empty()) return false;
    clip_->width = format_.width;
    clip_->height = format_.height;
    if (clip_->frameMicroseconds <= 0) clip_->frameMicroseconds = 100000;
    return true;
  }

 private:
  // Lists nest at most five deep.
  void Walk(uint32_t pos, uint32_t end, int depth) {  // NOLINT(misc-no-recursion)
    if (depth > 4) return;
    while (pos + 8 <= end) {
      const uint8_t* head = &data_[pos];
      const uint32_t size = U32(head + 4);
      const uint32_t body = pos + 8;
      if (size > end - body) return;
      if (Is(head, "LIST") && size >= 4) {
        Walk(body + 4, body + size, depth + 1);
      } else if (Is(head, "avih") && size >= 4) {
        clip_->frameMicroseconds = static_cast<int>(U32(&data_[body]) & 0x7fffffff);
      } else if (Is(head, "strh") && size >= 4) {
        videoStream_ = Is(&data_[body], "vids");
      } else if (Is(head, "strf") && videoStream_ && !format_.known) {
        ReadFormat(&data_[body], size, &format_);
      } else if (format_.known && IsFrame(head)) {
        std::vector<uint8_t> rgb(static_cast<size_t>(format_.width) * format_.height * 3, 0);
        const bool ok = format_.compression == BiRle8 ? DecodeRle8(format_, &data_[body], size, rgb)
                                                      : DecodeRgb(format_, &data_[body], size, rgb);
        if (ok) clip_->frames.push_back(std::move(rgb));
      }
      pos = body + size + (size & 1);
    }
  }

  const std::vector<uint8_t>& data_;
  AviClip* clip_;
  Format format_;
  bool videoStream_ = false;
};
}  // namespace

bool ParseAviClip(const std::vector<uint8_t>& data, AviClip* clip) {
  *clip = AviClip();
  return Walker(data, clip).Run();
}

bool ReadAviClip(const std::string& path, AviClip* clip) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return ParseAviClip(data, clip);
}

}  // namespace qb
