#include "toolkit/disk/dsk_container.h"

// libdsk.h uses size_t without including its definition.
#include <cstddef>
// clang-format off
#include <libdsk.h>
// clang-format on
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <type_traits>

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
constexpr uint8_t kSizeCode512 = 2;
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

Refusal CheckTracks(std::span<const uint8_t> file, DiskContainer container) {
  size_t offset = kInfoBytes;
  for (int track = 0; track < kDataTracks; ++track) {
    const size_t size = container == DiskContainer::kStandard
                            ? Le16At(file, kStandardTrackSizeAt)
                            : static_cast<size_t>(file[kExtendedTrackSizesAt + static_cast<size_t>(track)])
                                  << 8;
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

// A folder for the private copy libdsk reads.
std::string TempFolder() {
  const char* folder = std::getenv("TMPDIR");
  return folder != nullptr && *folder != '\0' ? folder : "/tmp";
}

struct DriverCloser {
  void operator()(DSK_PDRIVER driver) const { dsk_close(&driver); }
};
using DriverPtr = std::unique_ptr<std::remove_pointer_t<DSK_PDRIVER>, DriverCloser>;

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

using TrackIds = std::array<uint8_t, kDataSectorsPerTrack>;

// Every track must hold exactly the nine 512-byte sectors &C1 to &C9, in any
// order; ids receives that order.
bool HasDataTrack(DSK_PDRIVER driver, const DSK_GEOMETRY& geometry, int track, TrackIds& ids) {
  dsk_psect_t count = 0;
  DSK_FORMAT* found = nullptr;
  if (dsk_ptrackids(driver, &geometry, static_cast<dsk_pcyl_t>(track), 0, &count, &found) != DSK_ERR_OK)
    return false;
  bool is_data = count == kDataSectorsPerTrack;
  unsigned seen = 0;
  for (dsk_psect_t i = 0; is_data && i < count; ++i) {
    const unsigned slot = found[i].fmt_sector - kDataFirstSectorId;
    is_data =
        slot < kDataSectorsPerTrack && found[i].fmt_secsize == kDataSectorBytes && (seen & (1u << slot)) == 0;
    if (is_data) {
      seen |= 1u << slot;
      ids[i] = static_cast<uint8_t>(found[i].fmt_sector);
    }
  }
  dsk_free(found);
  return is_data;
}

bool ReadSectors(DSK_PDRIVER driver, DiskImage& image) {
  const std::optional<DSK_GEOMETRY> data_geometry = DataGeometry();
  if (!data_geometry) return false;
  const DSK_GEOMETRY& geometry = *data_geometry;
  std::vector<uint8_t>& sectors = image.sectors;
  sectors.assign(kDataDiskBytes, kBlankByte);
  image.track_sector_ids.assign(kDataTracks, TrackIds{});
  for (int track = 0; track < kDataTracks; ++track) {
    if (!HasDataTrack(driver, geometry, track, image.track_sector_ids[static_cast<size_t>(track)]))
      return false;
    for (int sector = 0; sector < kDataSectorsPerTrack; ++sector) {
      uint8_t* target =
          sectors.data() + (static_cast<size_t>(track) * kDataSectorsPerTrack + sector) * kDataSectorBytes;
      if (dsk_pread(driver, &geometry, target, static_cast<dsk_pcyl_t>(track), 0,
                    static_cast<dsk_psect_t>(kDataFirstSectorId + sector)) != DSK_ERR_OK) {
        return false;
      }
    }
  }
  return true;
}

// A new empty file in the folder of target ("/tmp/x" gives one in /tmp), for
// libdsk to read or build an image in; removed when this goes out of scope.
class ScratchPath {
 public:
  explicit ScratchPath(const std::string& target) {
    const size_t slash = target.find_last_of('/');
    std::string pattern =
        (slash == std::string::npos ? std::string() : target.substr(0, slash + 1)) + ".gravik_dsk_XXXXXX";
    const int fd = mkstemp(pattern.data());
    if (fd < 0) return;
    close(fd);
    path_ = pattern;
  }
  ~ScratchPath() {
    if (!path_.empty()) std::remove(path_.c_str());
  }
  ScratchPath(const ScratchPath&) = delete;
  ScratchPath& operator=(const ScratchPath&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

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

// libdsk writes the container to scratch; its bytes are returned when all
// went well. Failures are told against path, the file the user named.
Checked<std::vector<uint8_t>> BuildContainer(const std::string& scratch, const DiskImage& image,
                                             const std::string& path) {
  const auto refused = Checked<std::vector<uint8_t>>::Refused;
  DSK_PDRIVER driver = nullptr;
  if (dsk_creat(&driver, scratch.c_str(), DriverName(image.container), nullptr) != DSK_ERR_OK) {
    return refused(WriteFailureText(WriteStatus::kCannotCreate, path));
  }
  const bool is_written = FormatAndWrite(driver, image);
  const bool is_closed = dsk_close(&driver) == DSK_ERR_OK;
  if (!is_written || !is_closed) return refused(WriteFailureText(WriteStatus::kCannotWrite, path));
  InputBytes built = ReadInputFile(scratch, 2 * kDataDiskBytes);
  if (built.status != InputStatus::kOk) return refused(WriteFailureText(WriteStatus::kCannotWrite, path));
  return std::move(built.bytes);
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

// libdsk reads a private copy of the checked bytes, so that what it reads is
// what was checked even if the file changes meanwhile.
Checked<DiskImage> ReadDiskImage(const std::string& path) {
  SilenceLibdsk();
  const InputBytes file = ReadInputFile(path, kMaxImageBytes);
  if (file.status == InputStatus::kTooLarge)
    return Checked<DiskImage>::Refused(path + " is not a CPC disk image");
  if (file.status != InputStatus::kOk)
    return Checked<DiskImage>::Refused(InputFailureText(file.status, path));
  const Checked<DiskContainer> container = CheckDataContainer(file.bytes);
  if (!container) return Checked<DiskImage>::Refused(path + " " + container.refusal());
  const ScratchPath copy(TempFolder() + "/disk");
  if (copy.path().empty() || WriteBinaryFile(copy.path(), file.bytes) != WriteStatus::kOk) {
    return Checked<DiskImage>::Refused("Can not create a copy of " + path + " in " + TempFolder());
  }
  DiskImage image;
  image.container = *container;
  DSK_PDRIVER raw = nullptr;
  if (dsk_open(&raw, copy.path().c_str(), DriverName(image.container), nullptr) != DSK_ERR_OK) {
    return Checked<DiskImage>::Refused(path + " is a damaged disk image");
  }
  const DriverPtr driver(raw);
  if (!ReadSectors(driver.get(), image)) {
    return Checked<DiskImage>::Refused(path + " is damaged or not in the DATA format");
  }
  return image;
}

Refusal WriteDiskImage(const std::string& path, const DiskImage& image) {
  SilenceLibdsk();
  const ScratchPath scratch(path);
  if (scratch.path().empty()) return WriteFailureText(WriteStatus::kCannotCreate, path);
  const Checked<std::vector<uint8_t>> bytes = BuildContainer(scratch.path(), image, path);
  if (!bytes) return bytes.refusal();
  const WriteStatus status = WriteBinaryFile(path, *bytes);
  if (status != WriteStatus::kOk) return WriteFailureText(status, path);
  return std::nullopt;
}
