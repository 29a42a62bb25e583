// Compiled keyframes: a routine that turns a sprite block holding one frame
// into the next by storing only the pixels that differ.
#pragma once

#include <string>

#include "toolkit/sprites/sprite_pixels.h"

// The pixels of to_frame that differ from from_frame in their low four bits,
// every other pixel kLeaveAlone. differing_count receives how many differ.
SpritePixels KeyframeDifference(const SpritePixels& from_frame, const SpritePixels& to_frame,
                                int& differing_count);

// gravik key: loads both 16 x 16 frames (both loads are tried and report for
// themselves), prints the differing count and writes the compiled routine to
// output_path, refusing one that holds a control character. Returns true when
// the output was written.
bool CompileKeyframe(const std::string& frame1_path, const std::string& frame2_path,
                     const std::string& output_path, int options);
