// The plain optimal parse of ZX0 (every offset at every position), the
// yardstick of gravik zx0 on small inputs: prints the shortest stream's size.
// zx0_plain FILE
#include <cstdio>
#include <vector>

#include "tests/zx0_plain_parse.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  std::FILE* file = std::fopen(argv[1], "rb");
  if (file == nullptr) return 1;
  std::vector<uint8_t> data;
  for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file)) data.push_back(static_cast<uint8_t>(c));
  std::fclose(file);
  if (data.empty()) return 1;
  std::printf("%llu\n", static_cast<unsigned long long>(PlainOptimalZX0Bytes(data)));
  return 0;
}
