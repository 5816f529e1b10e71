// The verbs that look at and act on disks: list, eject, format, image.
#pragma once

#include <string>
#include <vector>

namespace cli {

// Each takes the verb's arguments (without the verb) and returns the exit status.
int RunList(const std::vector<std::string>& arguments);
int RunEject(const std::vector<std::string>& arguments);
int RunFormat(const std::vector<std::string>& arguments);
int RunImage(const std::vector<std::string>& arguments);

// The line of the drive list that TARGET names: an index of the list or a disk's device
// path; -1 with a message on stderr when it names none.
int FindTargetLine(const std::string& target);

}  // namespace cli
