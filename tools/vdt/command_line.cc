// Option parsing, archive opening and region bookkeeping for the subcommands.
#include "tools/vdt/command_line.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "archive/archive_format.h"
#include "archive/coding.h"

namespace corvanth::vdt {

bool parseArgs(const std::vector<std::string>& args, const OptionTable& options, ParsedArgs* out,
               std::string* error) {
  bool onlyPositional = false;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string arg = args[i];
    if (onlyPositional || arg.size() < 2 || arg[0] != '-') {
      out->positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      onlyPositional = true;
      continue;
    }
    if (arg == "--help" || arg == "-h") {
      out->help = true;
      continue;
    }
    std::string inlineValue;
    bool hasInline = false;
    size_t eq = arg.find('=');
    if (arg.rfind("--", 0) == 0 && eq != std::string::npos) {
      inlineValue = arg.substr(eq + 1);
      arg = arg.substr(0, eq);
      hasInline = true;
    }
    auto alias = options.aliases.find(arg);
    if (alias != options.aliases.end()) arg = alias->second;
    if (options.switches.count(arg) != 0 && !hasInline) {
      out->switches.insert(arg);
    } else if (options.valued.count(arg) != 0) {
      if (hasInline) {
        out->values[arg] = inlineValue;
      } else if (i + 1 < args.size()) {
        out->values[arg] = args[++i];
      } else {
        *error = "option " + arg + " needs a value";
        return false;
      }
    } else {
      *error = "unknown option " + args[i];
      return false;
    }
  }
  return true;
}

std::unique_ptr<OpenedArchive> openArchive(const std::string& path, std::ostream& err) {
  auto opened = std::make_unique<OpenedArchive>();
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    err << "vdt: " << path << ": no such archive file\n";
    return nullptr;
  }
  if (!opened->file.openRead(path)) {
    err << "vdt: " << path << ": cannot open (unreadable, in use, or larger than 4 GiB)\n";
    return nullptr;
  }
  if (!opened->archive.open(&opened->file)) {
    HeaderFields header;
    if (!readHeaderFields(&opened->file, &header)) {
      err << "vdt: " << path << ": not an archive (shorter than its 46-byte header)\n";
    } else if (!header.signatureOk) {
      err << "vdt: " << path << ": not an archive (no archive signature)\n";
    } else {
      err << "vdt: " << path << ": damaged archive (version " << hex(header.version)
          << ": the table cannot be read; try 'vdt verify')\n";
    }
    return nullptr;
  }
  return opened;
}

bool readHeaderFields(ByteSource* source, HeaderFields* out) {
  if (source->size() < kHeaderSize) return false;
  const uint8_t* p = source->read(0, kHeaderSize);
  if (p == nullptr) return false;
  static const char kSignature[16] = "Keeper of Tomes";
  out->signatureOk = std::equal(p, p + 16, reinterpret_cast<const uint8_t*>(kSignature));
  out->tablePosition = decodeFixed32(p + kTablePositionOffset);
  out->countBias = decodeFixed32(p + kCountBiasOffset);
  out->countField = decodeFixed32(p + kCountFieldOffset);
  out->version = decodeFixed32(p + kVersionOffset);
  return true;
}

std::vector<Region> reservedRegions(const ResourceArchive& archive) {
  std::vector<Region> regions;
  regions.push_back({0, kHeaderSize, "header"});
  regions.push_back({archive.tableOffset(), archive.tableSize(), "table"});
  for (const ArchiveEntry& e : archive.entries()) {
    // A directory entry that records stored bytes keeps them, as in the client.
    if (!isFileEntryName(e.name.text) && e.storedSize == 0) continue;
    regions.push_back({uint64_t{e.position} + kHeaderSize, e.storedSize, e.name.text});
  }
  std::sort(regions.begin(), regions.end(), [](const Region& a, const Region& b) {
    return a.offset != b.offset ? a.offset < b.offset : a.length < b.length;
  });
  return regions;
}

uint64_t unclaimedBytes(const std::vector<Region>& regions, uint64_t fileSize) {
  uint64_t free = 0;
  uint64_t end = 0;  // end of everything claimed so far
  for (const Region& r : regions) {
    if (r.offset >= fileSize) break;
    if (r.offset > end) free += r.offset - end;
    end = std::max(end, r.offset + r.length);
  }
  if (end < fileSize) free += fileSize - end;
  return free;
}

std::string hex(uint32_t value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%X", value);
  return buffer;
}

}  // namespace corvanth::vdt
