// The 128-byte header AMSDOS puts in front of a binary file on a CPC disk: it
// tells LOAD where the bytes go and RUN where to start them. Without one,
// BASIC reads a file as text.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

inline constexpr size_t kAmsdosHeaderBytes = 128;

struct AmsdosAddresses {
  uint16_t load = 0;
  uint16_t entry = 0;
};

// What a header says about its file.
struct AmsdosHeaderFacts {
  uint32_t length = 0;  // bytes after the header (24 bits)
  AmsdosAddresses addresses;
};

// A binary (type 2) header for a file of length bytes stored under name (the
// 8 + 3 name bytes of its directory entry): user 0, the addresses, the length
// in 16 and 24 bits, the checksum of bytes 0 to 66 at 67, every other byte 0.
std::array<uint8_t, kAmsdosHeaderBytes> BuildAmsdosHeader(const std::array<uint8_t, 11>& name,
                                                          uint32_t length, AmsdosAddresses addresses);

// The header at the start of file, when its first 128 bytes are one: a correct
// checksum at 67, printable name characters in bytes 1 to 11 (so that 128
// zero bytes, a black line of screen, do not count), and a 24-bit length that
// is the rest of file, give or take the padding of its last 128-byte record
// (a file copied off a disk is whole records). Nothing otherwise.
std::optional<AmsdosHeaderFacts> ReadAmsdosHeader(std::span<const uint8_t> file);

// Puts addresses into the header at the start of file (at least 128 bytes)
// and recomputes its checksum.
void ReaddressAmsdosHeader(std::span<uint8_t> file, AmsdosAddresses addresses);
