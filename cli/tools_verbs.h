// The verbs of the Tools menu: the FixDsdtMask calculator and the HFS+ drivers.
#pragma once

#include <string>
#include <vector>

namespace cli {

// fixdsdt [full|clear|default|0xMASK | +NAME -NAME ...]: prints the mask; with
// arguments changes it as the calculator would and saves the settings.
int RunFixDsdt(const std::vector<std::string>& arguments);

// hfs-drivers status|install|remove.
int RunHfsDrivers(const std::vector<std::string>& arguments);

}  // namespace cli
