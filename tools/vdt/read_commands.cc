// The reading subcommands: list, stat, extract and verify.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "tools/vdt/command_line.h"
#include "tools/vdt/commands.h"

namespace corvanth::vdt {

namespace {

constexpr uint8_t kCipherFlags = 0x06;

std::string kindOf(const ArchiveEntry& e) {
  return isFileEntryName(e.name.text) ? "file" : "dir";
}

std::string cipherOf(const ArchiveEntry& e) {
  if (e.flags & 0x02) return "mixed";
  if (e.flags & 0x04) return "light";
  return "plain";
}

std::string jsonString(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
      out += buffer;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

// Entries in file order of their data, directories last by name: the order
// in which an operator reads a listing.
std::vector<ArchiveEntry> listingOrder(const ResourceArchive& archive) {
  std::vector<ArchiveEntry> entries = archive.entries();
  std::sort(entries.begin(), entries.end(), [](const ArchiveEntry& a, const ArchiveEntry& b) {
    bool fileA = isFileEntryName(a.name.text), fileB = isFileEntryName(b.name.text);
    if (fileA != fileB) return fileA;
    if (fileA && a.position != b.position) return a.position < b.position;
    return std::string(a.name.text) < std::string(b.name.text);
  });
  return entries;
}

// A name from the archive as a path under root, or empty when it would
// leave root: absolute names, drive letters and ".." parts are refused.
std::filesystem::path safePathUnder(const std::filesystem::path& root, std::string name) {
  for (char& c : name) {
    if (c == '\\') c = '/';
  }
  if (name.empty() || name[0] == '/' || (name.size() > 1 && name[1] == ':')) return {};
  std::filesystem::path relative;
  size_t start = 0;
  while (start <= name.size()) {
    size_t slash = name.find('/', start);
    if (slash == std::string::npos) slash = name.size();
    std::string part = name.substr(start, slash - start);
    if (part == "..") return {};
    if (!part.empty() && part != ".") relative /= part;
    start = slash + 1;
  }
  if (relative.empty()) return {};
  return root / relative;
}

}  // namespace

int commandList(const ParsedArgs& args, std::ostream& out, std::ostream& err) {
  if (args.positional.size() != 1) return usageError("list", "expects one ARCHIVE", err);
  auto opened = openArchive(args.positional[0], err);
  if (!opened) return kExitFailed;
  std::vector<ArchiveEntry> entries = listingOrder(opened->archive);
  if (args.switches.count("--json")) {
    out << "[";
    for (size_t i = 0; i < entries.size(); ++i) {
      const ArchiveEntry& e = entries[i];
      out << (i == 0 ? "\n" : ",\n") << "  {\"name\": " << jsonString(e.name.text)
          << ", \"kind\": \"" << kindOf(e) << "\", \"compressedSize\": " << e.compressedSize
          << ", \"storedSize\": " << e.storedSize << ", \"realSize\": " << e.realSize
          << ", \"flags\": " << static_cast<int>(e.flags) << ", \"cipher\": \"" << cipherOf(e)
          << "\", \"position\": " << e.position << "}";
    }
    out << (entries.empty() ? "]\n" : "\n]\n");
    return kExitOk;
  }
  char line[128];
  std::snprintf(line, sizeof line, "%10s %10s %10s %5s %6s %10s  %s\n", "compressed", "stored",
                "real", "flags", "cipher", "position", "name");
  out << line;
  for (const ArchiveEntry& e : entries) {
    std::snprintf(line, sizeof line, "%10u %10u %10u  0x%02X %6s %10u  ", e.compressedSize,
                  e.storedSize, e.realSize, e.flags, cipherOf(e).c_str(), e.position);
    out << line << e.name.text << (isFileEntryName(e.name.text) ? "" : "/") << "\n";
  }
  return kExitOk;
}

int commandStat(const ParsedArgs& args, std::ostream& out, std::ostream& err) {
  if (args.positional.size() != 1) return usageError("stat", "expects one ARCHIVE", err);
  auto opened = openArchive(args.positional[0], err);
  if (!opened) return kExitFailed;
  const ResourceArchive& archive = opened->archive;
  uint64_t fileSize = opened->file.size();
  uint64_t freeBytes = unclaimedBytes(reservedRegions(archive), fileSize);
  size_t files = 0, enciphered = 0;
  for (const ArchiveEntry& e : archive.entries()) {
    if (!isFileEntryName(e.name.text)) continue;
    ++files;
    if (e.flags & kCipherFlags) ++enciphered;
  }
  const uint32_t form = archive.version() & 0xFF00;
  char waste[32];
  std::snprintf(waste, sizeof waste, "%.1f%%",
                fileSize == 0 ? 0.0 : 100.0 * static_cast<double>(freeBytes) / fileSize);
  out << "archive:     " << args.positional[0] << "\n"
      << "version:     " << hex(archive.version())
      << (form == 0x200 ? " (2.0 table)" : " (1.x table)") << "\n"
      << "entries:     " << archive.entries().size() << " (" << files << " files, "
      << archive.entries().size() - files << " directories, " << enciphered
      << " enciphered)\n"
      << "file size:   " << fileSize << " bytes\n"
      << "table:       " << archive.tableSize() << " bytes at offset " << archive.tableOffset()
      << "\n"
      << "free bytes:  " << freeBytes << "\n"
      << "waste:       " << waste << "\n"
      // The client offers a repack when more than a fifth of the file is unused.
      << "repack:      " << (5 * freeBytes > fileSize ? "would be offered" : "not needed")
      << "\n";
  return kExitOk;
}

int commandExtract(const ParsedArgs& args, std::ostream& out, std::ostream& err) {
  if (args.positional.empty()) return usageError("extract", "expects an ARCHIVE", err);
  if (!args.has("--directory")) return usageError("extract", "needs -C DIR", err);
  auto opened = openArchive(args.positional[0], err);
  if (!opened) return kExitFailed;
  ResourceArchive& archive = opened->archive;
  const std::filesystem::path root = args.value("--directory");

  std::vector<ArchiveEntry> chosen;
  int status = kExitOk;
  if (args.positional.size() == 1) {
    for (const ArchiveEntry& e : listingOrder(archive)) {
      if (isFileEntryName(e.name.text)) chosen.push_back(e);
    }
  } else {
    for (size_t i = 1; i < args.positional.size(); ++i) {
      const std::string& name = args.positional[i];
      EntryName key;
      ArchiveEntry found;
      if (name.size() > static_cast<size_t>(EntryName::kMaxLength)) {
        err << "vdt: " << name << ": no such entry\n";
        status = kExitFailed;
        continue;
      }
      key.assign(name.c_str());
      if (!archive.findEntry(key, &found) || !isFileEntryName(found.name.text)) {
        err << "vdt: " << name << ": no such file entry\n";
        status = kExitFailed;
        continue;
      }
      chosen.push_back(found);
    }
  }

  size_t written = 0;
  for (ArchiveEntry entry : chosen) {
    std::filesystem::path target = safePathUnder(root, entry.name.text);
    if (target.empty()) {
      err << "vdt: " << entry.name.text << ": refused: the name would leave " << root.string()
          << "\n";
      status = kExitFailed;
      continue;
    }
    std::vector<uint8_t> content(entry.compressedSize);
    if (!archive.readEntryPlain(&entry, content.data())) {
      err << "vdt: " << entry.name.text << ": cannot read the entry's data\n";
      status = kExitFailed;
      continue;
    }
    std::error_code ec;
    std::filesystem::create_directories(target.parent_path(), ec);
    std::ofstream file(target, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(content.data()),
               static_cast<std::streamsize>(content.size()));
    if (!file.flush()) {
      err << "vdt: " << target.string() << ": cannot write\n";
      status = kExitFailed;
      continue;
    }
    ++written;
  }
  out << "extracted " << written << " of " << chosen.size() << " entries into " << root.string()
      << "\n";
  return status;
}

int commandVerify(const ParsedArgs& args, std::ostream& out, std::ostream& err) {
  if (args.positional.size() != 1) return usageError("verify", "expects one ARCHIVE", err);
  const std::string& path = args.positional[0];
  std::vector<std::string> faults;

  FileByteSource file;
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec) || !file.openRead(path)) {
    err << "vdt: " << path << ": cannot open\n";
    return kExitFailed;
  }
  HeaderFields header;
  if (!readHeaderFields(&file, &header)) {
    faults.push_back("header: file shorter than 46 bytes");
  } else {
    const uint32_t form = header.version & 0xFF00;
    if (!header.signatureOk) faults.push_back("header: wrong signature");
    if (form != 0x100 && form != 0x200) {
      faults.push_back("header: unknown version " + hex(header.version));
    } else if (form == 0x100 && (header.version < 0x100 || header.version > 0x103)) {
      faults.push_back("header: unsupported 1.x version " + hex(header.version));
    }
    if (uint64_t{header.tablePosition} + 46 > file.size()) {
      faults.push_back("header: table position " + std::to_string(header.tablePosition) +
                       " lies beyond the end of the file");
    }
    if (uint64_t{header.countBias} + 7 > header.countField) {
      faults.push_back("header: entry count fields are inconsistent");
    }
  }

  ResourceArchive archive;
  if (faults.empty() && !archive.open(&file)) {
    faults.push_back("table: cannot be read (cut short, damaged, or records out of bounds)");
  }
  if (archive.isOpen()) {
    const uint64_t fileSize = file.size();
    std::vector<Region> regions = reservedRegions(archive);
    const Region* previous = nullptr;
    for (const Region& r : regions) {
      if (r.offset + r.length > fileSize) {
        faults.push_back(r.owner + ": data runs past the end of the file");
      }
      if (previous != nullptr && r.length != 0 &&
          r.offset < previous->offset + previous->length) {
        faults.push_back(r.owner + ": data overlaps " + previous->owner);
      }
      if (r.length != 0 && (previous == nullptr || r.offset + r.length >
                                                       previous->offset + previous->length)) {
        previous = &r;
      }
    }
    std::set<std::string> seen;
    for (ArchiveEntry e : archive.entries()) {
      if (!seen.insert(e.name.text).second) {
        faults.push_back(std::string(e.name.text) + ": name held twice");
      }
      if (!isFileEntryName(e.name.text)) continue;
      std::vector<uint8_t> content(e.compressedSize);
      if (!archive.readEntryPlain(&e, content.data())) {
        faults.push_back(std::string(e.name.text) + ": data cannot be read");
      }
    }
  }

  for (const std::string& fault : faults) out << "fault: " << fault << "\n";
  if (!faults.empty()) {
    out << path << ": " << faults.size() << (faults.size() == 1 ? " fault\n" : " faults\n");
    return kExitFailed;
  }
  out << path << ": ok (" << archive.entries().size() << " entries, version "
      << hex(archive.version()) << ")\n";
  return kExitOk;
}

}  // namespace corvanth::vdt
