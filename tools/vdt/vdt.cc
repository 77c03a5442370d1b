// Subcommand dispatch, the help texts and their options.
#include "tools/vdt/vdt.h"

#include "tools/vdt/commands.h"

namespace corvanth::vdt {

namespace {

struct Command {
  const char* name;
  const char* summary;
  const char* help;
  OptionTable options;
  int (*run)(const ParsedArgs&, std::ostream&, std::ostream&);
};

const std::vector<Command>& commands() {
  static const std::vector<Command> table = {
      {"list", "list an archive's entries",
       "usage: vdt list ARCHIVE [--json]\n"
       "Lists every entry: sizes (compressed, stored, real), flags, cipher, data\n"
       "position; file entries in file order, then directories.\n"
       "  --json   one JSON array of objects instead of columns\n",
       {{}, {"--json"}, {}}, commandList},
      {"stat", "summarise an archive",
       "usage: vdt stat ARCHIVE\n"
       "Prints the version, entry count, file size, free bytes, waste, and whether\n"
       "the client would offer a repack (more than a fifth of the file unused).\n",
       {}, commandStat},
      {"extract", "write file entries' plain content under a directory",
       "usage: vdt extract ARCHIVE [NAME...] -C DIR\n"
       "Writes the plain (deciphered) content of the named file entries, or of all,\n"
       "under DIR; '\\' in names becomes '/'. Names that are absolute or climb out\n"
       "of DIR with '..' are refused.\n"
       "  -C, --directory DIR   where to write\n",
       {{"--directory"}, {}, {{"-C", "--directory"}}}, commandExtract},
      {"verify", "check an archive thoroughly",
       "usage: vdt verify ARCHIVE\n"
       "Checks the header, the table, that every entry's data lies inside the file\n"
       "and overlaps nothing else, and that every file entry can be read. Exits 1\n"
       "on any fault.\n",
       {}, commandVerify},
      {"create", "make an archive from files and directories",
       "usage: vdt create OUT.vpt FILE|DIR... [--cipher mixed|light|byname]\n"
       "                 [--legacy 0x100|0x101|0x102|0x103]\n"
       "Makes a version 2.0 archive of plain entries. A FILE is named by its file\n"
       "name, the files under a DIR by their paths relative to DIR; names are\n"
       "lower-cased and must contain a '.' (names without one are directories).\n"
       "  --cipher MODE   encipher every entry's data in the mixed or light mode,\n"
       "                  or by name (light for .vrm .tzl .opk .wyx, else mixed)\n"
       "  --legacy V      write the older 1.x table form of version V, in which\n"
       "                  names and every entry are enciphered\n",
       {{"--cipher", "--legacy"}, {}, {}}, commandCreate},
      {"diff", "make a patch archive from two archives",
       "usage: vdt diff OLD NEW -o PATCH.vpt\n"
       "Writes a plain version 2.0 patch archive of NEW's file entries that OLD\n"
       "lacks or whose content differs. Applying it to OLD gives NEW's content.\n"
       "  -o, --output FILE   the patch archive to write\n",
       {{"--output"}, {}, {{"-o", "--output"}}}, commandDiff},
      {"repack", "compact an archive in place",
       "usage: vdt repack ARCHIVE\n"
       "Writes a compact copy (every entry plain, no holes) beside ARCHIVE and\n"
       "renames it over ARCHIVE, as the client's \"/repak\" run does.\n",
       {}, commandRepack},
      {"pack", "make a package of a directory tree",
       "usage: vdt pack DIR -o NAME.cgz\n"
       "Writes a gzip-framed package whose records create DIR's directories and\n"
       "files (parents first, '\\' between parts) in the game directory.\n"
       "  -o, --output NAME.cgz   the package to write\n",
       {{"--output"}, {}, {{"-o", "--output"}}}, commandPack},
      {"publish", "put patches into the FTP directory and the patch list",
       "usage: vdt publish PATCH... --number N --web DIR --ftp DIR\n"
       "Copies the patches into the FTP directory, then appends \"N NAME\" lines to\n"
       "the patch list patch2.txt in the web directory. N must be above every\n"
       "number already listed; patches of one number apply in name order.\n",
       {{"--number", "--web", "--ftp"}, {}, {}}, commandPublish},
  };
  return table;
}

void printOverview(std::ostream& out) {
  out << "usage: vdt COMMAND [ARGS...]    (vdt COMMAND --help for details)\n\n"
         "The operator's tool for resource archives, patches and packages.\n\n"
         "commands:\n";
  for (const Command& c : commands()) {
    std::string name = c.name;
    name.resize(9, ' ');
    out << "  " << name << c.summary << "\n";
  }
  out << "\nexit status: 0 done, 1 failed (or faults found), 2 wrong usage\n";
}

}  // namespace

int usageError(const std::string& command, const std::string& what, std::ostream& err) {
  err << "vdt " << command << ": " << what << "\n"
      << "try 'vdt " << command << " --help'\n";
  return kExitUsage;
}

int runVdt(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.empty()) {
    printOverview(err);
    return kExitUsage;
  }
  if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    printOverview(out);
    return kExitOk;
  }
  for (const Command& c : commands()) {
    if (args[0] != c.name) continue;
    ParsedArgs parsed;
    std::string error;
    std::vector<std::string> rest(args.begin() + 1, args.end());
    if (!parseArgs(rest, c.options, &parsed, &error)) return usageError(c.name, error, err);
    if (parsed.help) {
      out << c.help;
      return kExitOk;
    }
    return c.run(parsed, out, err);
  }
  err << "vdt: unknown command '" << args[0] << "'\n";
  printOverview(err);
  return kExitUsage;
}

}  // namespace corvanth::vdt
