// PatchList: reading the list file line by line, its order and lookup.
#include "session/patch_list.h"

#include <algorithm>
#include <memory>

#include "platform/trace.h"

namespace corvanth {

namespace {

// White space as the C library's scanner knows it in the "C" locale.
bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The whole file, or false when it cannot be opened or read.
bool readWholeFile(Env* env, const std::string& path, std::string* out) {
  std::unique_ptr<RandomFile> file = env->openRead(path);
  if (file == nullptr) return false;
  char chunk[4096];
  uint64_t offset = 0;
  for (;;) {
    int64_t got = file->readAt(offset, chunk, sizeof chunk);
    if (got < 0) return false;
    if (got == 0) return true;
    out->append(chunk, static_cast<size_t>(got));
    offset += static_cast<uint64_t>(got);
  }
}

}  // namespace

bool operator<(const PatchListEntry& a, const PatchListEntry& b) {
  if (a.number != b.number) return a.number < b.number;
  // std::string compares as unsigned bytes, a prefix first.
  return a.fileName < b.fileName;
}

bool operator==(const PatchListEntry& a, const PatchListEntry& b) {
  return a.number == b.number && a.fileName == b.fileName;
}

bool PatchList::load(const std::string& path, Env* env) {
  std::string text;
  if (!readWholeFile(env, path, &text)) {
    traceHook("no patch list\n");
    return true;
  }
  // Pieces as a 256-byte line buffer takes them: up to and including the
  // line break, or kMaxLineLength bytes when the line is longer.
  size_t begin = 0;
  while (begin < text.size()) {
    size_t end = begin;
    while (end < text.size() && end - begin < kMaxLineLength) {
      if (text[end++] == '\n') break;
    }
    addLine(text.substr(begin, end - begin));
    begin = end;
  }
  sortEntries();
  return true;
}

void PatchList::addLine(const std::string& piece) {
  // A zero byte ends the text the scanner sees.
  const std::string line = piece.substr(0, piece.find('\0'));
  size_t at = 0;
  while (at < line.size() && isBlank(line[at])) ++at;

  // The number: optional sign, then at least one digit.
  bool negative = false;
  if (at < line.size() && (line[at] == '+' || line[at] == '-')) negative = line[at++] == '-';
  if (at >= line.size() || line[at] < '0' || line[at] > '9') return;  // no number: 0
  int64_t magnitude = 0;
  bool fits = true;
  for (; at < line.size() && line[at] >= '0' && line[at] <= '9'; ++at) {
    if (!fits) continue;  // the digits are still consumed
    magnitude = magnitude * 10 + (line[at] - '0');
    fits = magnitude <= int64_t{INT32_MAX} + 1;
  }
  const int64_t value = negative ? -magnitude : magnitude;
  // A number outside 32 bits says nothing reliable: the line adds nothing.
  if (!fits || value > INT32_MAX || value < INT32_MIN) return;
  const int32_t number = static_cast<int32_t>(value);

  // The name: the next run of non-blank characters, after any blanks.
  while (at < line.size() && isBlank(line[at])) ++at;
  size_t nameEnd = at;
  while (nameEnd < line.size() && !isBlank(line[nameEnd])) ++nameEnd;
  std::string name = line.substr(at, std::min(nameEnd - at, PatchListEntry::kMaxNameLength));

  if (number != 0 && !name.empty()) entries_.push_back(PatchListEntry{number, std::move(name)});
  highestNumber_ = std::max(highestNumber_, number);
}

void PatchList::sortEntries() { std::stable_sort(entries_.begin(), entries_.end()); }

size_t PatchList::firstNewer(uint32_t version) const {
  // Lower bound of (version + 1, ""): the empty name precedes every name.
  auto first = std::partition_point(
      entries_.begin(), entries_.end(), [version](const PatchListEntry& entry) {
        return int64_t{entry.number} <= int64_t{version};
      });
  return static_cast<size_t>(first - entries_.begin());
}

}  // namespace corvanth
