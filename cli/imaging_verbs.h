// The verbs that copy a partition into an image file and back: backup, restore.
#pragma once

#include <string>
#include <vector>

namespace cli {

// backup TARGET FILE [--partition N] [--verify]; restore the same. The exit status: 0
// only when the copy ran to its end (and, with --verify, read back identical).
int RunBackup(const std::vector<std::string>& arguments);
int RunRestore(const std::vector<std::string>& arguments);

// The drive-list line of the partition TARGET names: a line index, a partition's device
// (/dev/sdb2), or a disk's device with partition (1-4). -1 with a message on stderr.
int FindPartitionLine(const std::string& target, int partition);

}  // namespace cli
