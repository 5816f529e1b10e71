#include "core/recovery_entry.h"

#include "core/settings_text.h"

namespace core {
namespace {

constexpr std::string_view kChecksComment = "; Package ";

struct CheckField {
    const char* name;
    std::string RecoveryEntry::*field;
};
const CheckField kCheckFields[] = {{"size", &RecoveryEntry::Size},
                                   {"SHA-1", &RecoveryEntry::Digest}};

// "size 474525688, SHA-1 a94a8fe5..." after the prefix; a comment of another kind (the
// group's own, one a user wrote) gives nothing.
void ReadChecks(std::string_view comment, RecoveryEntry& entry) {
    if (!comment.starts_with(kChecksComment)) return;
    comment.remove_prefix(kChecksComment.size());
    while (!comment.empty()) {
        size_t blank = comment.find(' ');
        if (blank == std::string_view::npos) return;
        std::string_view name = comment.substr(0, blank);
        comment.remove_prefix(blank + 1);
        std::string value = TakeSettingsField(comment);
        for (const CheckField& check : kCheckFields)
            if (name == check.name) entry.*check.field = value;
        if (!comment.starts_with(", ")) return;
        comment.remove_prefix(2);
    }
}

}  // namespace

std::vector<RecoveryEntry> RecoveryListCopy() {
    std::lock_guard lock(RecoveryListLock);
    return RecoveryList;
}

void ReplaceRecoveryList(std::vector<RecoveryEntry> entries) {
    std::lock_guard lock(RecoveryListLock);
    RecoveryList.swap(entries);
}

std::vector<std::string> RecoveryEntryLines(const RecoveryEntry& entry) {
    std::vector<std::string> lines;
    std::string checks;
    for (const CheckField& check : kCheckFields) {
        const std::string& value = entry.*check.field;
        if (value.empty()) continue;
        if (!checks.empty()) checks += ", ";
        checks += std::string(check.name) + " " + QuoteSettingsText(value, TextPlace::Field);
    }
    if (!checks.empty()) lines.push_back(std::string(kChecksComment) + checks);
    lines.push_back(QuoteSettingsText(entry.Title, TextPlace::Key) + " = " +
                    QuoteSettingsText(entry.URL, TextPlace::Value));
    return lines;
}

RecoveryEntry RecoveryEntryFromLine(std::string_view key, std::string_view value,
                                    std::string_view comment) {
    RecoveryEntry entry;
    entry.Title = UnquoteSettingsText(key);
    entry.URL = UnquoteSettingsText(value);
    ReadChecks(comment, entry);
    return entry;
}

}  // namespace core
