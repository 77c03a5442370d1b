// The distribution subcommands: pack (a package of a directory tree) and
// publish (patches into the FTP directory, their lines into the patch list).
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "archive/coding.h"
#include "tools/vdt/command_line.h"
#include "tools/vdt/commands.h"

namespace corvanth::vdt {

namespace fs = std::filesystem;

namespace {

constexpr char kPatchListName[] = "patch2.txt";
constexpr size_t kMaxRecordName = 254;  // plus its zero byte in the length byte

// Record codes of a package.
constexpr char kDirectoryRecord = 'd';
constexpr char kFileRecord = 'f';
constexpr char kEndRecord = 'e';

void appendName(std::string* stream, char code, const std::string& name) {
  stream->push_back(code);
  stream->push_back(static_cast<char>(name.size() + 1));
  *stream += name;
  stream->push_back('\0');
}

// Writes bytes to path through a temporary file in the same directory, so
// that a server never hands out half a file.
bool replaceFile(const fs::path& path, const std::string& bytes) {
  fs::path temporary = path;
  temporary += ".part";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) return false;
  }
  std::error_code ec;
  fs::rename(temporary, path, ec);
  if (ec) fs::remove(temporary, ec);
  return !ec;
}

// The client takes a name as a package when the text after its first dot
// is exactly "cgz".
bool isPackageName(const std::string& name) {
  size_t dot = name.find('.');
  return dot != std::string::npos && name.substr(dot + 1) == "cgz";
}

// The highest number on any line of a patch list, as the client reads it:
// optional blanks, a signed decimal number, anything after it.
long highestListedNumber(const std::string& list) {
  long highest = 0;
  std::istringstream lines(list);
  std::string line;
  while (std::getline(lines, line)) {
    long number = 0;
    if (std::sscanf(line.c_str(), "%ld", &number) == 1) highest = std::max(highest, number);
  }
  return highest;
}

}  // namespace

int commandPack(const ParsedArgs& args, std::ostream& out, std::ostream& err) {
  if (args.positional.size() != 1) return usageError("pack", "expects one DIR", err);
  if (!args.has("--output")) return usageError("pack", "needs -o NAME.cgz", err);
  const fs::path root = args.positional[0];
  const std::string target = args.value("--output");
  if (!isPackageName(fs::path(target).filename().string())) {
    return usageError("pack",
                      "the client unpacks only files named NAME.cgz (one dot, lower-case cgz)",
                      err);
  }
  std::error_code ec;
  if (!fs::is_directory(root, ec)) {
    err << "vdt: " << root.string() << ": no such directory\n";
    return kExitFailed;
  }

  // Sorted relative paths put every directory before what it holds.
  std::vector<std::pair<std::string, fs::path>> items;
  for (auto it = fs::recursive_directory_iterator(root, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (!it->is_directory() && !it->is_regular_file()) continue;
    items.emplace_back(fs::relative(it->path(), root).generic_string(), it->path());
  }
  if (ec) {
    err << "vdt: " << root.string() << ": " << ec.message() << "\n";
    return kExitFailed;
  }
  std::sort(items.begin(), items.end(), [](const auto& a, const auto& b) {
    // Compare part by part so that "a/b" follows "a" before "a-b" or "a.x".
    return fs::path(a.first) < fs::path(b.first);
  });

  // The client unpacks NAME.cgz through an intermediate file called NAME in
  // the game directory, so the package cannot create anything of that name.
  const std::string packageName = fs::path(target).filename().string();
  const std::string intermediate = packageName.substr(0, packageName.find('.'));
  for (const auto& item : items) {
    if (item.first == intermediate) {
      err << "vdt: " << item.first << ": the client unpacks " << packageName
          << " through a file called " << intermediate
          << ", so the package cannot create '" << intermediate << "'; choose another name\n";
      return kExitFailed;
    }
  }

  std::string stream;
  size_t directories = 0, files = 0;
  for (const auto& [relative, path] : items) {
    std::string name = relative;
    std::replace(name.begin(), name.end(), '/', '\\');  // the client's home separator
    if (name.size() > kMaxRecordName) {
      err << "vdt: " << relative << ": name longer than " << kMaxRecordName << " bytes\n";
      return kExitFailed;
    }
    if (fs::is_directory(path, ec)) {
      appendName(&stream, kDirectoryRecord, name);
      ++directories;
      continue;
    }
    std::ifstream in(path, std::ios::binary);
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in && !in.eof()) {
      err << "vdt: " << path.string() << ": cannot read\n";
      return kExitFailed;
    }
    if (content.size() > 0xFFFFFFFFu) {
      err << "vdt: " << path.string() << ": larger than 4 GiB\n";
      return kExitFailed;
    }
    appendName(&stream, kFileRecord, name);
    putFixed32(&stream, static_cast<uint32_t>(content.size()));
    stream += content;
    ++files;
  }
  appendName(&stream, kEndRecord, "");

  const std::string temporary = target + ".part";
  gzFile gz = gzopen(temporary.c_str(), "wb");
  bool ok = gz != nullptr;
  size_t done = 0;
  while (ok && done < stream.size()) {
    unsigned chunk = static_cast<unsigned>(std::min<size_t>(stream.size() - done, 1u << 20));
    ok = gzwrite(gz, stream.data() + done, chunk) == static_cast<int>(chunk);
    done += chunk;
  }
  if (gz != nullptr && gzclose(gz) != Z_OK) ok = false;
  if (ok) {
    fs::rename(temporary, target, ec);
    ok = !ec;
  }
  if (!ok) {
    fs::remove(temporary, ec);
    err << "vdt: " << target << ": cannot write\n";
    return kExitFailed;
  }
  out << "packed " << target << ": " << directories << " directories, " << files << " files\n";
  return kExitOk;
}

int commandPublish(const ParsedArgs& args, std::ostream& out, std::ostream& err) {
  if (args.positional.empty()) return usageError("publish", "expects at least one PATCH", err);
  if (!args.has("--number") || !args.has("--web") || !args.has("--ftp")) {
    return usageError("publish", "needs --number N, --web DIR and --ftp DIR", err);
  }
  long number = 0;
  {
    const std::string text = args.value("--number");
    char* end = nullptr;
    number = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || number < 1 || number > INT_MAX) {
      return usageError("publish", "--number takes a whole number from 1 to 2147483647", err);
    }
  }
  const fs::path web = args.value("--web");
  const fs::path ftp = args.value("--ftp");
  std::error_code ec;
  for (const fs::path& dir : {web, ftp}) {
    if (!fs::is_directory(dir, ec)) {
      err << "vdt: " << dir.string() << ": no such directory\n";
      return kExitFailed;
    }
  }

  std::vector<fs::path> patches;
  for (const std::string& given : args.positional) {
    fs::path patch = given;
    std::string name = patch.filename().string();
    bool blank = std::any_of(name.begin(), name.end(),
                             [](unsigned char c) { return std::isspace(c) != 0; });
    if (!fs::is_regular_file(patch, ec)) {
      err << "vdt: " << given << ": no such file\n";
      return kExitFailed;
    }
    // The list gives each name as one word of at most 255 characters.
    if (name.empty() || blank || name.size() > 255) {
      err << "vdt: " << given << ": a patch name must be one word of at most 255 characters\n";
      return kExitFailed;
    }
    if (fs::file_size(patch, ec) > 0xFFFFFFFFu) {
      err << "vdt: " << given << ": larger than 4 GiB\n";
      return kExitFailed;
    }
    patches.push_back(patch);
  }

  const fs::path listPath = web / kPatchListName;
  std::string list;
  {
    std::ifstream in(listPath, std::ios::binary);
    list.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  // Clients that have applied the list's highest number never look at
  // lower or equal numbers again.
  long highest = highestListedNumber(list);
  if (number <= highest) {
    err << "vdt: number " << number << " is not above the list's highest number " << highest
        << ": clients that are up to date would never fetch these patches\n";
    return kExitFailed;
  }

  for (const fs::path& patch : patches) {
    std::ifstream in(patch, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!replaceFile(ftp / patch.filename(), bytes)) {
      err << "vdt: " << (ftp / patch.filename()).string() << ": cannot write\n";
      return kExitFailed;
    }
  }
  // The list goes last: clients see a number only once its files are there.
  if (!list.empty() && list.back() != '\n') list += '\n';
  for (const fs::path& patch : patches) {
    list += std::to_string(number) + " " + patch.filename().string() + "\n";
  }
  if (!replaceFile(listPath, list)) {
    err << "vdt: " << listPath.string() << ": cannot write\n";
    return kExitFailed;
  }
  out << "published " << patches.size() << (patches.size() == 1 ? " patch" : " patches")
      << " as number " << number << "\n";
  if (patches.size() > 1) {
    out << "note: patches of one number are applied in the byte order of their names\n";
  }
  return kExitOk;
}

}  // namespace corvanth::vdt
