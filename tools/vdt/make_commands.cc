// The archive-making subcommands: create, diff and repack.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include "archive/archive_writer.h"
#include "archive/main_archive.h"
#include "tools/vdt/command_line.h"
#include "tools/vdt/commands.h"

namespace corvanth::vdt {

namespace fs = std::filesystem;

namespace {

std::string lowerCase(std::string name) {
  for (char& c : name) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return name;
}

bool readWholeFile(const fs::path& path, std::vector<uint8_t>* out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

// Every regular file named by inputs, with its archive name: a FILE by its
// own file name, a DIR's files by their paths relative to DIR ('/' between
// parts). Names are lower-cased, as the client's index keeps them.
bool collectInputs(const std::vector<std::string>& inputs,
                   std::map<std::string, fs::path>* files, std::ostream& err) {
  bool ok = true;
  auto add = [&](const std::string& name, const fs::path& path) {
    std::string key = lowerCase(name);
    if (key.find('.') == std::string::npos) {
      err << "vdt: " << path.string() << ": archive name '" << key
          << "' has no '.', so readers would take it for a directory entry\n";
      ok = false;
    } else if (key.size() > static_cast<size_t>(EntryName::kMaxLength)) {
      err << "vdt: " << path.string() << ": name longer than 251 bytes\n";
      ok = false;
    } else if (!files->emplace(key, path).second) {
      err << "vdt: " << path.string() << ": name '" << key << "' given twice\n";
      ok = false;
    }
  };
  for (const std::string& input : inputs) {
    std::error_code ec;
    if (fs::is_directory(input, ec)) {
      for (auto it = fs::recursive_directory_iterator(input, ec);
           !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (!it->is_regular_file()) continue;
        add(fs::relative(it->path(), input).generic_string(), it->path());
      }
      if (ec) {
        err << "vdt: " << input << ": " << ec.message() << "\n";
        ok = false;
      }
    } else if (fs::is_regular_file(input, ec)) {
      add(fs::path(input).filename().string(), input);
    } else {
      err << "vdt: " << input << ": no such file or directory\n";
      ok = false;
    }
  }
  return ok;
}

bool parseVersion(const std::string& text, uint32_t* version) {
  try {
    size_t used = 0;
    unsigned long value = std::stoul(text, &used, 0);
    if (used != text.size()) return false;
    *version = static_cast<uint32_t>(value);
    return ArchiveWriter::isLegacyVersion(*version);
  } catch (...) {
    return false;
  }
}

}  // namespace

int commandCreate(const ParsedArgs& args, std::ostream& out, std::ostream& err) {
  if (args.positional.size() < 2) {
    return usageError("create", "expects OUT.vpt and at least one FILE or DIR", err);
  }
  uint32_t version = 0x200;
  EntryCipherMode mode = EntryCipherMode::plain;
  if (args.has("--legacy")) {
    if (args.has("--cipher")) {
      return usageError("create", "--legacy enciphers by name; it takes no --cipher", err);
    }
    if (!parseVersion(args.value("--legacy"), &version)) {
      return usageError("create", "--legacy takes 0x100, 0x101, 0x102 or 0x103", err);
    }
  }
  if (args.has("--cipher")) {
    const std::string cipher = args.value("--cipher");
    if (cipher == "mixed") {
      mode = EntryCipherMode::mixed;
    } else if (cipher == "light") {
      mode = EntryCipherMode::light;
    } else if (cipher == "byname") {
      mode = EntryCipherMode::byName;
    } else {
      return usageError("create", "--cipher takes mixed, light or byname", err);
    }
  }

  std::map<std::string, fs::path> files;
  std::vector<std::string> inputs(args.positional.begin() + 1, args.positional.end());
  if (!collectInputs(inputs, &files, err)) return kExitFailed;

  ArchiveWriter writer(version);
  for (const auto& [name, path] : files) {
    std::vector<uint8_t> content;
    if (!readWholeFile(path, &content) || content.size() > 0xFFFFFFFFu) {
      err << "vdt: " << path.string() << ": cannot read\n";
      return kExitFailed;
    }
    writer.addFile(name, content, mode);
  }
  const std::string& target = args.positional[0];
  if (!writer.writeTo(target)) {
    err << "vdt: " << target << ": cannot write\n";
    return kExitFailed;
  }
  out << "created " << target << ": " << writer.entryCount() << " entries, version "
      << hex(version) << "\n";
  return kExitOk;
}

int commandDiff(const ParsedArgs& args, std::ostream& out, std::ostream& err) {
  if (args.positional.size() != 2) return usageError("diff", "expects OLD and NEW", err);
  if (!args.has("--output")) return usageError("diff", "needs -o PATCH.vpt", err);
  auto oldArchive = openArchive(args.positional[0], err);
  if (!oldArchive) return kExitFailed;
  auto newArchive = openArchive(args.positional[1], err);
  if (!newArchive) return kExitFailed;

  // The index is in hash order; a patch lists its entries by name.
  std::vector<ArchiveEntry> candidates;
  for (const ArchiveEntry& e : newArchive->archive.entries()) {
    if (isFileEntryName(e.name.text)) candidates.push_back(e);
  }
  std::sort(candidates.begin(), candidates.end(), [](const ArchiveEntry& a, const ArchiveEntry& b) {
    return std::string(a.name.text) < std::string(b.name.text);
  });

  ArchiveWriter writer;
  size_t added = 0, changed = 0, same = 0;
  for (ArchiveEntry entry : candidates) {
    std::vector<uint8_t> content(entry.compressedSize);
    if (!newArchive->archive.readEntryPlain(&entry, content.data())) {
      err << "vdt: " << args.positional[1] << ": " << entry.name.text << ": cannot read\n";
      return kExitFailed;
    }
    ArchiveEntry old;
    bool present = oldArchive->archive.findEntry(entry.name, &old);
    if (present) {
      std::vector<uint8_t> oldContent(old.compressedSize);
      if (!oldArchive->archive.readEntryPlain(&old, oldContent.data())) {
        err << "vdt: " << args.positional[0] << ": " << old.name.text << ": cannot read\n";
        return kExitFailed;
      }
      if (oldContent == content && old.realSize == entry.realSize &&
          (old.flags & 0x01) == (entry.flags & 0x01)) {
        ++same;
        continue;
      }
    }
    writer.addFile(entry.name.text, content, EntryCipherMode::plain, entry.flags & 0x01,
                   entry.realSize);
    ++(present ? changed : added);
  }
  size_t dropped = 0;
  for (const ArchiveEntry& e : oldArchive->archive.entries()) {
    if (isFileEntryName(e.name.text) && !newArchive->archive.findEntry(e.name, nullptr)) {
      ++dropped;
    }
  }

  const std::string target = args.value("--output");
  if (!writer.writeTo(target)) {
    err << "vdt: " << target << ": cannot write\n";
    return kExitFailed;
  }
  out << "wrote " << target << ": " << added << " new, " << changed << " changed (" << same
      << " unchanged)\n";
  if (dropped != 0) {
    // A patch can only add or replace entries.
    err << "vdt: note: " << dropped
        << " entries of OLD are missing from NEW; a patch cannot remove them\n";
  }
  return kExitOk;
}

int commandRepack(const ParsedArgs& args, std::ostream& out, std::ostream& err) {
  if (args.positional.size() != 1) return usageError("repack", "expects one ARCHIVE", err);
  const std::string path = args.positional[0];
  std::error_code ec;
  // The archive's own open would create a missing file.
  if (!fs::is_regular_file(path, ec)) {
    err << "vdt: " << path << ": no such archive file\n";
    return kExitFailed;
  }
  const uint64_t before = fs::file_size(path, ec);
  // The compact copy is written beside the archive, then renamed over it.
  const std::string temporary = path + ".repack";
  fs::remove(temporary, ec);

  MainArchive archive;
  if (!archive.openFile(path)) {
    err << "vdt: " << path << ": cannot open as an archive (in use, or damaged)\n";
    return kExitFailed;
  }
  if (!archive.repack(temporary)) {
    archive.close();
    fs::remove(temporary, ec);
    err << "vdt: " << path << ": repack failed; the archive is unchanged\n";
    return kExitFailed;
  }
  archive.close();
  if (!Env::defaultEnv()->renameFile(temporary, path)) {
    err << "vdt: " << path << ": cannot replace the archive; the compact copy is "
        << temporary << "\n";
    return kExitFailed;
  }
  const uint64_t after = fs::file_size(path, ec);
  out << "repacked " << path << ": " << before << " -> " << after << " bytes\n";
  return kExitOk;
}

}  // namespace corvanth::vdt
