// The subcommands' shared parts: option parsing, opening an archive for
// reading, and the region bookkeeping that stat and verify share.
#ifndef CORVANTH_TOOLS_VDT_COMMAND_LINE_H_
#define CORVANTH_TOOLS_VDT_COMMAND_LINE_H_

#include <cstdint>
#include <map>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "archive/byte_source.h"
#include "archive/resource_archive.h"

namespace corvanth::vdt {

// Options of one subcommand: "--name VALUE" (or "--name=VALUE", or a
// short alias such as "-o") for valued ones, "--name" for switches.
struct OptionTable {
  std::set<std::string> valued;    // long names, with their dashes
  std::set<std::string> switches;  // long names, with their dashes
  std::map<std::string, std::string> aliases;  // "-o" -> "--output"
};

struct ParsedArgs {
  std::vector<std::string> positional;
  std::map<std::string, std::string> values;
  std::set<std::string> switches;
  bool help = false;

  bool has(const std::string& name) const { return values.count(name) != 0; }
  std::string value(const std::string& name) const {
    auto it = values.find(name);
    return it == values.end() ? std::string() : it->second;
  }
};

// False, with a message in error, for an unknown option or a missing value.
bool parseArgs(const std::vector<std::string>& args, const OptionTable& options, ParsedArgs* out,
               std::string* error);

// An archive file opened for reading, with its index.
struct OpenedArchive {
  FileByteSource file;
  ResourceArchive archive;
};

// Opens path; on failure writes "vdt: PATH: why" to err and returns null.
std::unique_ptr<OpenedArchive> openArchive(const std::string& path, std::ostream& err);

// What the header says, read without the archive reader so that a damaged
// file can still be described. False when the file is shorter than it.
struct HeaderFields {
  bool signatureOk = false;
  uint32_t tablePosition = 0;
  uint32_t countBias = 0;
  uint32_t countField = 0;
  uint32_t version = 0;
};
bool readHeaderFields(ByteSource* source, HeaderFields* out);

// A byte range of the archive file that something claims.
struct Region {
  uint64_t offset = 0;  // file offset
  uint64_t length = 0;
  std::string owner;    // "header", "table" or the entry's name
};

// The header, the table and every entry's data, in file order.
std::vector<Region> reservedRegions(const ResourceArchive& archive);

// Bytes of the file that no reserved region covers. Overlapping regions
// never make a byte count as free twice, nor a claimed byte count at all.
uint64_t unclaimedBytes(const std::vector<Region>& regions, uint64_t fileSize);

// "0x201" style.
std::string hex(uint32_t value);

}  // namespace corvanth::vdt

#endif  // CORVANTH_TOOLS_VDT_COMMAND_LINE_H_
