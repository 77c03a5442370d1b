// The operator's archive and package tool: one entry for main() and tests.
#ifndef CORVANTH_TOOLS_VDT_VDT_H_
#define CORVANTH_TOOLS_VDT_VDT_H_

#include <ostream>
#include <string>
#include <vector>

namespace corvanth::vdt {

// Exit statuses of every subcommand.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;  // the work could not be done, or verify found faults
constexpr int kExitUsage = 2;   // the command line was wrong

// Runs one command line without the program name ("list", "x.vdt", ...).
// Normal output goes to out, diagnostics to err.
int runVdt(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace corvanth::vdt

#endif  // CORVANTH_TOOLS_VDT_VDT_H_
