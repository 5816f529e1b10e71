#include "platform/linux/disk_names.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "platform/linux/sysfs.h"

namespace fs = std::filesystem;

namespace platform::linuxos {
namespace {

bool IsDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

bool ExcludedByName(const std::string& name) {
    for (const char* prefix : {"zram", "ram", "sr", "fd", "dm-", "md"})
        if (name.starts_with(prefix)) return true;
    return false;
}

bool Listable(const std::string& name) {
    if (ExcludedByName(name)) return false;
    std::string folder = DiskFolder(name);
    if (ReadNumber(folder + "/hidden").value_or(0) == 1) return false;
    if (ReadNumber(folder + "/size").value_or(0) <= 0) return false;
    return !name.starts_with("loop") || fs::exists(folder + "/loop/backing_file");
}

// The digit run starting at `at`, without leading zeros, and where it ends.
std::string DigitRun(const std::string& text, size_t& at) {
    size_t start = at;
    while (at < text.size() && IsDigit(text[at])) ++at;
    std::string run = text.substr(start, at - start);
    run.erase(0, std::min(run.find_first_not_of('0'), run.size()));
    return run;
}

}  // namespace

bool NaturalLess(const std::string& a, const std::string& b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            std::string x = DigitRun(a, i), y = DigitRun(b, j);
            if (x.size() != y.size()) return x.size() < y.size();
            if (x != y) return x < y;
        } else {
            if (a[i] != b[j]) return a[i] < b[j];
            ++i, ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

std::vector<std::string> ListDisks() {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/sys/block", error)) {
        std::string name = entry.path().filename().string();
        if (Listable(name)) names.push_back(name);
    }
    std::sort(names.begin(), names.end(), NaturalLess);
    return names;
}

}  // namespace platform::linuxos
