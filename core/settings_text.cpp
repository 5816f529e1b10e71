#include "core/settings_text.h"

#include <algorithm>
#include <cstdio>

namespace core {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// A byte that would break its line or change on reading (the reader repairs what is not
// UTF-8): a control, or one outside a well-formed sequence. length: the bytes it spans.
bool IsUnsafe(std::string_view text, size_t at, size_t& length) {
    length = Utf8SequenceLength(text, at);
    if (length == 0) {
        length = 1;
        return true;
    }
    unsigned char c = static_cast<unsigned char>(text[at]);
    return length == 1 && (c < 0x20 || c == 0x7F);
}

bool NeedsQuotes(std::string_view text, TextPlace place) {
    if (text.empty()) return place != TextPlace::Value;
    // Leading blanks are skipped on reading; a leading quote would read as a quoted text;
    // a key's leading ";" or "[" makes a comment or a group of its line, its trailing
    // blanks are cut off and its first "=" would end it.
    char first = text.front();
    if (IsBlank(first) || first == '"') return true;
    if (place == TextPlace::Key && (first == ';' || first == '[' || IsBlank(text.back())))
        return true;
    std::string_view enders = place == TextPlace::Key     ? "="
                              : place == TextPlace::Field ? " \t,"
                                                          : "";
    for (size_t at = 0, length = 0; at < text.size(); at += length)
        if (IsUnsafe(text, at, length) || enders.find(text[at]) != std::string_view::npos)
            return true;
    return false;
}

}  // namespace

size_t Utf8SequenceLength(std::string_view text, size_t at) {
    auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    unsigned char lead = byte(at);
    if (lead != 0 && lead < 0x80) return 1;
    size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    // The allowed range of the second byte excludes overlong forms, surrogates and
    // code points above U+10FFFF.
    unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    if (lead < 0xC2 || lead > 0xF4 || at + length > text.size()) return 0;
    if (byte(at + 1) < low || byte(at + 1) > high) return 0;
    for (size_t i = at + 2; i < at + length; ++i)
        if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
    return length;
}

std::string QuoteSettingsText(std::string_view text, TextPlace place) {
    if (!NeedsQuotes(text, place)) return std::string(text);
    std::string quoted = "\"";
    for (size_t at = 0, length = 0; at < text.size(); at += length) {
        char c = text[at];
        if (IsUnsafe(text, at, length) || c == '"' || c == '\\' || c == '=') {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned char>(c));
            quoted += escape;
        } else {
            quoted += text.substr(at, length);
        }
    }
    return quoted + "\"";
}

std::string UnquoteSettingsText(std::string_view text) {
    if (text.size() < 2 || text.front() != '"' || text.back() != '"') return std::string(text);
    std::string_view inner = text.substr(1, text.size() - 2);
    std::string plain;
    for (size_t at = 0; at < inner.size(); ++at) {
        bool escape = inner.substr(at, 2) == "\\x" && at + 4 <= inner.size() &&
                      HexDigit(inner[at + 2]) >= 0 && HexDigit(inner[at + 3]) >= 0;
        if (!escape) {
            plain += inner[at];
            continue;
        }
        plain += char(HexDigit(inner[at + 2]) * 16 + HexDigit(inner[at + 3]));
        at += 3;
    }
    return plain;
}

std::string TakeSettingsField(std::string_view& text) {
    size_t end = text.find_first_of(" \t,");
    if (text.starts_with('"')) {
        size_t close = text.find('"', 1);
        end = close == std::string_view::npos ? close : close + 1;
    }
    end = std::min(end, text.size());
    std::string field = UnquoteSettingsText(text.substr(0, end));
    text.remove_prefix(end);
    return field;
}

}  // namespace core
