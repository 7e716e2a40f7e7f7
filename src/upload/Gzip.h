#pragma once
// gzip streams of the upload files, made with zlib. Pure.
#include <atomic>
#include <cstddef>
#include <string>

namespace drovane {

// Compresses length bytes into one complete gzip stream (zlib's default level, a 32 KB window,
// memory level 8), replacing output. False on a zlib failure or when cancel was set on the way
// (looked at every 64 KB of output); LastGzipError then says why.
bool GzipCompress(const void* data, size_t length, std::string& output,
                  const std::atomic<bool>* cancel = nullptr);

// The reason of this thread's last failure; empty after a call that succeeded.
std::string LastGzipError();

// The texts of the zlib results: of deflateInit2 and of deflate.
const char* GzipInitErrorText(int zlibResult);
const char* GzipDeflateErrorText(int zlibResult);

}  // namespace drovane
