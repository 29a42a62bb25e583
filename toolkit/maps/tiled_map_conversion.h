// gravik tmx: a map drawn in Tiled (TMX, with its tilesets and their
// pictures) as CPC tiles, one map a visible tile layer, a source file and a
// preview.
#pragma once

#include <string>
#include <vector>

// Reads map_path (as typed) and the tilesets and pictures it names, and
// writes name + "_tiles.bin", name + "_LAYER.map" for each visible tile layer,
// name + ".asm" and name + "_preview.png" as one group: all replaced or none.
// options: --mode=0|1|2 (0), --order=rows|columns (rows), --wide (two bytes a
// cell), --preview=no. Every refusal is one console line and writes nothing.
// Returns true when the outputs were written.
bool ConvertTiledMap(const std::string& map_path, const std::string& name,
                     const std::vector<std::string>& options);
