#include "toolkit/tiles/column_order.h"

#include <cstdio>
#include <memory>
#include <optional>

#include "common/input_file.h"
#include "common/line_output.h"
#include "common/number_text.h"

namespace {

constexpr char kPrefix[] = "ConvertToColumnOrder : ";

void Refuse(const std::string& text) { PrintLine(kPrefix + text); }

// The first count bytes of file, or nothing when fewer could be read.
std::optional<std::vector<uint8_t>> ReadPrefix(std::FILE* file, size_t count) {
  std::vector<uint8_t> bytes(count);
  if (count > 0 && std::fread(bytes.data(), 1, count, file) != count) return std::nullopt;
  return bytes;
}

}  // namespace

std::vector<uint8_t> ColumnOrder(std::span<const uint8_t> rows, int width, int height) {
  const size_t columns = static_cast<size_t>(width);
  const size_t depth = static_cast<size_t>(height);
  std::vector<uint8_t> cells(columns * depth);
  for (size_t x = 0; x < columns; ++x) {
    for (size_t y = 0; y < depth; ++y) cells[x * depth + y] = rows[y * columns + x];
  }
  return cells;
}

bool ConvertToColumnOrder(const std::string& source_path, const std::string& output_path, int32_t width,
                          int32_t height) {
  // Opened without waiting: a FIFO is refused below like a folder.
  const Checked<InputFile> source = OpenInputFile(source_path);
  if (source.kind() == RefusalKind::kMissing || source.kind() == RefusalKind::kCannotRead) {
    PrintLine("Can not found source :" + source_path);
    return false;
  }
  if (width < 1 || height < 1) {
    Refuse("width and height must be 1 or more, not" + SpacedDecimal(width) + " x" + SpacedDecimal(height));
    return false;
  }
  // Both factors are below 2^31, so the product fits in 64 bits.
  const int64_t cell_count = static_cast<int64_t>(width) * height;
  if (!source) {
    Refuse("Can not read " + source_path);
    return false;
  }
  const int64_t source_size = static_cast<int64_t>(source->size_bytes);
  if (source_size < cell_count) {
    Refuse(source_path + " holds" + SpacedDecimal(source_size) + " bytes, a" + SpacedDecimal(width) + " x" +
           SpacedDecimal(height) + " map needs" + SpacedDecimal(cell_count));
    return false;
  }
  const std::optional<std::vector<uint8_t>> rows =
      ReadPrefix(source->file.get(), static_cast<size_t>(cell_count));
  if (!rows) {
    Refuse("Can not read " + source_path);
    return false;
  }
  PrintLine("Processing...");
  if (const Refusal refused = WriteBinaryFile(output_path, ColumnOrder(*rows, width, height))) {
    Refuse(*refused);
    return false;
  }
  PrintLine("...Done !");
  return true;
}
