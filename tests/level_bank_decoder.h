// Reads a level back from its two bank files alone, as the CPC side would:
// header, map bytes, pattern records, tagged tile references, tile bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The mode 0 picture of one step: width_blocks * 16 pixels wide (one pixel
// for each pair of image pixels), height_blocks * 32 rows, pens 0 to 15.
struct DecodedStep {
  int width_px = 0;
  int height_px = 0;
  std::vector<uint8_t> pens;  // row-major from the top

  uint8_t At(int x, int y) const { return pens[static_cast<size_t>(y) * width_px + x]; }
};

// The picture of step 0 to 3 (A to D) for a level five blocks tall. The
// level's width comes from the header (the map length divided by 5). Fails
// (with a reason) on any reference that points outside the tile areas.
std::optional<DecodedStep> DecodeLevelStep(const std::vector<uint8_t>& first_bank,
                                           const std::vector<uint8_t>& second_bank, int step,
                                           std::string* problem);

// The 64 pens of the tile whose 16 bytes start at bytes[offset], odd columns
// repeating the even column to their left (mode 0 keeps every other pixel).
std::vector<uint8_t> DecodeTileBytes(const std::vector<uint8_t>& bytes, size_t offset);
