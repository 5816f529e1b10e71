// The verbs of the Recovery HD list and DMG extraction: recovery update, recovery list,
// recovery download INDEX, extract-dmg IMAGE OUTDIR.
#pragma once

#include <string>
#include <vector>

namespace cli {

// Each takes the verb's arguments (without the verb) and returns the exit status.
int RunRecovery(const std::vector<std::string>& arguments);
int RunExtractDmg(const std::vector<std::string>& arguments);

}  // namespace cli
