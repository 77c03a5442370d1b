// The gzip stage: decompression of a package into its intermediate file.
#include "package/gzip_stage.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/patch_client.h"
#include "platform/env.h"
#include "platform/trace.h"

namespace corvanth {
namespace {

constexpr char kPackageSuffix[] = ".cgz";
constexpr size_t kPackageSuffixLength = sizeof(kPackageSuffix) - 1;
constexpr unsigned kGzipInputBuffer = 128 * 1024;  // zlib's own read buffer

}  // namespace

bool copyGzipStream(gzFile input, std::FILE* output) {
  std::vector<char> buffer(kGzipCopyStep);
  for (;;) {
    int count = gzread(input, buffer.data(), static_cast<unsigned>(buffer.size()));
    if (count < 0) {
      // A damaged stream, a check value that does not match, a read failure.
      traceHook("gzread:err\n");
      std::fclose(output);
      gzclose(input);
      return false;
    }
    if (count == 0) {
      if (std::fclose(output) != 0) {
        traceHook("fclose:err\n");
        gzclose(input);
        return false;
      }
      // Also reports a stream that ended before its gzip trailer.
      if (gzclose(input) != Z_OK) {
        traceHook("gzclose:err\n");
        return false;
      }
      return true;
    }
    size_t n = static_cast<size_t>(count);
    if (std::fwrite(buffer.data(), 1, n, output) != n) {
      traceHook("fwrite:err\n");
      std::fclose(output);
      gzclose(input);
      return false;
    }
  }
}

bool gunzipPackage(PatchClient& client, const char* name) {
  size_t length = std::strlen(name);
  if (length <= kPackageSuffixLength ||
      std::strcmp(name + length - kPackageSuffixLength, kPackageSuffix) != 0) {
    return false;
  }
  std::string outputName(name, length - kPackageSuffixLength);

  gzFile input = gzopen(name, "rb");
  if (input == nullptr) {
    client.messageBox(name, "open:read error", BoxButtons::ok);
    return false;
  }
  gzbuffer(input, kGzipInputBuffer);
  std::FILE* output = std::fopen(outputName.c_str(), "wb");
  if (output == nullptr) {
    gzclose(input);
    client.messageBox(outputName.c_str(), "open:write error", BoxButtons::ok);
    return false;
  }
  traceHook("unzip %s -> %s\n", name, outputName.c_str());
  bool copied = copyGzipStream(input, output);
  // The package goes either way: a damaged one is fetched anew next run.
  client.env()->deleteFile(name);
  return copied;
}

}  // namespace corvanth
