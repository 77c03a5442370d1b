// The subcommands of vdt. Each gets its parsed arguments (help already
// handled) and returns an exit status of vdt.h.
#ifndef CORVANTH_TOOLS_VDT_COMMANDS_H_
#define CORVANTH_TOOLS_VDT_COMMANDS_H_

#include <ostream>
#include <string>

#include "tools/vdt/command_line.h"
#include "tools/vdt/vdt.h"

namespace corvanth::vdt {

int commandList(const ParsedArgs& args, std::ostream& out, std::ostream& err);
int commandStat(const ParsedArgs& args, std::ostream& out, std::ostream& err);
int commandExtract(const ParsedArgs& args, std::ostream& out, std::ostream& err);
int commandVerify(const ParsedArgs& args, std::ostream& out, std::ostream& err);
int commandCreate(const ParsedArgs& args, std::ostream& out, std::ostream& err);
int commandDiff(const ParsedArgs& args, std::ostream& out, std::ostream& err);
int commandRepack(const ParsedArgs& args, std::ostream& out, std::ostream& err);
int commandPack(const ParsedArgs& args, std::ostream& out, std::ostream& err);
int commandPublish(const ParsedArgs& args, std::ostream& out, std::ostream& err);

// Writes "vdt COMMAND: what" and a pointer to --help; returns kExitUsage.
int usageError(const std::string& command, const std::string& what, std::ostream& err);

}  // namespace corvanth::vdt

#endif  // CORVANTH_TOOLS_VDT_COMMANDS_H_
