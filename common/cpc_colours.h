// The 27 colours of the CPC's Gate Array, in one place: the firmware (BASIC
// INK) number, the byte a program sends to port &7Fxx to set a pen to it, the
// name, and the nominal colour (each channel off 0, half &80 or full &FF).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

struct CpcColour {
  uint8_t firmware = 0;   // 0 to 26, as BASIC's INK takes it
  uint8_t gate_byte = 0;  // &40 + the hardware number (the usual one of duplicates)
  std::string_view name;
  uint8_t red = 0;
  uint8_t green = 0;
  uint8_t blue = 0;
};

inline constexpr int kCpcColourCount = 27;

// Indexed by firmware number.
const std::array<CpcColour, kCpcColourCount>& CpcColours();
