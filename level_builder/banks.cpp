#include "level_builder/banks.h"

#include <algorithm>

#include "common/cpc_pixels.h"
#include "common/line_output.h"
#include "common/number_text.h"
#include "level_builder/run_log.h"

namespace {

constexpr std::string_view kPrefix = "WriteLevelBanks : ";
constexpr int kFirstPatternAddress = 0x4020;
constexpr int kHeaderAddress = 0x4002;
constexpr uint8_t kFirstBankConfiguration = 0xC4;
constexpr uint8_t kSecondBankConfiguration = 0xC5;
constexpr int kFirstBankTag = 4;
constexpr int kSecondBankTag = 5;
constexpr int kEstimateOverhead = 32;
constexpr int kEstimateMapFactor = 4;
constexpr int kLastByteDigits = 4;
constexpr int kTileRowBytes = 2;

std::string Address(int address, int min_digits = 0) {
  return "0x" + Hex(static_cast<uint64_t>(address), min_digits);
}

int BankOffset(int address) { return address - kBankAddress; }

void PutLe16(std::vector<uint8_t>& bank, int address, int value) {
  WriteLe16(&bank[static_cast<size_t>(BankOffset(address))], static_cast<uint16_t>(value & 0xFFFF));
}

std::array<int, kStepCount> PatternCounts(const LevelAnalysis& analysis) {
  std::array<int, kStepCount> counts{};
  for (int step = 0; step < kStepCount; ++step) {
    counts[step] = static_cast<int>(analysis.groups[step].pattern_tiles.size());
  }
  return counts;
}

int64_t EstimatedSize(const LevelAnalysis& analysis) {
  int64_t patterns = 0;
  for (const int count : PatternCounts(analysis)) patterns += count;
  const int64_t blocks = int64_t{analysis.width_blocks} * analysis.height_blocks;
  return int64_t{kTileBytes} * static_cast<int64_t>(analysis.tile_set.tiles.size()) +
         int64_t{kPatternRecordBytes} * patterns + kEstimateMapFactor * blocks + kEstimateOverhead;
}

int SecondBankTileCount(const LevelLayout& layout, int tile_count) {
  return std::max(tile_count - (layout.last_first_bank_tile + 1), 0);
}

void PutMaps(const LevelAnalysis& analysis, const LevelLayout& layout, std::vector<uint8_t>& bank) {
  for (int step = 0; step < kStepCount; ++step) {
    const PatternGroup& group = analysis.groups[step];
    for (int x = 0; x < group.width_blocks; ++x) {
      for (int y = 0; y < group.height_blocks; ++y) {
        bank[BankOffset(layout.map_address[step] + kMapColumnStride * x + y)] =
            group.map[static_cast<size_t>(x) * group.height_blocks + y];
      }
    }
  }
}

void PutPatternRecords(const LevelAnalysis& analysis, const LevelLayout& layout, std::vector<uint8_t>& bank) {
  for (int step = 0; step < kStepCount; ++step) {
    const std::vector<PatternTiles>& records = analysis.groups[step].pattern_tiles;
    for (size_t p = 0; p < records.size(); ++p) {
      const int record_address = layout.pattern_address[step] + kPatternRecordBytes * static_cast<int>(p);
      for (int k = 0; k < kTilesPerPattern; ++k) {
        PutLe16(bank, record_address + 2 * k, TileReference(layout, records[p][k]));
      }
    }
  }
}

void PutHeader(const LevelLayout& layout, LevelBanks& banks) {
  banks.first[0] = kFirstBankConfiguration;
  banks.second[0] = kSecondBankConfiguration;
  for (int step = 0; step < kStepCount; ++step) {
    PutLe16(banks.first, kHeaderAddress + 2 * step, layout.pattern_address[step]);
    PutLe16(banks.first, kHeaderAddress + 2 * (kStepCount + step), layout.map_address[step]);
  }
}

void PutTiles(const TileSet& set, const LevelLayout& layout, LevelBanks& banks) {
  for (int t = 0; t < static_cast<int>(set.tiles.size()); ++t) {
    const std::array<uint8_t, kTileBytes> bytes = EncodeTile(set.tiles[t]);
    const bool is_in_first_bank = t <= layout.last_first_bank_tile;
    std::vector<uint8_t>& bank = is_in_first_bank ? banks.first : banks.second;
    const int address = is_in_first_bank ? layout.tile_start + kTileBytes * t
                                         : kBankAddress + kTileBytes * (t - layout.last_first_bank_tile);
    std::copy(bytes.begin(), bytes.end(), bank.begin() + BankOffset(address));
  }
}

// Writes both files aside and puts them in place as a pair: a CPC program
// given a new first bank and an old second one crashes. Returns the failure
// text, if any.
Refusal WriteBankFiles(const std::string& level, const LevelBanks& banks) {
  const std::string first_path = level + ".C4";
  const std::string second_path = level + ".C5";
  AsideFile first(first_path);
  AsideFile second(second_path);
  if (!first.IsOpen() || !second.IsOpen()) {
    return CannotCreateText(first.IsOpen() ? second_path : first_path);
  }
  first.Write(banks.first);
  second.Write(banks.second);
  AsideFile* const pair[] = {&first, &second};
  return CommitTogether(pair);
}

void LogLines(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) LogLine(line);
}

}  // namespace

LevelLayout ComputeLevelLayout(const std::array<int, kStepCount>& pattern_counts, int width_blocks,
                               int height_blocks) {
  LevelLayout layout;
  int address = kFirstPatternAddress;
  for (int step = 0; step < kStepCount; ++step) {
    layout.pattern_address[step] = address;
    address += kPatternRecordBytes * pattern_counts[step];
  }
  const int map_bytes = width_blocks * height_blocks;
  for (int step = 0; step < kStepCount; ++step) {
    layout.map_address[step] = address;
    address += map_bytes;
  }
  // Tiles sit on 16-byte boundaries so that the low four bits of a tile
  // reference are free for the bank tag.
  layout.tile_start = (address + kTileBytes - 1) / kTileBytes * kTileBytes;
  layout.last_first_bank_tile = (kBankEndAddress - layout.tile_start) / kTileBytes - 1;
  return layout;
}

uint16_t TileReference(const LevelLayout& layout, int tile_index) {
  if (tile_index == 0) return 0;
  if (tile_index <= layout.last_first_bank_tile) {
    return static_cast<uint16_t>(layout.tile_start + kTileBytes * tile_index + kFirstBankTag);
  }
  return static_cast<uint16_t>(kBankAddress + kTileBytes * (tile_index - layout.last_first_bank_tile) +
                               kSecondBankTag);
}

std::array<uint8_t, kTileBytes> EncodeTile(const TilePens& tile) {
  std::array<uint8_t, kTileBytes> bytes{};
  for (int place = 0; place < kTileSide; ++place) {
    // Gray order: each stored row differs from the one before in one bit of
    // its row number, which lets the CPC drawing code step between screen
    // lines with a single bit change; the byte order alternates with it.
    const int row = place ^ (place >> 1);
    const uint8_t* pens = tile.data() + row * kTileSide;
    const uint8_t left = EncodeMode0Byte(pens[0], pens[2]);
    const uint8_t right = EncodeMode0Byte(pens[4], pens[6]);
    const bool is_left_first = place % 2 == 0;
    bytes[kTileRowBytes * place] = is_left_first ? left : right;
    bytes[kTileRowBytes * place + 1] = is_left_first ? right : left;
  }
  return bytes;
}

std::vector<std::string> ReportLines(PatternOption option, const LevelAnalysis& analysis) {
  std::vector<std::string> lines = {"==REPORT=="};
  if (option == PatternOption::kDump) lines.push_back("Pattern dumping selected");
  if (option == PatternOption::kReload) lines.push_back("Pattern reload selected");
  lines.push_back("Tiles    :" + PlainDecimal(static_cast<int64_t>(analysis.tile_set.tiles.size())));
  lines.push_back("Patterns :");
  const std::array<int, kStepCount> counts = PatternCounts(analysis);
  for (int step = 0; step < kStepCount; ++step) {
    std::string line = "-";  // appended piece by piece: g++ 12 -O3 misreads "-" + string as an overlapping copy
    line += StepLetter(step) + "       :" + PlainDecimal(counts[step]);
    lines.push_back(line);
  }
  lines.push_back("Map      :" + PlainDecimal(analysis.width_blocks) + "*" +
                  PlainDecimal(analysis.height_blocks));
  lines.push_back("Estimated size :" + PlainDecimal(EstimatedSize(analysis)) + "/" +
                  PlainDecimal(2 * kBankBytes));
  return lines;
}

std::vector<std::string> LayoutLines(const LevelLayout& layout) {
  std::vector<std::string> lines = {"==OUT DATAS=="};
  for (int step = 0; step < kStepCount; ++step) {
    lines.push_back("Pattern " + StepLetter(step) + ":" + Address(layout.pattern_address[step]));
  }
  for (int step = 0; step < kStepCount; ++step) {
    lines.push_back("Map" + StepLetter(step) + "     :" + Address(layout.map_address[step]));
  }
  lines.push_back("Tiles    :" + Address(layout.tile_start));
  return lines;
}

std::string LastByteLine(const LevelLayout& layout, int tile_count) {
  const int second_bank_tiles = SecondBankTileCount(layout, tile_count);
  const int last_byte =
      second_bank_tiles > 0 ? kBankAddress + kTileBytes * (second_bank_tiles + 1) : kBankAddress;
  return "Last Byte:" + Address(last_byte, kLastByteDigits);
}

Refusal LevelFitRefusal(const LevelAnalysis& analysis, const LevelLayout& layout) {
  const bool has_blocks = analysis.width_blocks > 0 && analysis.height_blocks > 0;
  if (has_blocks && analysis.height_blocks != kMapColumnStride) {
    return std::string(kPrefix) + "Level is " + PlainDecimal(analysis.height_blocks) +
           " patterns tall, must be " + PlainDecimal(kMapColumnStride);
  }
  if (layout.tile_start > kBankEndAddress) {
    return std::string(kPrefix) + "Tiles would start at " + Address(layout.tile_start) +
           ", past the first bank";
  }
  const int second_bank_tiles = SecondBankTileCount(layout, static_cast<int>(analysis.tile_set.tiles.size()));
  if (second_bank_tiles > kSecondBankTileCapacity) {
    return std::string(kPrefix) + PlainDecimal(second_bank_tiles) + " tiles for the second bank, it holds " +
           PlainDecimal(kSecondBankTileCapacity);
  }
  return std::nullopt;
}

LevelBanks BuildLevelBanks(const LevelAnalysis& analysis, const LevelLayout& layout) {
  LevelBanks banks;
  banks.first.assign(kBankBytes, 0);
  banks.second.assign(kBankBytes, 0);
  PutMaps(analysis, layout, banks.first);
  PutPatternRecords(analysis, layout, banks.first);
  PutHeader(layout, banks);
  PutTiles(analysis.tile_set, layout, banks);
  return banks;
}

bool WriteLevelBanks(const std::string& level, PatternOption option, const LevelAnalysis& analysis) {
  LogLines(ReportLines(option, analysis));
  const LevelLayout layout =
      ComputeLevelLayout(PatternCounts(analysis), analysis.width_blocks, analysis.height_blocks);
  if (const Refusal refusal = LevelFitRefusal(analysis, layout)) {
    LogLine(*refusal);
    return false;
  }
  LogLines(LayoutLines(layout));
  if (const Refusal failure = WriteBankFiles(level, BuildLevelBanks(analysis, layout))) {
    LogLine(std::string(kPrefix) + *failure);
    return false;
  }
  LogLine(LastByteLine(layout, static_cast<int>(analysis.tile_set.tiles.size())));
  return true;
}
