#pragma once
// kvitool: inspect, check, unpack and build ".kvi" files from a shell.
#include <iosfwd>
#include <string>
#include <vector>

namespace kv {

// Exit statuses of the tool.
constexpr int kToolOk = 0;
constexpr int kToolRefused = 1;  // a file or a value was refused; one line on stderr says why
constexpr int kToolUsage = 2;    // the command line itself is wrong

// Runs one command (`args` without the program name) and returns the exit
// status. Results go to `out`, reasons to `err`.
int RunKvitool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// A JSON string literal (quotes included) for UTF-8 text.
std::string JsonString(const std::string& utf8);

}  // namespace kv
