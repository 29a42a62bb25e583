// The level analysis: the four step images of a level cut into 32 x 32
// patterns with a map per step, and the patterns cut into one shared set of
// distinct 8 x 8 tiles.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/image_io/picture_file.h"
#include "common/picture.h"
#include "common/refusal.h"

inline constexpr int kPatternSide = 32;
inline constexpr int kPatternPenCount = kPatternSide * kPatternSide;
inline constexpr int kTileSide = 8;
inline constexpr int kTilePenCount = kTileSide * kTileSide;
inline constexpr int kTilesPerPatternSide = kPatternSide / kTileSide;
inline constexpr int kTilesPerPattern = kTilesPerPatternSide * kTilesPerPatternSide;
inline constexpr int kStepCount = 4;
// A map byte keeps the pattern index in bits 0 to 6 and the flip flag in bit 7.
inline constexpr int kMaxPatternsPerGroup = 128;
inline constexpr int kFlipFlag = 0x80;
// Pens the CPC can show in mode 0; tiles turn every pen above it into pen 0.
inline constexpr uint8_t kHighestTilePen = 15;

// Pens of a pattern, 32 rows of 32, top row first.
using PatternPens = std::array<uint8_t, kPatternPenCount>;
// Pens of a tile, 8 rows of 8, top row first, each 0 to 15.
using TilePens = std::array<uint8_t, kTilePenCount>;
// The tile indices of a pattern: entry k is the tile in column k % 4, row k / 4.
using PatternTiles = std::array<uint16_t, kTilesPerPattern>;

// The patterns of one step and the map that places them.
struct PatternGroup {
  std::vector<PatternPens> patterns;
  int width_blocks = 0;
  int height_blocks = 0;
  // map[x][y] at x * height_blocks + y: column by column, top block first.
  std::vector<uint8_t> map;
  std::vector<PatternTiles> pattern_tiles;
};

// The patterns found so far, indexed by a hash of their pens so that a search
// touches only the candidates that can match.
struct PatternList {
  std::vector<PatternPens> patterns;
  std::unordered_map<uint64_t, std::vector<int>> by_hash;
};

struct TileKeyHash {
  size_t operator()(const TilePens& tile) const;
};

// The level's distinct tiles in order of first appearance; tile 0 is blank.
struct TileSet {
  std::vector<TilePens> tiles;
  std::unordered_map<TilePens, int, TileKeyHash> by_pens;
};

struct LevelAnalysis {
  int width_blocks = 0;
  int height_blocks = 0;
  std::array<PatternGroup, kStepCount> groups;
  TileSet tile_set;
  // The palette of each step's image, which a pattern dump gives its files.
  std::array<Palette, kStepCount> palettes{};
};

enum class PatternOption { kNone, kDump, kReload };

// Option 1 dumps the patterns, 2 reloads them; any other value does neither.
PatternOption PatternOptionOf(int32_t value);

// "A" to "D" for steps 0 to 3.
std::string StepLetter(int step);

// The file a step's image comes from: level + "_stepL.BMP", else the level's
// own level + ".BMP".
struct StepFile {
  BmpContents contents;
  std::string path;
};

// Finds and loads the file of a step; none when neither file is there.
// Refuses ("LoadStepImage : ...") a file that is there but does not load
// (truncated, a folder, not a picture).
Checked<std::optional<StepFile>> FindStepFile(const std::string& level, int step);

// The picture of a step's file moved 2 * step pixels left. Refuses
// ("LoadStepImage : NAME must be 8 bits") a file that is not 8 bits a pixel.
Checked<Picture> StepPicture(const StepFile& file, int step);

// Every pixel takes the pen of the pixel two places to its right; the two
// rightmost columns take pen 0.
void ShiftImageLeft(Picture& image);

// The map byte of block: the lowest index i whose pattern equals the block
// (i) or the block upside down (i + 0x80), a direct match winning at the same
// index; a new block is appended and gets the next index. Never more than
// kMaxPatternsPerGroup + 1 patterns are expected.
int FindOrAddPattern(PatternList& list, const PatternPens& block);

// Cuts width_blocks x height_blocks blocks in reading order from image, which
// must hold them. None when more than kMaxPatternsPerGroup patterns are found
// (the cutting stops at the first one too many).
std::optional<PatternGroup> BuildPatternGroup(const Picture& image, int width_blocks, int height_blocks);

// An empty set holding the blank tile.
TileSet NewTileSet();

// The index of tile (pens above 15 counted as 0) in set, appended when new.
int FindOrAddTile(TileSet& set, TilePens tile);

// Fills group.pattern_tiles from its patterns, growing set, then drops the
// pattern pens.
void ExtractTiles(PatternGroup& group, TileSet& set);

// "level_groupA" to "level_groupD".
std::string PatternFolder(const std::string& level, int step);
// folder + "/pattern_" + two or more hex digits + ".bmp".
std::string PatternFileName(const std::string& folder, int index);

// Saves each pattern as an 8-bit BMP with the palette of its step image. A
// folder or file that cannot be written does not stop the others: the
// result holds one "DumpPatterns : ..." line for each, empty when every file
// was written.
std::vector<std::string> DumpPatterns(const std::string& folder, const std::vector<PatternPens>& patterns,
                                      const Palette& palette);

// Replaces each pattern's pens by those of its file. Refuses ("ReloadPatterns
// : ...") a file that is missing, unreadable, not 8 bits a pixel or not 32 x 32.
Refusal ReloadPatterns(const std::string& folder, std::vector<PatternPens>& patterns);

// "Step L found for PATH !", the line a build logs when a step has its own
// image; none for a step that takes the level's common image.
std::optional<std::string> StepFoundLine(const std::string& level, int step, const StepFile& file);

// Adds the image of step (none when the step has no file) to the analysis
// of the steps before it: step A sets the blocks, and each step with an
// image is cut into its group. has_step_a is set by step A's image and read
// by the later steps. Refused with the step's line ("LoadStepImage : ...",
// "BuildGroup : ...").
Refusal AnalyseStep(const std::string& level, int step, const std::optional<StepFile>& file,
                    LevelAnalysis& analysis, bool& has_step_a);

// Replaces the patterns of every step by their files (PatternOption::kReload);
// refused with the line of the first refusal.
Refusal ReloadLevelPatterns(const std::string& level, LevelAnalysis& analysis);

// The patterns of every step dumped into their folders: the failure lines of
// DumpPatterns, step after step.
std::vector<std::string> DumpLevelPatterns(const std::string& level, const LevelAnalysis& analysis);

// Cuts the patterns of every group into the level's tile set, then drops
// the pattern pens.
void ExtractLevelTiles(LevelAnalysis& analysis);
