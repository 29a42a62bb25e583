// The floor quarn is measured against: load a level's four step images as
// quarn finds them (level_stepA.BMP, else level.BMP, and so on) and write the
// two 16 KB bank files, nothing else. quarn_floor <level>
#include <FreeImage.h>

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  FreeImage_Initialise(FALSE);
  const std::string level = argv[1];
  unsigned char seen = 0;
  for (const char* letter : {"A", "B", "C", "D"}) {
    FIBITMAP* image = FreeImage_Load(FIF_BMP, (level + "_step" + letter + ".BMP").c_str(), 0);
    if (image == nullptr) image = FreeImage_Load(FIF_BMP, (level + ".BMP").c_str(), 0);
    if (image == nullptr) return 1;
    seen = static_cast<unsigned char>(seen ^ FreeImage_GetBits(image)[0]);
    FreeImage_Unload(image);
  }
  const std::vector<unsigned char> bank(16384, seen);
  for (const char* suffix : {".F4", ".F5"}) {
    FILE* out = std::fopen((level + suffix).c_str(), "wb");
    if (out == nullptr) return 1;
    const bool is_ok = std::fwrite(bank.data(), 1, bank.size(), out) == bank.size();
    std::fclose(out);
    if (!is_ok) return 1;
  }
  FreeImage_DeInitialise();
  return 0;
}
