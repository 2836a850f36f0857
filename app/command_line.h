// The command line: `hushglass` alone runs the program; the options below
// drive a copy that already runs, over the session bus, and exit.
//
//     hushglass --toggle | --enable | --disable | --settings |
//               --check-for-updates | --status | --help | --version
//
// Each control option exits 0 once the running copy answered, or prints one
// line and exits 1 when no copy runs. An unknown option prints one line and
// exits 2. Called by main() first, before anything else starts.
#pragma once

#include <optional>

namespace hg {

// The exit status when the command line was an option; nullopt to run the program.
[[nodiscard]] std::optional<int> runCommandLine(int argc, char* argv[]);

} // namespace hg
