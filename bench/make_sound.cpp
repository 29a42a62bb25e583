// A long test sample at 15625 Hz and an AY volume table for the sound
// benchmark: notes with a decaying envelope, silences and noise bursts, so that
// the lists hold both long runs and changes at every step.
// With "noise" at the end the sample is white noise instead: a new level at
// almost every step, the worst case for both lists.
// bench_make_sound <sample> <table> <megabytes> [noise]
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr double kSampleRate = 15625.0;

// The AY's output is unipolar and its volume steps are roughly 3 dB apart: the
// sample value read as a loudness from 0 to 255, to the nearest of the 16 levels.
uint8_t VolumeLevel(int sample_value) {
  const double amplitude = sample_value / 255.0;
  if (amplitude < 0.01) return 0;
  const long level = std::lround(15.0 + 2.0 * std::log2(amplitude));
  return static_cast<uint8_t>(level < 0 ? 0 : level);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 && argc != 5) return 2;
  const bool is_noise = argc == 5 && std::string(argv[4]) == "noise";
  const size_t count = std::strtoull(argv[3], nullptr, 10) * 1024 * 1024;
  std::vector<uint8_t> samples(count);
  uint32_t noise = 12345;
  for (size_t k = 0; k < count; ++k) {
    const size_t bar = k / 7812;  // half a second
    const double t = static_cast<double>(k % 7812) / kSampleRate;
    double value = 0.0;
    switch (is_noise ? 2 : bar % 4) {
      case 0:
      case 1:
        value = std::exp(-4.0 * t) * (std::sin(2.0 * M_PI * (220.0 + 55.0 * (bar % 5)) * t) > 0 ? 1.0 : -1.0);
        break;
      case 2:
        noise = noise * 1103515245u + 12345u;
        value = t < 0.1 || is_noise ? static_cast<double>(noise >> 16 & 0xFF) / 128.0 - 1.0 : 0.0;
        break;
      default:
        break;
    }
    samples[k] = static_cast<uint8_t>(std::lround(128.0 + 127.0 * value));
  }
  std::vector<uint8_t> table(256);
  for (int k = 0; k < 256; ++k) table[k] = VolumeLevel(k);
  std::FILE* sample_file = std::fopen(argv[1], "wb");
  std::FILE* table_file = std::fopen(argv[2], "wb");
  if (sample_file == nullptr || table_file == nullptr) return 1;
  const bool is_ok = std::fwrite(samples.data(), 1, count, sample_file) == count &&
                     std::fwrite(table.data(), 1, table.size(), table_file) == table.size();
  std::fclose(sample_file);
  std::fclose(table_file);
  return is_ok ? 0 : 1;
}
