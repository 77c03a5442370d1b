// The package stage: a compressed package NAME.cgz is decompressed into
// NAME, whose records then create directories and files in the game
// directory (the current directory).
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/patch_client.h"
#include "package/file_names.h"
#include "package/gzip_stage.h"
#include "package/package_format.h"
#include "platform/env.h"
#include "platform/trace.h"

namespace corvanth {
namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using ScopedFile = std::unique_ptr<std::FILE, FileCloser>;

constexpr size_t kRecordInputBuffer = 64 * 1024;
constexpr size_t kContentReadStep = 4 * 1024 * 1024;

bool readExactly(std::FILE* input, void* out, size_t n) {
  return std::fread(out, 1, n, input) == n;
}

// Reads size bytes of file content; false when the package ends first. The
// buffer grows with the bytes actually read, so a damaged length cannot
// demand a huge allocation up front.
bool readContent(std::FILE* input, uint32_t size, std::vector<char>* content) {
  content->clear();
  size_t done = 0;
  while (done < size) {
    size_t step = std::min<size_t>(size - done, kContentReadStep);
    content->resize(done + step);
    size_t got = std::fread(content->data() + done, 1, step, input);
    done += got;
    if (got < step) return false;
  }
  return true;
}

}  // namespace

bool PatchClient::unpackPackage(const char* name, bool deleteAfter) {
  if (!hasExtension(name, "cgz")) return true;
  std::vector<char> intermediate(std::strlen(name) + 1);
  copyWithExtension(name, nullptr, intermediate.data(), intermediate.size());

  // A stale intermediate file from an earlier, failed run.
  if (std::unique_ptr<RandomFile> stale = env_->openRead(intermediate.data())) {
    stale.reset();
    env_->deleteFile(intermediate.data());
  }
  if (!hasExtension(currentPatchName_, "cgz")) return true;

  setStatusFormat(message(26), name);
  if (!gunzipPackage(*this, name)) {
    setStatusFormat(message(25), name);
    return false;
  }
  setStatusFormat(message(27), name);
  bool result = unpackRecords(intermediate.data());
  if (deleteAfter) env_->deleteFile(intermediate.data());
  return result;
}

bool PatchClient::unpackRecords(const char* path) {
  ScopedFile input(std::fopen(path, "rb"));
  if (input == nullptr) {
    messageBox(path, message(28), BoxButtons::ok);
    return false;
  }
  std::setvbuf(input.get(), nullptr, _IOFBF, kRecordInputBuffer);
  traceHook("Unpack %s\n", path);

  // Ends the stage on a package that is cut short or damaged; the line
  // saying why has been traced. Earlier records stay applied.
  auto stop = [&](bool result) {
    messageBox(path, "unpack error", BoxButtons::ok);
    return result;
  };
  std::vector<char> content;  // one file's content at a time
  for (;;) {
    int code = std::fgetc(input.get());
    if (code == EOF) {
      traceHook("code not exist\n");
      // Ending between records without an end record still applied every
      // record; a read error did not.
      return stop(std::ferror(input.get()) == 0);
    }
    int length = std::fgetc(input.get());
    if (length == EOF) {
      traceHook("len not exist\n");
      return stop(false);
    }
    char name[kMaxRecordNameLength];
    if (length == 0 || !readExactly(input.get(), name, static_cast<size_t>(length))) {
      traceHook("name not exist\n");
      return stop(false);
    }
    if (std::memchr(name, '\0', static_cast<size_t>(length)) == nullptr) {
      traceHook("name not terminated\n");
      return stop(false);
    }

    if (code == kRecordEnd) return true;
    if (code != kRecordDirectory && code != kRecordFile) {
      traceHook("error code %c[%d]\n", code, code);
      return stop(false);
    }
    // Nothing outside the game directory is created or replaced.
    if (!isContainedName(name)) {
      traceHook("outside name %s\n", name);
      return stop(false);
    }
    std::string target = nativePath(name);

    if (code == kRecordDirectory) {
      setStatusFormat(message(29), name);
      traceHook("mkdir %s\n", name);
      env_->makeDirectory(target);  // an existing directory is fine
      continue;
    }

    if (env_->fileExists(target) && env_->isReadOnly(target)) env_->clearAttributes(target);
    unsigned char sizeField[kDataLengthSize];
    if (!readExactly(input.get(), sizeField, sizeof sizeField)) {
      traceHook("size not exist\n");
      return stop(false);
    }
    uint32_t size = decodeFixed32(sizeField);
    // A file cut short is not written at all.
    if (!readContent(input.get(), size, &content)) {
      traceHook("data not exist\n");
      return stop(false);
    }
    setStatusFormat(message(30), name);
    traceHook("mkfile %s\n", name);
    std::FILE* output = std::fopen(target.c_str(), "wb");
    if (output == nullptr) {
      messageBox(name, message(31), BoxButtons::ok);
      return false;
    }
    bool written = size == 0 || std::fwrite(content.data(), 1, size, output) == size;
    written = std::fclose(output) == 0 && written;
    if (!written) {
      traceHook("fwrite:err\n");
      messageBox(name, message(31), BoxButtons::ok);
      return false;
    }
  }
}

}  // namespace corvanth
