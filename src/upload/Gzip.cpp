#include "upload/Gzip.h"

#include <zlib.h>

#include <algorithm>
#include <climits>

namespace drovane {
namespace {

// The package's files are compressed on several threads at once: each has its own reason text.
thread_local std::string gLastGzipError;

constexpr int kWindowBitsWithGzipWrapper = 15 + 16;
constexpr int kMemoryLevel = 8;
constexpr size_t kOutputChunk = 65536;
// zlib counts its input in 32-bit units; longer inputs are handed over in pieces.
constexpr size_t kInputPiece = 1u << 30;

}  // namespace

const char* GzipInitErrorText(int zlibResult) {
  switch (zlibResult) {
    case Z_VERSION_ERROR:
      return "Zlib library version mismatch";
    case Z_MEM_ERROR:
      return "Insufficient memory";
    case Z_STREAM_ERROR:
      return "Invalid parameters";
    default:
      return "Unknown error while initialization";
  }
}

const char* GzipDeflateErrorText(int zlibResult) {
  switch (zlibResult) {
    case Z_VERSION_ERROR:
      return "Zlib library version mismatch";
    case Z_BUF_ERROR:
      return "Ran out of output buffer for writing compressed bytes";
    case Z_MEM_ERROR:
      return "Insufficient memory";
    case Z_DATA_ERROR:
      return "The deflate data was invalid or incomplete";
    case Z_STREAM_ERROR:
      return "The stream state was inconsistent";
    case Z_ERRNO:
      return "Error occured while reading file";
    default:
      return "Unknown error while initialization";
  }
}

bool GzipCompress(const void* data, size_t length, std::string& output,
                  const std::atomic<bool>* cancel) {
  gLastGzipError.clear();
  output.clear();
  z_stream stream = {};
  const int init = deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED,
                                kWindowBitsWithGzipWrapper, kMemoryLevel, Z_DEFAULT_STRATEGY);
  if (init != Z_OK) {
    gLastGzipError = GzipInitErrorText(init);
    return false;
  }
  const Bytef* next = static_cast<const Bytef*>(data);
  size_t remaining = length;
  unsigned char chunk[kOutputChunk];
  int result = Z_OK;
  do {
    if (cancel && cancel->load(std::memory_order_relaxed)) {
      deflateEnd(&stream);
      gLastGzipError = "Cancelled";
      output.clear();
      return false;
    }
    if (stream.avail_in == 0 && remaining > 0) {
      const size_t piece = std::min(remaining, kInputPiece);
      stream.next_in = const_cast<Bytef*>(next);
      stream.avail_in = static_cast<uInt>(piece);
      next += piece;
      remaining -= piece;
    }
    stream.next_out = chunk;
    stream.avail_out = static_cast<uInt>(sizeof chunk);
    result = deflate(&stream, remaining == 0 ? Z_FINISH : Z_NO_FLUSH);
    output.append(reinterpret_cast<const char*>(chunk), sizeof chunk - stream.avail_out);
  } while (result == Z_OK);
  deflateEnd(&stream);
  if (result != Z_STREAM_END) {
    gLastGzipError = GzipDeflateErrorText(result);
    output.clear();
    return false;
  }
  return true;
}

std::string LastGzipError() {
  return gLastGzipError;
}

}  // namespace drovane
