#include "recovery/recovery_title.h"

#include <limits>

#include "disk/format_size.h"

namespace recovery {

std::string PostDateFromCatalog(std::string_view isoDate) {
    std::string date;
    for (char c : isoDate)
        if (c == 'T')
            date += ' ';
        else if (c != 'Z')
            date += c;
    return date;
}

std::string RevisionFromIdentifier(std::string_view identifier) {
    size_t dot = identifier.rfind('.');
    if (dot == std::string_view::npos) return "";
    std::string_view revision = identifier.substr(dot + 1);
    if (revision.find_first_of(" /\\") != std::string_view::npos) return "";
    return std::string(revision.substr(0, revision.find('"')));
}

int64_t LeadingNumber(std::string_view text) {
    size_t at = text.find_first_not_of(" \t");
    if (at == std::string_view::npos) return 0;
    bool negative = text[at] == '-';
    if (text[at] == '-' || text[at] == '+') ++at;
    constexpr int64_t kLargest = std::numeric_limits<int64_t>::max();
    int64_t value = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        int digit = text[at] - '0';
        value = value > (kLargest - digit) / 10 ? kLargest : value * 10 + digit;
    }
    return negative ? -value : value;
}

void AddRevisionToTitle(core::RecoveryEntry& entry) {
    if (entry.Revision.empty()) return;
    entry.Title = "(" + entry.Revision + ") " + entry.Title;
    if (!entry.PostDate.empty())
        entry.Title += " " + entry.PostDate.substr(0, entry.PostDate.find(' '));
    int64_t size = LeadingNumber(entry.Size);
    if (size > 0) entry.Title += " " + disk::FormatSize(size, 0);
}

}  // namespace recovery
