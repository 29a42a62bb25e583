// The AY register list: a raw 8-bit sample at 15625 Hz turned into CPC+ sound
// DMA instructions that load AY register 9 with each level and pause while the
// level holds, as WinApe "dw" source or as raw little-endian words.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "toolkit/sound/sample_runs.h"

// Bit 0 of the options: set for raw words, clear for source text.
inline constexpr int32_t kAyListRaw = 1;

// The whole list of the samples folded through table, passed to sink in
// blocks: raw words (options bit 0) or the header line and the source lines.
// Returns the list size in bytes, or refused (SamplesUnread) when the samples could not be read
// to the end.
Checked<int64_t> WriteAyList(const SampleSource& samples, const ConversionTable& table, int32_t options,
                             const ListSink& sink);
// The same in text's dialect, the source lines as the array label (no label in
// WinApe); text's declarations get the array for the header.
Checked<int64_t> WriteAyList(const SampleSource& samples, const ConversionTable& table, int32_t options,
                             const ListSink& sink, SourceText& text, const std::string& label);

// ConvertAYlist15K: reads sample_path and the first 256 bytes of table_path,
// writes output_path as text (the chosen syntax's names for it) or raw words
// (options bit 0, output_path as given); reserved is ignored.
// Refuses a missing or empty sample and a missing or short table with one line
// and writes nothing. True when the list was written.
bool ConvertAYlist15K(const std::string& sample_path, const std::string& output_path,
                      const std::string& table_path, int32_t reserved, int32_t options);
