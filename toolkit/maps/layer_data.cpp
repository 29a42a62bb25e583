#include "toolkit/maps/layer_data.h"

#include <zlib.h>
#include <zstd.h>

#include <array>
#include <bit>
#include <climits>
#include <cstring>

#include "common/large_buffer.h"
#include "common/line_output.h"
#include "common/number_text.h"

namespace {

constexpr size_t kIdBytes = 4;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

std::string PastText(size_t limit) {
  return "inflates past " + PlainDecimal(static_cast<int64_t>(limit)) + " bytes";
}

std::string CountText(size_t found, size_t cell_count) {
  return "holds " + PlainDecimal(static_cast<int64_t>(found)) + " ids, not the " +
         PlainDecimal(static_cast<int64_t>(cell_count)) + " cells of the layer";
}

// 0 to 63 for a base64 digit, 64 for '=', 255 for anything else.
constexpr std::array<uint8_t, 256> Base64Values() {
  std::array<uint8_t, 256> values{};
  for (uint8_t& v : values) v = 255;
  constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (int k = 0; k < 64; ++k) values[static_cast<uint8_t>(kDigits[k])] = static_cast<uint8_t>(k);
  values['='] = 64;
  return values;
}

constexpr std::array<uint8_t, 256> kBase64Values = Base64Values();

// Four digits (no padding, no blank) at text as three bytes at out: false,
// writing nothing, when they are not. Tiled's layers are such groups but for
// their line breaks and their end.
bool DecodeWholeGroup(const char* text, uint8_t* out) {
  const uint32_t a = kBase64Values[static_cast<uint8_t>(text[0])];
  const uint32_t b = kBase64Values[static_cast<uint8_t>(text[1])];
  const uint32_t c = kBase64Values[static_cast<uint8_t>(text[2])];
  const uint32_t d = kBase64Values[static_cast<uint8_t>(text[3])];
  if ((a | b | c | d) >= 64) return false;
  const uint32_t group = a << 18 | b << 12 | c << 6 | d;
  out[0] = static_cast<uint8_t>(group >> 16);
  out[1] = static_cast<uint8_t>(group >> 8 & 0xFF);
  out[2] = static_cast<uint8_t>(group & 0xFF);
  return true;
}

// The bytes of base64 text, or none when it is not base64 (a digit after the
// padding, a stray character, a length that is not whole groups of four).
std::optional<std::vector<uint8_t>> DecodeBase64(std::string_view text) {
  std::vector<uint8_t> bytes;
  ReserveLarge(bytes, text.size() / 4 * 3 + 3);
  bytes.resize(text.size() / 4 * 3 + 3);
  uint8_t* out = bytes.data();
  uint32_t group = 0;
  int digits = 0;
  int padding = 0;
  for (size_t at = 0; at < text.size();) {
    if (digits == 0 && padding == 0 && text.size() - at >= 4 && DecodeWholeGroup(text.data() + at, out)) {
      out += 3;
      at += 4;
      continue;
    }
    const char c = text[at++];
    if (IsBlank(c)) continue;
    const uint8_t value = kBase64Values[static_cast<uint8_t>(c)];
    if (value == 255 || (padding > 0 && value != 64)) return std::nullopt;
    if (value == 64) ++padding;
    group = group << 6 | (value == 64 ? 0 : value);
    if (++digits < 4) continue;
    if (padding > 2) return std::nullopt;
    // Three bytes stored whatever the padding; the padding's are cut after.
    out[0] = static_cast<uint8_t>(group >> 16);
    out[1] = static_cast<uint8_t>(group >> 8 & 0xFF);
    out[2] = static_cast<uint8_t>(group & 0xFF);
    out += 3 - padding;
    group = 0;
    digits = 0;
  }
  if (digits != 0) return std::nullopt;
  bytes.resize(static_cast<size_t>(out - bytes.data()));
  return bytes;
}

// The bytes an inflater writes: straight into the ids, which it fills when
// the stream holds exactly the layer.
struct Inflated {
  std::vector<uint32_t> cells;
  size_t size_bytes = 0;
  uint8_t* data() { return reinterpret_cast<uint8_t*>(cells.data()); }
};

// zlib streams (window bits 15) and gzip members (15 + 16) into limit bytes at most.
Refusal InflateZlib(const std::vector<uint8_t>& packed, size_t limit, bool is_gzip, Inflated& out) {
  z_stream stream{};
  if (inflateInit2(&stream, is_gzip ? 15 + 16 : 15) != Z_OK) return "can not be inflated";
  stream.next_in = const_cast<Bytef*>(packed.data());
  stream.avail_in = static_cast<uInt>(packed.size());
  stream.next_out = out.data();
  stream.avail_out = static_cast<uInt>(limit);
  const int status = inflate(&stream, Z_FINISH);
  out.size_bytes = stream.total_out;
  inflateEnd(&stream);
  if (status == Z_STREAM_END) return std::nullopt;
  // Output full and the stream not done: it holds more than the layer can.
  if (status == Z_BUF_ERROR && stream.avail_out == 0) return PastText(limit);
  return is_gzip ? "is not a whole gzip member" : "is not a whole zlib stream";
}

// The largest window a frame may ask for, as a power of two: 8 MB (what
// zstd's usual levels take for a stream of unknown size), or the layer's
// size when larger. A frame asking for more could only make the decoder
// reserve memory that no layer needs.
int WindowLogFor(size_t limit) {
  constexpr int kUsualWindowLog = 23;
  constexpr int kLargestWindowLog = 27;  // the decoder's own default bound
  int log = kUsualWindowLog;
  while (log < kLargestWindowLog && (size_t{1} << log) < limit) ++log;
  return log;
}

struct ZstdContext {
  ZSTD_DCtx* context = ZSTD_createDCtx();
  ~ZstdContext() { ZSTD_freeDCtx(context); }
};

Refusal InflateZstd(const std::vector<uint8_t>& packed, size_t limit, Inflated& out) {
  const ZstdContext zstd;
  if (zstd.context == nullptr ||
      ZSTD_isError(ZSTD_DCtx_setParameter(zstd.context, ZSTD_d_windowLogMax, WindowLogFor(limit)))) {
    return "can not be inflated";
  }
  const unsigned long long declared = ZSTD_getFrameContentSize(packed.data(), packed.size());
  if (declared != ZSTD_CONTENTSIZE_UNKNOWN && declared != ZSTD_CONTENTSIZE_ERROR && declared > limit)
    return PastText(limit);
  ZSTD_inBuffer in{packed.data(), packed.size(), 0};
  ZSTD_outBuffer sink{out.data(), limit, 0};
  size_t remaining = 1;
  while (in.pos < in.size || remaining != 0) {
    remaining = ZSTD_decompressStream(zstd.context, &sink, &in);
    if (ZSTD_isError(remaining)) return "is not a whole zstd frame";
    if (remaining == 0) continue;
    if (sink.pos == limit) {
      // The ids are full and the frame not done: one more byte says whether
      // it holds more than the layer can, or only its end.
      uint8_t beyond = 0;
      ZSTD_outBuffer probe{&beyond, 1, 0};
      remaining = ZSTD_decompressStream(zstd.context, &probe, &in);
      if (ZSTD_isError(remaining)) return "is not a whole zstd frame";
      if (probe.pos != 0) return PastText(limit);
    }
    if (remaining != 0 && in.pos == in.size) return "is not a whole zstd frame";
  }
  out.size_bytes = sink.pos;
  return std::nullopt;
}

}  // namespace

Checked<std::vector<uint32_t>> DecodeCsvCells(std::string_view text, size_t cell_count) {
  using Result = Checked<std::vector<uint32_t>>;
  std::vector<uint32_t> cells;
  cells.reserve(cell_count);
  size_t at = 0;
  while (true) {
    while (at < text.size() && IsBlank(text[at])) ++at;
    if (at == text.size() && cells.empty()) break;
    uint64_t value = 0;
    const size_t digits_start = at;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9' && value <= UINT32_MAX)
      value = value * 10 + static_cast<uint64_t>(text[at++] - '0');
    if (at == digits_start || value > UINT32_MAX) return Result::Refused("is not a list of tile ids");
    if (cells.size() == cell_count) return Result::Refused("holds more ids than the layer has cells");
    cells.push_back(static_cast<uint32_t>(value));
    while (at < text.size() && IsBlank(text[at])) ++at;
    if (at == text.size()) break;
    if (text[at++] != ',') return Result::Refused("is not a list of tile ids");
  }
  if (cells.size() != cell_count) return Result::Refused(CountText(cells.size(), cell_count));
  return cells;
}

Checked<std::vector<uint32_t>> DecodeBase64Cells(std::string_view text, LayerCompression compression,
                                                 size_t cell_count) {
  using Result = Checked<std::vector<uint32_t>>;
  const std::optional<std::vector<uint8_t>> packed = DecodeBase64(text);
  if (!packed) return Result::Refused("is not base64");
  const size_t limit = cell_count * kIdBytes;
  Inflated out;
  ReserveLarge(out.cells, cell_count);
  out.cells.resize(cell_count);
  Refusal bad;
  if (compression == LayerCompression::kZlib || compression == LayerCompression::kGzip) {
    bad = InflateZlib(*packed, limit, compression == LayerCompression::kGzip, out);
  } else if (compression == LayerCompression::kZstd) {
    bad = InflateZstd(*packed, limit, out);
  } else {
    out.size_bytes = packed->size();
    if (out.size_bytes <= limit) std::memcpy(out.data(), packed->data(), packed->size());
  }
  if (bad) return Result::Refused(*bad);
  if (out.size_bytes % kIdBytes != 0) return Result::Refused("does not hold whole 32-bit ids");
  if (out.size_bytes != limit) return Result::Refused(CountText(out.size_bytes / kIdBytes, cell_count));
  // The ids are little-endian in the file: on another host, each is turned.
  if constexpr (std::endian::native != std::endian::little) {
    for (uint32_t& id : out.cells) id = ReadLe32(reinterpret_cast<const uint8_t*>(&id));
  }
  return std::move(out.cells);
}
