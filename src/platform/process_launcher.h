// Starting the game from its command line.
#ifndef CORVANTH_PLATFORM_PROCESS_LAUNCHER_H_
#define CORVANTH_PLATFORM_PROCESS_LAUNCHER_H_

#include <string>
#include <vector>

namespace corvanth {

// Splits a command line the way the desktop platform's C runtime does:
// blanks separate arguments, double quotes group, backslashes escape quotes.
std::vector<std::string> splitCommandLine(const std::string& commandLine);

// Starts the program of commandLine (looked up in the current directory
// first, then PATH) with the client's environment and directory, without
// waiting for it. False when it cannot be started.
bool launchProcess(const std::string& commandLine);

}  // namespace corvanth

#endif  // CORVANTH_PLATFORM_PROCESS_LAUNCHER_H_
