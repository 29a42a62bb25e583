#include "toolkit/disk/amsdos_header.h"

#include <algorithm>

#include "common/line_output.h"

namespace {

constexpr size_t kNameAt = 1;
constexpr size_t kNameBytes = 11;
constexpr size_t kTypeAt = 18;
constexpr size_t kLoadAt = 21;
constexpr size_t kShortLengthAt = 24;
constexpr size_t kEntryAt = 26;
constexpr size_t kLongLengthAt = 64;
constexpr size_t kChecksumAt = 67;
constexpr uint8_t kBinaryType = 2;
constexpr size_t kRecordBytes = 128;

void PutLe16(std::span<uint8_t> bytes, size_t at, uint16_t value) { WriteLe16(bytes.data() + at, value); }

uint16_t Le16(std::span<const uint8_t> bytes, size_t at) { return ReadLe16(bytes.data() + at); }

// AMSDOS sums bytes 0 to 66 only: the checksum does not cover itself nor the
// unused tail of the header.
uint16_t Checksum(std::span<const uint8_t> header) {
  unsigned sum = 0;
  for (size_t i = 0; i < kChecksumAt; ++i) sum += header[i];
  return static_cast<uint16_t>(sum & 0xFFFF);
}

bool IsPrintable(uint8_t byte) { return byte >= 0x20 && byte < 0x7F; }

}  // namespace

std::array<uint8_t, kAmsdosHeaderBytes> BuildAmsdosHeader(const std::array<uint8_t, 11>& name,
                                                          uint32_t length, AmsdosAddresses addresses) {
  std::array<uint8_t, kAmsdosHeaderBytes> header{};
  std::copy(name.begin(), name.end(), header.begin() + kNameAt);
  header[kTypeAt] = kBinaryType;
  PutLe16(header, kShortLengthAt, static_cast<uint16_t>(length & 0xFFFF));
  header[kLongLengthAt] = static_cast<uint8_t>(length & 0xFF);
  header[kLongLengthAt + 1] = static_cast<uint8_t>((length >> 8) & 0xFF);
  header[kLongLengthAt + 2] = static_cast<uint8_t>((length >> 16) & 0xFF);
  ReaddressAmsdosHeader(header, addresses);
  return header;
}

std::optional<AmsdosHeaderFacts> ReadAmsdosHeader(std::span<const uint8_t> file) {
  if (file.size() < kAmsdosHeaderBytes) return std::nullopt;
  if (Le16(file, kChecksumAt) != Checksum(file)) return std::nullopt;
  const auto name = file.subspan(kNameAt, kNameBytes);
  if (!std::all_of(name.begin(), name.end(), IsPrintable)) return std::nullopt;
  AmsdosHeaderFacts facts;
  facts.length = static_cast<uint32_t>(file[kLongLengthAt] | file[kLongLengthAt + 1] << 8 |
                                       file[kLongLengthAt + 2] << 16);
  const size_t data_bytes = file.size() - kAmsdosHeaderBytes;
  if (facts.length > data_bytes || data_bytes - facts.length >= kRecordBytes) return std::nullopt;
  facts.addresses.load = Le16(file, kLoadAt);
  facts.addresses.entry = Le16(file, kEntryAt);
  return facts;
}

void ReaddressAmsdosHeader(std::span<uint8_t> file, AmsdosAddresses addresses) {
  PutLe16(file, kLoadAt, addresses.load);
  PutLe16(file, kEntryAt, addresses.entry);
  PutLe16(file, kChecksumAt, Checksum(file));
}
