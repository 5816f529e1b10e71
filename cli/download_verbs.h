// The verbs that fetch over HTTP: download.
#pragma once

#include <string>
#include <vector>

namespace cli {

// download URL FILE: the program's transfer into FILE, resumed up to
// ResumeMaxAttemptsNumber times; 0 only when every byte arrived.
int RunDownload(const std::vector<std::string>& arguments);

}  // namespace cli
