// The floor of the tmx benchmark: what any converter of the map must do at
// least. Reads the file, finds each layer's base64 text (by a plain search,
// no XML parser), decodes it, inflates it into the layer's ids, and loads the
// tileset picture through FreeImage. Prints a sum of the ids so that none of
// it can be left out.
// tmx_floor <map.tmx> <tiles.png> <cells a layer>
#include <FreeImage.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> DecodeBase64(const char* text, const char* end) {
  static int values[256];
  static const bool is_ready = [] {
    const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (int& v : values) v = -1;
    for (int k = 0; k < 64; ++k) values[static_cast<uint8_t>(digits[k])] = k;
    return true;
  }();
  (void)is_ready;
  std::vector<uint8_t> bytes;
  bytes.reserve(static_cast<size_t>(end - text) / 4 * 3);
  uint32_t group = 0;
  int digits = 0;
  for (; text < end; ++text) {
    const int v = values[static_cast<uint8_t>(*text)];
    if (v < 0) continue;
    group = group << 6 | static_cast<uint32_t>(v);
    if (++digits == 4) {
      bytes.push_back(static_cast<uint8_t>(group >> 16));
      bytes.push_back(static_cast<uint8_t>(group >> 8));
      bytes.push_back(static_cast<uint8_t>(group));
      digits = 0;
      group = 0;
    }
  }
  if (digits == 3) {
    bytes.push_back(static_cast<uint8_t>(group >> 10));
    bytes.push_back(static_cast<uint8_t>(group >> 2));
  } else if (digits == 2) {
    bytes.push_back(static_cast<uint8_t>(group >> 4));
  }
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  const size_t cells = std::strtoul(argv[3], nullptr, 10);
  std::FILE* file = std::fopen(argv[1], "rb");
  if (file == nullptr) return 1;
  std::string text;
  char chunk[1 << 16];
  size_t got = 0;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) text.append(chunk, got);
  std::fclose(file);
  uint64_t sum = 0;
  const std::string open = "compression=\"zlib\">";
  for (size_t at = text.find(open); at != std::string::npos; at = text.find(open, at)) {
    at += open.size();
    const size_t close = text.find("</data>", at);
    const std::vector<uint8_t> packed = DecodeBase64(text.data() + at, text.data() + close);
    std::vector<uint32_t> ids(cells);
    uLongf size = cells * 4;
    if (uncompress(reinterpret_cast<Bytef*>(ids.data()), &size, packed.data(), packed.size()) != Z_OK)
      return 1;
    for (const uint32_t id : ids) sum += id;
  }
  FreeImage_Initialise(FALSE);
  FIBITMAP* image = FreeImage_Load(FIF_PNG, argv[2], 0);
  if (image == nullptr) return 1;
  sum += FreeImage_GetWidth(image);
  FreeImage_Unload(image);
  FreeImage_DeInitialise();
  std::printf("%llu\n", static_cast<unsigned long long>(sum));
  return 0;
}
