// The verbs of the Recovery HD list, Internet Recovery and DMG extraction: recovery update,
// recovery list, recovery download INDEX, recovery online, recovery online-download
// BOARD-ID [--latest] [--mlb SERIAL], extract-dmg IMAGE OUTDIR.
#pragma once

#include <string>
#include <vector>

namespace cli {

// Each takes the verb's arguments (without the verb) and returns the exit status.
int RunRecovery(const std::vector<std::string>& arguments);
int RunExtractDmg(const std::vector<std::string>& arguments);

}  // namespace cli
