#include "toolkit/disk/dsk_container.h"

// libdsk.h uses size_t without including its definition.
#include <cstddef>
// clang-format off
#include <libdsk.h>
// clang-format on

#include <array>
#include <cstring>
#include <optional>

#include "common/input_file.h"
#include "common/line_output.h"
#include "common/number_text.h"
#include "toolkit/disk/cpm_directory.h"

namespace {

// The container starts with a 256-byte disk information block: its
// signature, the track and side counts at &30 and &31, then the size of every
// track (the old container: one 16-bit size at &32; the EXTENDED one: a byte
// a track from &34, in units of 256). Each track starts with its own 256-byte
// "Track-Info" block: the sector count at &15 and, from &18, 8 bytes a sector
// (ID at 2, size code at 3, and in the EXTENDED container the data length at
// 6), then the sectors' data.
constexpr size_t kInfoBytes = 256;
constexpr size_t kTracksAt = 0x30;
constexpr size_t kSidesAt = 0x31;
constexpr size_t kStandardTrackSizeAt = 0x32;
constexpr size_t kExtendedTrackSizesAt = 0x34;
constexpr char kStandardSignature[] = "MV - CPC";
constexpr char kExtendedSignature[] = "EXTENDED";
constexpr size_t kSignatureBytes = 8;
constexpr char kTrackSignature[] = "Track-Info";
constexpr size_t kTrackSignatureBytes = 10;
constexpr size_t kTrackSizeCodeAt = 0x14;
constexpr size_t kSectorCountAt = 0x15;
constexpr size_t kSectorInfoAt = 0x18;
constexpr size_t kSectorInfoBytes = 8;
constexpr size_t kDataRateAt = 0x12;
constexpr size_t kRecordingModeAt = 0x13;
constexpr uint8_t kSizeCode512 = 2;
// The controller's status bits that mean a sector was not read: ST1's missing
// address mark (&01), no data (&04) and data error (&20); ST2's missing data
// address mark (&01) and CRC error in the data (&20).
constexpr uint8_t kUnreadSt1 = 0x25;
constexpr uint8_t kUnreadSt2 = 0x21;
// A DATA disk image is under 200 KB; anything much larger is not one.
constexpr uint64_t kMaxImageBytes = 1 << 20;

size_t Le16At(std::span<const uint8_t> bytes, size_t at) { return ReadLe16(bytes.data() + at); }

// The sector list of a DATA track: nine 512-byte sectors &C1 to &C9, in any order.
bool HasDataSectors(std::span<const uint8_t> track, DiskContainer container) {
  if (track[kSectorCountAt] != kDataSectorsPerTrack) return false;
  if (container == DiskContainer::kStandard && track[kTrackSizeCodeAt] != kSizeCode512) return false;
  unsigned seen = 0;
  for (size_t i = 0; i < kDataSectorsPerTrack; ++i) {
    const std::span<const uint8_t> sector =
        track.subspan(kSectorInfoAt + i * kSectorInfoBytes, kSectorInfoBytes);
    const unsigned slot = static_cast<unsigned>(sector[2]) - kDataFirstSectorId;
    const bool is_512 = sector[3] == kSizeCode512 &&
                        (container == DiskContainer::kStandard || Le16At(sector, 6) == kDataSectorBytes);
    if (slot >= kDataSectorsPerTrack || (seen & (1u << slot)) != 0 || !is_512) return false;
    seen |= 1u << slot;
  }
  return true;
}

size_t TrackBytes(std::span<const uint8_t> file, DiskContainer container, int track) {
  if (container == DiskContainer::kStandard) return Le16At(file, kStandardTrackSizeAt);
  return static_cast<size_t>(file[kExtendedTrackSizesAt + static_cast<size_t>(track)]) << 8;
}

Refusal CheckTracks(std::span<const uint8_t> file, DiskContainer container) {
  size_t offset = kInfoBytes;
  for (int track = 0; track < kDataTracks; ++track) {
    const size_t size = TrackBytes(file, container, track);
    const std::string name = "track " + PlainDecimal(track);
    if (offset + size > file.size()) return "is a damaged disk image (" + name + " is cut short)";
    if (size < kInfoBytes + kDataSectorsPerTrack * kDataSectorBytes) {
      return "is not in the DATA format (" + name + " is not 9 sectors of 512 bytes)";
    }
    const std::span<const uint8_t> block = file.subspan(offset, kInfoBytes);
    if (std::memcmp(block.data(), kTrackSignature, kTrackSignatureBytes) != 0) {
      return "is a damaged disk image (" + name + " has no Track-Info block)";
    }
    if (!HasDataSectors(block, container)) {
      return "is not in the DATA format (" + name + " is not 9 sectors of 512 bytes, &C1 to &C9)";
    }
    offset += size;
  }
  return std::nullopt;
}

// What a CPC's disk controller reads without an error: a double-density
// (rate 0 "unknown" or 1), MFM (mode 0 "unknown" or 2) track whose sectors
// carry the track's own cylinder and side 0 and no status bit of a sector
// not read. libdsk refuses to read any other sector.
bool IsReadableTrack(std::span<const uint8_t> block, int track) {
  if (block[kDataRateAt] > 1 || (block[kRecordingModeAt] != 0 && block[kRecordingModeAt] != 2)) return false;
  for (size_t i = 0; i < kDataSectorsPerTrack; ++i) {
    const std::span<const uint8_t> sector =
        block.subspan(kSectorInfoAt + i * kSectorInfoBytes, kSectorInfoBytes);
    if (sector[0] != track || sector[1] != 0 || (sector[4] & kUnreadSt1) != 0 ||
        (sector[5] & kUnreadSt2) != 0)
      return false;
  }
  return true;
}

using TrackIds = std::array<uint8_t, kDataSectorsPerTrack>;

// The sectors of a checked image, each put at its place by its ID, and the
// order of the IDs along each track.
bool CopySectors(std::span<const uint8_t> file, DiskImage& image) {
  image.sectors.assign(kDataDiskBytes, kBlankByte);
  image.track_sector_ids.assign(kDataTracks, TrackIds{});
  size_t offset = kInfoBytes;
  for (int track = 0; track < kDataTracks; ++track) {
    const std::span<const uint8_t> block = file.subspan(offset, kInfoBytes);
    if (!IsReadableTrack(block, track)) return false;
    TrackIds& ids = image.track_sector_ids[static_cast<size_t>(track)];
    for (size_t i = 0; i < kDataSectorsPerTrack; ++i) {
      ids[i] = block[kSectorInfoAt + i * kSectorInfoBytes + 2];
      const size_t slot = static_cast<size_t>(track) * kDataSectorsPerTrack + (ids[i] - kDataFirstSectorId);
      const auto data = file.begin() + static_cast<ptrdiff_t>(offset + kInfoBytes + i * kDataSectorBytes);
      std::copy(data, data + static_cast<ptrdiff_t>(kDataSectorBytes),
                image.sectors.begin() + static_cast<ptrdiff_t>(slot * kDataSectorBytes));
    }
    offset += TrackBytes(file, image.container, track);
  }
  return true;
}

// libdsk reports progress ("Loading DSK file") on its own; the console lines
// are ours alone.
void SilenceLibdsk() {
  dsk_reportfunc_set([](const char*) {}, [] {});
}

const char* DriverName(DiskContainer container) {
  return container == DiskContainer::kStandard ? "dsk" : "edsk";
}

// libdsk's own description of the DATA format: 40 x 9 sectors from &C1.
std::optional<DSK_GEOMETRY> DataGeometry() {
  DSK_GEOMETRY geometry{};
  if (dg_stdformat(&geometry, FMT_CPCDATA, nullptr, nullptr) != DSK_ERR_OK) return std::nullopt;
  return geometry;
}

// A track laid out with the sector order it had, or &C1 to &C9 in a row.
bool FormatTrack(DSK_PDRIVER driver, DSK_GEOMETRY& geometry, const DiskImage& image, int track) {
  const auto cylinder = static_cast<dsk_pcyl_t>(track);
  if (image.track_sector_ids.size() != kDataTracks) {
    return dsk_apform(driver, &geometry, cylinder, 0, kBlankByte) == DSK_ERR_OK;
  }
  const TrackIds& ids = image.track_sector_ids[static_cast<size_t>(track)];
  std::array<DSK_FORMAT, kDataSectorsPerTrack> formats{};
  for (size_t k = 0; k < formats.size(); ++k) formats[k] = DSK_FORMAT{cylinder, 0, ids[k], kDataSectorBytes};
  return dsk_pformat(driver, &geometry, cylinder, 0, formats.data(), kBlankByte) == DSK_ERR_OK;
}

bool FormatAndWrite(DSK_PDRIVER driver, const DiskImage& image) {
  std::optional<DSK_GEOMETRY> data_geometry = DataGeometry();
  if (!data_geometry) return false;
  DSK_GEOMETRY& geometry = *data_geometry;
  const std::vector<uint8_t>& sectors = image.sectors;
  for (int track = 0; track < kDataTracks; ++track) {
    if (!FormatTrack(driver, geometry, image, track)) return false;
    for (int sector = 0; sector < kDataSectorsPerTrack; ++sector) {
      const uint8_t* source =
          sectors.data() + (static_cast<size_t>(track) * kDataSectorsPerTrack + sector) * kDataSectorBytes;
      if (dsk_pwrite(driver, &geometry, source, static_cast<dsk_pcyl_t>(track), 0,
                     static_cast<dsk_psect_t>(kDataFirstSectorId + sector)) != DSK_ERR_OK) {
        return false;
      }
    }
  }
  return true;
}

}  // namespace

Checked<DiskContainer> CheckDataContainer(std::span<const uint8_t> file) {
  if (file.size() < kInfoBytes) return Checked<DiskContainer>::Refused("is not a CPC disk image");
  DiskContainer container = DiskContainer::kExtended;
  if (std::memcmp(file.data(), kStandardSignature, kSignatureBytes) == 0) {
    container = DiskContainer::kStandard;
  } else if (std::memcmp(file.data(), kExtendedSignature, kSignatureBytes) != 0) {
    return Checked<DiskContainer>::Refused("is not a CPC disk image");
  }
  if (file[kTracksAt] != kDataTracks || file[kSidesAt] != 1) {
    return Checked<DiskContainer>::Refused(
        "is not in the DATA format (one side, 40 tracks of 9 sectors &C1 to &C9)");
  }
  const Refusal bad_track = CheckTracks(file, container);
  if (bad_track) return Checked<DiskContainer>::Refused(*bad_track);
  return container;
}

// The image is read once and checked; its sectors are then taken from the
// checked bytes, so that nothing reads the file again after the check.
Checked<DiskImage> ReadDiskImage(const std::string& path, MissingDisk missing) {
  const Checked<std::vector<uint8_t>> file = ReadInputFile(path, kMaxImageBytes);
  if (file.kind() == RefusalKind::kMissing && missing == MissingDisk::kStartBlank) {
    DiskImage blank;
    blank.sectors = BlankDataDisk();
    return blank;
  }
  if (file.kind() == RefusalKind::kTooLarge)
    return Checked<DiskImage>::Refused(path + " is not a CPC disk image");
  if (!file) return Checked<DiskImage>::Refused(file);
  const Checked<DiskContainer> container = CheckDataContainer(*file);
  if (!container) return Checked<DiskImage>::Refused(path + " " + container.refusal());
  DiskImage image;
  image.container = *container;
  if (!CopySectors(*file, image)) {
    return Checked<DiskImage>::Refused(path + " is damaged or not in the DATA format");
  }
  return image;
}

// libdsk builds the container in the aside file itself, by its name; the
// aside file then syncs it and puts it in place.
Refusal WriteDiskImage(AsideFile& aside, const DiskImage& image) {
  SilenceLibdsk();
  const std::string& path = aside.path();
  DSK_PDRIVER driver = nullptr;
  if (!aside.IsOpen() ||
      dsk_creat(&driver, aside.temp_path().c_str(), DriverName(image.container), nullptr) != DSK_ERR_OK) {
    return CannotCreateText(path);
  }
  const bool is_written = FormatAndWrite(driver, image);
  const bool is_closed = dsk_close(&driver) == DSK_ERR_OK;
  if (!is_written || !is_closed) return CannotWriteText(path);
  return aside.Commit();
}
