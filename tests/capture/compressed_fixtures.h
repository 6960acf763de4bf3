#pragma once
// Compressed streams for the decompression tests, made with the libraries
// themselves: each part becomes its own gzip member, zstd frame or lz4
// frame, with the checksums on, so that a damaged byte is always found.

#include <lz4frame.h>
#include <zlib.h>
#include <zstd.h>

#include <cstdint>
#include <stdexcept>
#include <vector>

#include "capture/compressed_input.h"

namespace qv::testing {

using Bytes = std::vector<std::uint8_t>;

// Bytes that compress about three to one, the same statistics everywhere:
// words of a small vocabulary with pseudo-random counters between them,
// like the headers of many similar frames.
inline Bytes CaptureLikeBytes(std::size_t size, std::uint32_t seed = 1) {
  static const char* const kWords[] = {"GET ", "HTTP/1.1 ", "Host: ", "example.com", "\r\n", "Accept: */*"};
  Bytes out;
  out.reserve(size);
  std::uint32_t state = seed;
  while (out.size() < size) {
    state = state * 1664525u + 1013904223u;
    const char* word = kWords[(state >> 24) % 6];
    for (const char* c = word; *c != 0 && out.size() < size; ++c) out.push_back(static_cast<std::uint8_t>(*c));
    for (int i = 0; i < 3 && out.size() < size; ++i) out.push_back(static_cast<std::uint8_t>(state >> (8 * i)));
  }
  return out;
}

inline Bytes GzipMember(const Bytes& part) {
  z_stream z{};
  if (deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
    throw std::runtime_error("deflateInit2");
  }
  Bytes out(deflateBound(&z, part.size()) + 64);
  z.next_in = const_cast<Bytes::value_type*>(part.data());
  z.avail_in = static_cast<uInt>(part.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  if (deflate(&z, Z_FINISH) != Z_STREAM_END) throw std::runtime_error("deflate");
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

// `withSize`: the frame header holds the content size.
inline Bytes ZstdFrame(const Bytes& part, bool withSize = true) {
  ZSTD_CCtx* c = ZSTD_createCCtx();
  ZSTD_CCtx_setParameter(c, ZSTD_c_checksumFlag, 1);
  ZSTD_CCtx_setParameter(c, ZSTD_c_contentSizeFlag, withSize ? 1 : 0);
  Bytes out(ZSTD_compressBound(part.size()));
  const std::size_t n = ZSTD_compress2(c, out.data(), out.size(), part.data(), part.size());
  ZSTD_freeCCtx(c);
  if (ZSTD_isError(n)) throw std::runtime_error(ZSTD_getErrorName(n));
  out.resize(n);
  return out;
}

inline Bytes Lz4Frame(const Bytes& part, bool withSize = true) {
  LZ4F_preferences_t prefs{};
  prefs.frameInfo.contentChecksumFlag = LZ4F_contentChecksumEnabled;
  prefs.frameInfo.contentSize = withSize ? part.size() : 0;
  Bytes out(LZ4F_compressFrameBound(part.size(), &prefs));
  const std::size_t n = LZ4F_compressFrame(out.data(), out.size(), part.data(), part.size(), &prefs);
  if (LZ4F_isError(n)) throw std::runtime_error(LZ4F_getErrorName(n));
  out.resize(n);
  return out;
}

inline Bytes CompressPart(Compression compression, const Bytes& part, bool withSize = true) {
  switch (compression) {
    case Compression::Gzip: return GzipMember(part);
    case Compression::Zstd: return ZstdFrame(part, withSize);
    case Compression::Lz4: return Lz4Frame(part, withSize);
    case Compression::None: break;
  }
  return part;
}

}  // namespace qv::testing
