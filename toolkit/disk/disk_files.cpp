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
constexpr uint64_t kMaxFileBytes = 0x10000;

// A file ready for the disk, with what its console line tells.
struct PreparedFile {
  NewDiskFile disk_file;
  bool has_header = false;
  bool has_own_header = false;
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
PreparedFile PrepareFile(const CpmName& name, std::vector<uint8_t> bytes, const FileArgument& argument) {
  PreparedFile file;
  file.disk_file.name = name;
  const std::optional<AmsdosHeaderFacts> own = ReadAmsdosHeader(bytes);
  if (argument.is_stored_as_is || own) {
    file.has_header = own.has_value();
    file.has_own_header = own.has_value();
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
  file.header.length = static_cast<uint32_t>(bytes.size());
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
  InputBytes input = ReadInputFile(argument->path, kMaxFileBytes);
  if (input.status == InputStatus::kTooLarge) {
    return Checked<PreparedFile>::Refused(argument->path + " is over 64 KB");
  }
  if (input.status != InputStatus::kOk) {
    return Checked<PreparedFile>::Refused(InputFailureText(input.status, argument->path));
  }
  return PrepareFile(*name, std::move(input.bytes), *argument);
}

// A disk that does not exist yet starts blank, in the EXTENDED container.
Checked<DiskImage> ReadOrStartDisk(const std::string& disk_path) {
  if (OpenInputFile(disk_path).status != InputStatus::kMissing) return ReadDiskImage(disk_path);
  DiskImage blank;
  blank.sectors = BlankDataDisk();
  return blank;
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

}  // namespace

bool PutFilesOnDisk(const std::string& disk_path, const std::vector<std::string>& file_arguments) {
  PrintLine(kPutPrefix + ("Putting files on " + disk_path));
  std::vector<PreparedFile> files;
  for (const std::string& text : file_arguments) {
    Checked<PreparedFile> file = LoadFile(text, files);
    if (!file) return Refuse(file.refusal());
    files.push_back(std::move(*file));
  }
  const Checked<TargetLock> lock = TakeTargetLock(disk_path);
  if (!lock) return Refuse(lock.refusal());
  Checked<DiskImage> image = ReadOrStartDisk(disk_path);
  if (!image) return Refuse(image.refusal());
  const Checked<DiskContents> before = ReadDiskContents(image->sectors);
  if (!before) return Refuse(disk_path + ": " + before.refusal());
  std::vector<NewDiskFile> disk_files;
  for (const PreparedFile& file : files) disk_files.push_back(file.disk_file);
  Checked<std::vector<uint8_t>> sectors = DiskWithFiles(image->sectors, disk_files);
  if (!sectors) return Refuse(disk_path + ": " + sectors.refusal());
  image->sectors = std::move(*sectors);
  const Refusal not_written = WriteDiskImage(disk_path, *image);
  if (not_written) return Refuse(*not_written);
  for (const PreparedFile& file : files) {
    const std::string name = CpmNameText(file.disk_file.name);
    const uint64_t length = file.has_header ? file.header.length : file.disk_file.bytes.size();
    PrintLine(kPutPrefix + FileLine(name, length, file) + (file.has_own_header ? ", its own header" : "") +
              (IsOnDisk(*before, file.disk_file.name) ? ", replaces the old one" : ""));
  }
  const Checked<DiskContents> after = ReadDiskContents(image->sectors);
  PrintLine(kPutPrefix + FreeLine(disk_path, after ? after->free_blocks : 0));
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
