// The floor a sample conversion is measured against: read the whole sample in
// blocks and write a given number of bytes, nothing else.
// bench_sound_floor <sample> <output> <byte count>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  std::FILE* in = std::fopen(argv[1], "rb");
  if (in == nullptr) return 1;
  std::vector<unsigned char> block(64 * 1024);
  unsigned checksum = 0;
  size_t got;
  while ((got = std::fread(block.data(), 1, block.size(), in)) > 0) {
    for (size_t k = 0; k < got; ++k) checksum += block[k];
  }
  std::fclose(in);
  std::FILE* out = std::fopen(argv[2], "wb");
  if (out == nullptr) return 1;
  unsigned long long left = std::strtoull(argv[3], nullptr, 10);
  std::fill(block.begin(), block.end(), static_cast<unsigned char>(checksum));
  bool is_ok = true;
  while (left > 0 && is_ok) {
    const size_t part = left < block.size() ? static_cast<size_t>(left) : block.size();
    is_ok = std::fwrite(block.data(), 1, part, out) == part;
    left -= part;
  }
  is_ok = std::fclose(out) == 0 && is_ok;
  return is_ok ? 0 : 1;
}
