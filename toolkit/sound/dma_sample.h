// The CPC+ DMA sample list: a raw 8-bit sample at 15625 Hz (one sample per 64
// microseconds, the pause unit) turned into a compact byte list of levels and
// pauses in WinApe source, for a sample player on the CPC+ to expand.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "toolkit/sound/sample_runs.h"

// Appends the list lines of one run to text, each ended by kLineEnd: a level
// line, then a pause line from 2 further steps on, else 1 or 2 level lines.
// Returns the data bytes those lines hold.
int AppendDmaRun(const LevelRun& run, std::string& text);

// The whole list file of the samples folded through table, passed to sink in
// blocks, in text's dialect: the seven header lines, the body (the array
// label, without a label in WinApe), the end line and the size line; text's
// declarations get the array for the header. Returns the data size in bytes
// (the end byte left out), or refused (SamplesUnread) when the samples could not be read to
// the end.
Checked<int64_t> WriteDmaSampleList(const SampleSource& samples, const ConversionTable& table,
                                    const ListSink& sink, SourceText& text, const std::string& label);
// The same in WinApe.
Checked<int64_t> WriteDmaSampleList(const SampleSource& samples, const ConversionTable& table,
                                    const ListSink& sink);

// gravik dma: reads sample_path (.snd) and the first 256 bytes of table_path,
// writes output_path (.asm, or the chosen syntax's names for it). Refuses a
// missing or empty sample and a missing or
// short table with one line and writes nothing. True when the list was written.
bool ConvertDMAsample15K(const std::string& sample_path, const std::string& output_path,
                         const std::string& table_path);
