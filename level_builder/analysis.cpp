#include "level_builder/analysis.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <filesystem>
#include <memory>

#include "common/image_io/picture_file.h"
#include "common/input_file.h"
#include "common/line_output.h"
#include "common/number_text.h"
#include "common/refusal.h"

namespace {

constexpr std::string_view kLoadStepPrefix = "LoadStepImage : ";
constexpr std::string_view kBuildGroupPrefix = "BuildPatternGroup : ";
constexpr std::string_view kDumpPrefix = "DumpPatterns : ";
constexpr std::string_view kReloadPrefix = "ReloadPatterns : ";
constexpr int kRequiredBitsPerPixel = 8;
constexpr int kShiftPixels = 2;  // one mode 0 pixel is two picture pixels wide
constexpr int kPatternNameDigits = 2;
constexpr uint64_t kHashMultiplier = 0x9E3779B97F4A7C15ULL;

std::string Text(std::string_view prefix, const std::string& rest) { return std::string(prefix) + rest; }

std::string StepFileName(const std::string& level, int step) {
  return level + "_step" + StepLetter(step) + ".BMP";
}
std::string CommonFileName(const std::string& level) { return level + ".BMP"; }

// The picture at path, none when there is no file of that name (a step
// without its own picture uses the level's), or the refusal of one that is
// there but does not load: building on would replace good banks with an
// empty level.
Checked<std::optional<BmpContents>> LoadPresentImage(const std::string& path) {
  using Result = Checked<std::optional<BmpContents>>;
  if (const Checked<InputFile> input = OpenInputFile(path); !input) {
    if (input.kind() == RefusalKind::kMissing) return std::optional<BmpContents>();
    return Result::Refused(input);
  }
  Checked<BmpContents> image = LoadBmpPicture(path);
  if (!image) return Result::Refused(image.refusal());
  return std::optional<BmpContents>(std::move(*image));
}

bool IsEightBits(const BmpContents& image) {
  return image.bits_per_pixel == kRequiredBitsPerPixel && image.has_pens;
}

uint64_t Mix(uint64_t hash, uint64_t value) {
  hash = (hash ^ value) * kHashMultiplier;
  return hash ^ (hash >> 29);
}

uint64_t HashBytes(const uint8_t* bytes, size_t count) {
  uint64_t hash = count;
  for (size_t i = 0; i < count; i += sizeof(uint64_t)) {
    uint64_t word = 0;
    std::memcpy(&word, bytes + i, sizeof word);
    hash = Mix(hash, word);
  }
  return hash;
}

using RowHashes = std::array<uint64_t, kPatternSide>;

RowHashes HashRows(const PatternPens& block) {
  RowHashes rows{};
  for (int r = 0; r < kPatternSide; ++r) rows[r] = HashBytes(block.data() + r * kPatternSide, kPatternSide);
  return rows;
}

// Hashing row by row lets the same row hashes give the hash of the block
// upside down, which is the hash a pattern equal to that flip was filed under.
uint64_t CombineRows(const RowHashes& rows, bool is_upside_down) {
  uint64_t hash = 0;
  for (int r = 0; r < kPatternSide; ++r) hash = Mix(hash, rows[is_upside_down ? kPatternSide - 1 - r : r]);
  return hash;
}

bool IsUpsideDownOf(const PatternPens& pattern, const PatternPens& block) {
  for (int r = 0; r < kPatternSide; ++r) {
    if (std::memcmp(pattern.data() + r * kPatternSide, block.data() + (kPatternSide - 1 - r) * kPatternSide,
                    kPatternSide) != 0) {
      return false;
    }
  }
  return true;
}

// The lowest index in the bucket of hash whose pattern passes is_match.
template <typename Match>
int LowestMatch(const PatternList& list, uint64_t hash, Match is_match) {
  const auto bucket = list.by_hash.find(hash);
  int lowest = INT_MAX;
  if (bucket == list.by_hash.end()) return lowest;
  for (const int i : bucket->second) {
    if (i < lowest && is_match(list.patterns[i])) lowest = i;
  }
  return lowest;
}

PatternPens CutBlock(const Picture& image, int block_x, int block_y) {
  PatternPens block{};
  for (int r = 0; r < kPatternSide; ++r) {
    std::memcpy(block.data() + r * kPatternSide,
                image.Row(block_y * kPatternSide + r) + block_x * kPatternSide, kPatternSide);
  }
  return block;
}

TilePens CutTile(const PatternPens& pattern, int column, int row) {
  TilePens tile{};
  for (int r = 0; r < kTileSide; ++r) {
    std::memcpy(tile.data() + r * kTileSide,
                pattern.data() + (row * kTileSide + r) * kPatternSide + column * kTileSide, kTileSide);
  }
  return tile;
}

void ShiftLeftBy(Picture& image, int pixels) {
  if (pixels == 0) return;
  const int kept = std::max(image.width - pixels, 0);
  for (int y = 0; y < image.height; ++y) {
    uint8_t* row = image.Row(y);
    std::memmove(row, row + (image.width - kept), static_cast<size_t>(kept));
    std::memset(row + kept, 0, static_cast<size_t>(image.width - kept));
  }
}

bool HoldsBlocks(const Picture& image, int width_blocks, int height_blocks) {
  return image.width >= width_blocks * kPatternSide && image.height >= height_blocks * kPatternSide;
}

// Both pattern operations create their folder; one that exists already is fine.
bool MakeFolder(const std::string& folder) {
  std::error_code error;
  std::filesystem::create_directory(folder, error);
  return std::filesystem::is_directory(folder, error);
}

Checked<PatternPens> LoadPatternFile(const std::string& path) {
  const Checked<BmpContents> image = LoadBmpPicture(path);
  if (!image) return Checked<PatternPens>::Refused(Text(kReloadPrefix, "Can not load " + path));
  if (!IsEightBits(*image) || image->width != kPatternSide || image->height != kPatternSide)
    return Checked<PatternPens>::Refused(Text(kReloadPrefix, path + " must be 8 bits and 32*32"));
  PatternPens pattern{};
  for (int y = 0; y < kPatternSide; ++y) {
    std::memcpy(pattern.data() + y * kPatternSide, image->picture.Row(y), kPatternSide);
  }
  return pattern;
}

// Steps B to D must give the blocks that step A set; a missing or smaller
// image would leave blocks that cannot be cut.
Refusal CanGiveBlocks(const std::string& level, int step, const LevelAnalysis& analysis, bool has_step_a,
                      const std::optional<Picture>& image) {
  if (has_step_a && !image)
    return Text(kLoadStepPrefix,
                "Can not load " + StepFileName(level, step) + " nor " + CommonFileName(level));
  if (image && !HoldsBlocks(*image, analysis.width_blocks, analysis.height_blocks))
    return Text(kLoadStepPrefix, "Step " + StepLetter(step) + " image is smaller than step A");
  return std::nullopt;
}

Refusal BuildGroup(const Picture& image, int step, LevelAnalysis& analysis) {
  std::optional<PatternGroup> group = BuildPatternGroup(image, analysis.width_blocks, analysis.height_blocks);
  if (!group) {
    return Text(kBuildGroupPrefix, "Group " + StepLetter(step) + " has more than " +
                                       PlainDecimal(kMaxPatternsPerGroup) + " patterns");
  }
  analysis.groups[step] = std::move(*group);
  return std::nullopt;
}

}  // namespace

std::optional<std::string> StepFoundLine(const std::string& level, int step, const StepFile& file) {
  if (file.path != StepFileName(level, step)) return std::nullopt;
  return "Step " + StepLetter(step) + " found for " + file.path + " !";
}

Refusal AnalyseStep(const std::string& level, int step, const std::optional<StepFile>& file,
                    LevelAnalysis& analysis, bool& has_step_a) {
  std::optional<Picture> image;
  if (file) {
    Checked<Picture> picture = StepPicture(*file, step);
    if (!picture) return picture.refusal();
    image = std::move(*picture);
  }
  if (step == 0 && image) {
    has_step_a = true;
    analysis.width_blocks = image->width / kPatternSide;
    analysis.height_blocks = image->height / kPatternSide;
  }
  if (step > 0) {
    if (const Refusal refused = CanGiveBlocks(level, step, analysis, has_step_a, image)) return refused;
  }
  if (image) analysis.palettes[step] = image->palette;
  return has_step_a ? BuildGroup(*image, step, analysis) : std::nullopt;
}

PatternOption PatternOptionOf(int32_t value) {
  if (value == 1) return PatternOption::kDump;
  if (value == 2) return PatternOption::kReload;
  return PatternOption::kNone;
}

std::string StepLetter(int step) { return std::string(1, static_cast<char>('A' + step)); }

Checked<std::optional<StepFile>> FindStepFile(const std::string& level, int step) {
  using Result = Checked<std::optional<StepFile>>;
  std::string path = StepFileName(level, step);
  Checked<std::optional<BmpContents>> image = LoadPresentImage(path);
  if (image && !*image) {
    path = CommonFileName(level);
    image = LoadPresentImage(path);
  }
  if (!image) return Result::Refused(Text(kLoadStepPrefix, image.refusal()));
  if (!*image) return std::optional<StepFile>();
  return std::optional<StepFile>(StepFile{std::move(**image), path});
}

Checked<Picture> StepPicture(const StepFile& file, int step) {
  if (!IsEightBits(file.contents))
    return Checked<Picture>::Refused(Text(kLoadStepPrefix, file.path + " must be 8 bits"));
  Picture picture = file.contents.picture;
  // Shifting 2 pixels n times is shifting 2n pixels once.
  ShiftLeftBy(picture, kShiftPixels * step);
  return picture;
}

void ShiftImageLeft(Picture& image) { ShiftLeftBy(image, kShiftPixels); }

int FindOrAddPattern(PatternList& list, const PatternPens& block) {
  const RowHashes rows = HashRows(block);
  const uint64_t direct_hash = CombineRows(rows, false);
  const int direct = LowestMatch(list, direct_hash, [&](const PatternPens& p) { return p == block; });
  const int upside_down = LowestMatch(list, CombineRows(rows, true),
                                      [&](const PatternPens& p) { return IsUpsideDownOf(p, block); });
  // The search in index order tries the direct match first at each index.
  if (direct != INT_MAX && direct <= upside_down) return direct;
  if (upside_down != INT_MAX) return upside_down + kFlipFlag;
  const int index = static_cast<int>(list.patterns.size());
  list.patterns.push_back(block);
  list.by_hash[direct_hash].push_back(index);
  return index;
}

std::optional<PatternGroup> BuildPatternGroup(const Picture& image, int width_blocks, int height_blocks) {
  PatternGroup group;
  group.width_blocks = width_blocks;
  group.height_blocks = height_blocks;
  group.map.assign(static_cast<size_t>(width_blocks) * height_blocks, 0);
  PatternList list;
  for (int y = 0; y < height_blocks; ++y) {
    for (int x = 0; x < width_blocks; ++x) {
      const int map_byte = FindOrAddPattern(list, CutBlock(image, x, y));
      if (list.patterns.size() > kMaxPatternsPerGroup) return std::nullopt;
      group.map[static_cast<size_t>(x) * height_blocks + y] = static_cast<uint8_t>(map_byte);
    }
  }
  group.patterns = std::move(list.patterns);
  return group;
}

size_t TileKeyHash::operator()(const TilePens& tile) const {
  return static_cast<size_t>(HashBytes(tile.data(), tile.size()));
}

TileSet NewTileSet() {
  TileSet set;
  FindOrAddTile(set, TilePens{});
  return set;
}

int FindOrAddTile(TileSet& set, TilePens tile) {
  for (uint8_t& pen : tile) {
    if (pen > kHighestTilePen) pen = 0;
  }
  // Tiles in the set are all different, so the one equal entry is also the
  // first that the search in index order would meet.
  const auto [entry, is_new] = set.by_pens.try_emplace(tile, static_cast<int>(set.tiles.size()));
  if (is_new) set.tiles.push_back(tile);
  return entry->second;
}

void ExtractTiles(PatternGroup& group, TileSet& set) {
  group.pattern_tiles.assign(group.patterns.size(), PatternTiles{});
  for (size_t p = 0; p < group.patterns.size(); ++p) {
    for (int row = 0; row < kTilesPerPatternSide; ++row) {
      for (int column = 0; column < kTilesPerPatternSide; ++column) {
        const int index = FindOrAddTile(set, CutTile(group.patterns[p], column, row));
        group.pattern_tiles[p][row * kTilesPerPatternSide + column] = static_cast<uint16_t>(index);
      }
    }
  }
  group.patterns.clear();
  group.patterns.shrink_to_fit();
}

std::string PatternFolder(const std::string& level, int step) { return level + "_group" + StepLetter(step); }

std::string PatternFileName(const std::string& folder, int index) {
  return folder + "/pattern_" + Hex(static_cast<uint64_t>(index), kPatternNameDigits) + ".bmp";
}

std::vector<std::string> DumpPatterns(const std::string& folder, const std::vector<PatternPens>& patterns,
                                      const Palette& palette) {
  if (!MakeFolder(folder)) return {Text(kDumpPrefix, CannotCreateText(folder))};
  std::vector<std::string> failures;
  for (size_t i = 0; i < patterns.size(); ++i) {
    const std::string path = PatternFileName(folder, static_cast<int>(i));
    const Refusal refused =
        WriteBmpPicture(PictureFromPens(kPatternSide, kPatternSide, patterns[i].data(), palette), path);
    if (refused) failures.push_back(Text(kDumpPrefix, *refused));
  }
  return failures;
}

Refusal ReloadPatterns(const std::string& folder, std::vector<PatternPens>& patterns) {
  MakeFolder(folder);
  for (size_t i = 0; i < patterns.size(); ++i) {
    Checked<PatternPens> pattern = LoadPatternFile(PatternFileName(folder, static_cast<int>(i)));
    if (!pattern) return pattern.refusal();
    patterns[i] = *pattern;
  }
  return std::nullopt;
}

Refusal ReloadLevelPatterns(const std::string& level, LevelAnalysis& analysis) {
  for (int step = 0; step < kStepCount; ++step) {
    if (Refusal refused = ReloadPatterns(PatternFolder(level, step), analysis.groups[step].patterns))
      return refused;
  }
  return std::nullopt;
}

std::vector<std::string> DumpLevelPatterns(const std::string& level, const LevelAnalysis& analysis) {
  std::vector<std::string> failures;
  for (int step = 0; step < kStepCount; ++step) {
    const std::vector<std::string> step_failures =
        DumpPatterns(PatternFolder(level, step), analysis.groups[step].patterns, analysis.palettes[step]);
    failures.insert(failures.end(), step_failures.begin(), step_failures.end());
  }
  return failures;
}

void ExtractLevelTiles(LevelAnalysis& analysis) {
  analysis.tile_set = NewTileSet();
  for (PatternGroup& group : analysis.groups) ExtractTiles(group, analysis.tile_set);
}
