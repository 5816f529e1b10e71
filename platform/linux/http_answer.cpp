#include "platform/linux/http_answer.h"

#include <strings.h>

namespace platform::linuxos {
namespace {

bool IsFollowedRedirect(long status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

std::string Trimmed(std::string_view text) {
    size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return "";
    size_t last = text.find_last_not_of(" \t\r\n");
    return std::string(text.substr(first, last - first + 1));
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// "HTTP/1.1 206 Partial Content": exactly three digits after the version.
long StatusOf(std::string_view line) {
    size_t space = line.find(' ');
    if (space == std::string_view::npos) return 0;
    std::string_view code = line.substr(space + 1);
    if (code.size() < 3 || !IsDigit(code[0]) || !IsDigit(code[1]) || !IsDigit(code[2])) return 0;
    if (code.size() > 3 && code.substr(3, 1).find_first_of(" \t\r\n") == std::string_view::npos)
        return 0;
    long status = (code[0] - '0') * 100 + (code[1] - '0') * 10 + (code[2] - '0');
    return status >= 100 ? status : 0;
}

}  // namespace

bool AnswerHeaders::Take(std::string_view line) {
    if (line.starts_with("HTTP/")) {
        Clear();
        status_ = StatusOf(line);
    } else if (Trimmed(line).empty()) {
        bool redirected = IsFollowedRedirect(status_) && Header("Location");
        return status_ >= 200 && !redirected;
    } else if (size_t colon = line.find(':'); colon != std::string_view::npos) {
        fields_.push_back({Trimmed(line.substr(0, colon)), Trimmed(line.substr(colon + 1))});
    }
    return false;
}

std::optional<std::string> AnswerHeaders::Header(const std::string& name) const {
    for (auto field = fields_.rbegin(); field != fields_.rend(); ++field)
        if (strcasecmp(field->name.c_str(), name.c_str()) == 0) return field->value;
    return {};
}

std::vector<std::string> AnswerHeaders::Headers(const std::string& name) const {
    std::vector<std::string> values;
    for (const Field& field : fields_)
        if (strcasecmp(field.name.c_str(), name.c_str()) == 0) values.push_back(field.value);
    return values;
}

void AnswerHeaders::Clear() {
    status_ = 0;
    fields_.clear();
}

}  // namespace platform::linuxos
