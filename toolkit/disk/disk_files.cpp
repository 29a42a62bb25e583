#include "toolkit/disk/disk_files.h"

#include <algorithm>

#include "common/file_lock.h"
#include "common/input_file.h"
#include "common/line_output.h"
#include "common/number_text.h"
#include "toolkit/disk/amsdos_header.h"
#include "toolkit/disk/cpm_directory.h"
#include "toolkit/disk/dsk_container.h"
#include "toolkit/disk/file_argument.h"

namespace {

constexpr char kPutPrefix[] = "PutFilesOnDisk : ";
constexpr char kListPrefix[] = "ListDisk : ";
// The most an AMSDOS header's 16-bit length can describe.
constexpr uint64_t kMaxDescribedBytes = 0xFFFF;
// A file may bring its own header, and padding up to the end of its last record.
constexpr uint64_t kMaxFileBytes = kMaxDescribedBytes + kAmsdosHeaderBytes + 127;

// A file ready for the disk, with what its console line tells.
struct PreparedFile {
  NewDiskFile disk_file;
  uint64_t length = 0;  // as its line tells it
  bool has_header = false;
  bool has_own_header = false;
  bool replaces = false;
  AmsdosHeaderFacts header;
};

std::string FileLine(const std::string& name, uint64_t length, const PreparedFile& file) {
  std::string line = name + ", " + PlainDecimal(static_cast<int64_t>(length)) + " bytes";
  if (!file.has_header) return line + ", no header";
  return line + ", load &" + Hex(file.header.addresses.load, 4) + ", entry &" +
         Hex(file.header.addresses.entry, 4);
}

// The AMSDOS rule: a file gets a header unless it is stored as it is or
// already starts with one (never a second header); addresses given replace
// those of its own header.
PreparedFile PrepareFile(const CpmName& name, std::vector<uint8_t> bytes,
                         const std::optional<AmsdosHeaderFacts>& own, const FileArgument& argument) {
  PreparedFile file;
  file.disk_file.name = name;
  if (argument.is_stored_as_is || own) {
    file.has_header = own.has_value();
    file.has_own_header = own.has_value();
    file.length = own ? own->length : bytes.size();
    if (own) {
      file.header = *own;
      if (argument.addresses) {
        file.header.addresses = *argument.addresses;
        ReaddressAmsdosHeader(bytes, *argument.addresses);
      }
    }
    file.disk_file.bytes = std::move(bytes);
    return file;
  }
  file.has_header = true;
  file.length = file.header.length = static_cast<uint32_t>(bytes.size());
  file.header.addresses = argument.addresses.value_or(AmsdosAddresses{});
  const auto header = BuildAmsdosHeader(name, file.header.length, file.header.addresses);
  file.disk_file.bytes.assign(header.begin(), header.end());
  file.disk_file.bytes.insert(file.disk_file.bytes.end(), bytes.begin(), bytes.end());
  return file;
}

Checked<PreparedFile> LoadFile(const std::string& text, const std::vector<PreparedFile>& so_far) {
  const Checked<FileArgument> argument = ParseFileArgument(text);
  if (!argument) return Checked<PreparedFile>::Refused(argument.refusal());
  const Checked<CpmName> name = CpmNameOfPath(argument->path);
  if (!name) return Checked<PreparedFile>::Refused(name.refusal());
  const bool is_repeated = std::any_of(
      so_far.begin(), so_far.end(), [&](const PreparedFile& file) { return file.disk_file.name == *name; });
  if (is_repeated) return Checked<PreparedFile>::Refused(CpmNameText(*name) + " is given twice");
  Checked<std::vector<uint8_t>> input = ReadInputFile(argument->path, kMaxFileBytes);
  const std::string too_long = argument->path + " is over 65535 bytes";
  if (input.kind() == RefusalKind::kTooLarge) return Checked<PreparedFile>::Refused(too_long);
  if (!input) return Checked<PreparedFile>::Refused(input);
  // The header's 16-bit length must hold the bytes it describes.
  const std::optional<AmsdosHeaderFacts> own = ReadAmsdosHeader(*input);
  if ((own ? own->length : input->size()) > kMaxDescribedBytes)
    return Checked<PreparedFile>::Refused(too_long);
  return PrepareFile(*name, std::move(*input), own, *argument);
}

bool IsOnDisk(const DiskContents& contents, const CpmName& name) {
  return std::any_of(contents.files.begin(), contents.files.end(),
                     [&](const DiskFile& file) { return file.user == 0 && file.name == name; });
}

std::string FreeLine(const std::string& disk_path, int free_blocks) {
  return PlainDecimal(free_blocks) + " KB free on " + disk_path;
}

bool Refuse(const std::string& text) {
  PrintLine(kPutPrefix + text);
  return false;
}

// The files' bytes go on the disk; what their lines tell stays.
std::vector<NewDiskFile> TakeDiskFiles(std::vector<PreparedFile>& files, const DiskContents& contents) {
  std::vector<NewDiskFile> disk_files;
  for (PreparedFile& file : files) {
    file.replaces = IsOnDisk(contents, file.disk_file.name);
    disk_files.push_back(std::move(file.disk_file));
  }
  return disk_files;
}

void PrintPutLines(const std::vector<PreparedFile>& files, const std::vector<NewDiskFile>& disk_files) {
  for (size_t k = 0; k < files.size(); ++k) {
    const PreparedFile& file = files[k];
    PrintLine(kPutPrefix + FileLine(CpmNameText(disk_files[k].name), file.length, file) +
              (file.has_own_header ? ", its own header" : "") +
              (file.replaces ? ", replaces the old one" : ""));
  }
}

}  // namespace

// The image is read and checked once, its directory parsed once, and the new
// image is built by libdsk straight in the aside file that replaces the old.
bool PutFilesOnDisk(const std::string& disk_path, const std::vector<std::string>& file_arguments) {
  PrintLine(kPutPrefix + ("Putting files on " + disk_path));
  std::vector<PreparedFile> files;
  for (const std::string& text : file_arguments) {
    Checked<PreparedFile> file = LoadFile(text, files);
    if (!file) return Refuse(file.refusal());
    files.push_back(std::move(*file));
  }
  // Disk images are durable: the new one is synced before it replaces the
  // old, and the folder after. Made before the wait for the lock, so that a
  // run stopped while it waits is cleaned up as any other.
  AsideFile new_image(disk_path, Durability::kSynced);
  const Checked<TargetLock> lock = TakeTargetLock(disk_path);
  if (!lock) return Refuse(lock.refusal());
  // A disk that does not exist yet starts blank.
  Checked<DiskImage> image = ReadDiskImage(disk_path, MissingDisk::kStartBlank);
  if (!image) return Refuse(image.refusal());
  Checked<DiskContents> contents = ReadDiskContents(image->sectors);
  if (!contents) return Refuse(disk_path + ": " + contents.refusal());
  const std::vector<NewDiskFile> disk_files = TakeDiskFiles(files, *contents);
  const Refusal no_room = PutFilesInDirectory(image->sectors, *contents, disk_files);
  if (no_room) return Refuse(disk_path + ": " + *no_room);
  const Refusal not_written = WriteDiskImage(new_image, *image);
  if (not_written) return Refuse(*not_written);
  PrintPutLines(files, disk_files);
  PrintLine(kPutPrefix + FreeLine(disk_path, contents->free_blocks));
  return true;
}

bool ListDisk(const std::string& disk_path) {
  const Checked<DiskImage> image = ReadDiskImage(disk_path);
  if (!image) {
    PrintLine(kListPrefix + image.refusal());
    return false;
  }
  const Checked<DiskContents> contents = ReadDiskContents(image->sectors);
  if (!contents) {
    PrintLine(kListPrefix + disk_path + ": " + contents.refusal());
    return false;
  }
  for (const DiskFile& disk_file : contents->files) {
    PreparedFile file;
    const std::optional<AmsdosHeaderFacts> header = ReadAmsdosHeader(disk_file.bytes);
    file.has_header = header.has_value();
    if (header) file.header = *header;
    const std::string user = disk_file.user == 0 ? "" : " (user " + PlainDecimal(disk_file.user) + ")";
    PrintLine(kListPrefix + FileLine(CpmNameText(disk_file.name) + user,
                                     header ? header->length : disk_file.bytes.size(), file));
  }
  PrintLine(kListPrefix + FreeLine(disk_path, contents->free_blocks));
  return true;
}
