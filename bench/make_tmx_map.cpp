// Writes the map the tmx benchmark converts: side x side cells of 4 x 8
// pixels in four base64 zlib layers (a full ground layer and three sparse
// ones, with flipped tiles), and its tileset picture of 64 tiles.
// make_tmx_map <map.tmx> <tiles.png> <side>
#include <FreeImage.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

uint32_t NextRandom(uint32_t& state) {
  state = state * 1664525u + 1013904223u;
  return state >> 8;
}

bool WriteTiles(const char* path) {
  FIBITMAP* image = FreeImage_Allocate(32, 64, 8);
  if (image == nullptr) return false;
  RGBQUAD* palette = FreeImage_GetPalette(image);
  for (int pen = 0; pen < 256; ++pen)
    palette[pen] = {static_cast<BYTE>(pen * 16), static_cast<BYTE>(pen * 8), static_cast<BYTE>(pen * 4), 0};
  for (unsigned y = 0; y < 64; ++y) {
    BYTE* line = FreeImage_GetScanLine(image, 63 - y);
    for (unsigned x = 0; x < 32; ++x) line[x] = static_cast<BYTE>((x * 2654435761u ^ y * 40503u) >> 7 & 15);
  }
  const bool is_saved = FreeImage_Save(FIF_PNG, image, path, 0) != 0;
  FreeImage_Unload(image);
  return is_saved;
}

std::string Base64(const std::vector<uint8_t>& bytes) {
  static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text;
  for (size_t k = 0; k < bytes.size(); k += 3) {
    const size_t n = bytes.size() - k < 3 ? bytes.size() - k : 3;
    const uint32_t group =
        static_cast<uint32_t>(bytes[k] << 16 | (n > 1 ? bytes[k + 1] << 8 : 0) | (n > 2 ? bytes[k + 2] : 0));
    text += kDigits[group >> 18 & 63];
    text += kDigits[group >> 12 & 63];
    text += n > 1 ? kDigits[group >> 6 & 63] : '=';
    text += n > 2 ? kDigits[group & 63] : '=';
  }
  return text;
}

// One layer's ids, zlib-compressed as Tiled does, in base64.
std::string LayerText(int side, int layer, uint32_t& state) {
  std::vector<uint8_t> ids;
  for (int k = 0; k < side * side; ++k) {
    const uint32_t r = NextRandom(state);
    const bool is_empty = layer > 0 && r % 5 != 0;
    // 48 of the 64 tiles, each in four flips: 192 CPC tiles and the blank one.
    const uint32_t gid = is_empty ? 0 : (1 + r % 48) | (r >> 20 & 3u) << 30;
    for (int b = 0; b < 4; ++b) ids.push_back(static_cast<uint8_t>(gid >> (8 * b)));
  }
  std::vector<uint8_t> packed(compressBound(ids.size()));
  uLongf size = packed.size();
  if (compress2(packed.data(), &size, ids.data(), ids.size(), Z_DEFAULT_COMPRESSION) != Z_OK) return "";
  packed.resize(size);
  return Base64(packed);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  const int side = std::atoi(argv[3]);
  if (side <= 0) return 2;
  FreeImage_Initialise(FALSE);
  if (!WriteTiles(argv[2])) return 1;
  std::FILE* out = std::fopen(argv[1], "wb");
  if (out == nullptr) return 1;
  std::fprintf(out,
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<map version=\"1.8\" orientation=\"orthogonal\" "
               "renderorder=\"right-down\" width=\"%d\" height=\"%d\" tilewidth=\"4\" tileheight=\"8\" "
               "infinite=\"0\">\n <tileset firstgid=\"1\" name=\"tiles\" tilewidth=\"4\" tileheight=\"8\" "
               "tilecount=\"64\" columns=\"8\">\n  <image source=\"%s\" width=\"32\" height=\"64\"/>\n"
               " </tileset>\n",
               side, side, argv[2]);
  uint32_t state = 2024;
  for (int layer = 0; layer < 4; ++layer) {
    std::fprintf(
        out,
        " <layer id=\"%d\" name=\"Layer %d\" width=\"%d\" height=\"%d\">\n  <data encoding=\"base64\" "
        "compression=\"zlib\">\n   %s\n  </data>\n </layer>\n",
        layer + 1, layer + 1, side, side, LayerText(side, layer, state).c_str());
  }
  std::fprintf(out, "</map>\n");
  FreeImage_DeInitialise();
  return std::fclose(out) == 0 ? 0 : 1;
}
