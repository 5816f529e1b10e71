// The verbs of the Clover downloads: check-latest and install-clover.
#pragma once

#include <string>
#include <vector>

namespace cli {

// Each takes the verb's arguments (without the verb) and returns the exit status.
int RunCheckLatest(const std::vector<std::string>& arguments);
int RunInstallClover(const std::vector<std::string>& arguments);

}  // namespace cli
