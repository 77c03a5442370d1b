// The gzip stage of a compressed package: NAME.cgz becomes NAME.
#ifndef CORVANTH_PACKAGE_GZIP_STAGE_H_
#define CORVANTH_PACKAGE_GZIP_STAGE_H_

#include <zlib.h>

#include <cstddef>
#include <cstdio>

namespace corvanth {

class PatchClient;

// Bytes per read of the copy loop.
constexpr size_t kGzipCopyStep = 64 * 1024;

// Decompresses name (which must end in ".cgz") into the same name without
// ".cgz" and then deletes name, also when the copy failed. A package or
// output that cannot be opened is shown in a box through client, and name
// stays. A stream without gzip framing is copied through unchanged.
bool gunzipPackage(PatchClient& client, const char* name);

// Copies every decompressed byte of input to output. Closes both on every
// exit; false (with a trace line) on a damaged stream or a failed write or close.
bool copyGzipStream(gzFile input, std::FILE* output);

}  // namespace corvanth

#endif  // CORVANTH_PACKAGE_GZIP_STAGE_H_
