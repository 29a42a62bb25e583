// gravik zx0, unzx0 and zx0code: files into ZX0 streams and back, and the
// toolkit's Z80 decoders of them as source.
#pragma once

#include <string>
#include <vector>

// Compresses the file at input_path (1 byte to 16 MB) into a ZX0 stream at
// output_path; options may hold "--backward". Prints the sizes, the in-place
// delta of a forward stream and both decoders' exact time on it. Refuses a
// missing, empty, unreadable or too large input, a folder, an unknown option
// and an output that would replace the input. True when the stream was written.
bool CompressZX0(const std::string& input_path, const std::string& output_path,
                 const std::vector<std::string>& options);

// Decodes the ZX0 stream at input_path into output_path; options may hold
// "--backward". Refuses what CompressZX0 refuses of an input, and a stream
// that is cut short, has bytes after its end marker or copies from before the
// start of its output; nothing is written then.
bool DecompressZX0(const std::string& input_path, const std::string& output_path,
                   const std::vector<std::string>& options);

// Writes the Z80 decoder (the small one, or with "--fast" the fast one;
// forward, or with "--backward" backward) as source at output_path, its
// labels made from name. Refuses an unknown option and a name that can not
// enter a line of source.
bool WriteZX0Decoder(const std::string& name, const std::string& output_path,
                     const std::vector<std::string>& options);
