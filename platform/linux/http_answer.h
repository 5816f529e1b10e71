// The header block of an HTTP answer as libcurl hands it over, one line at a time: the
// status line, the header fields and the blank line that ends the block. A new status
// line (after an interim 1xx answer or a redirect that is followed) starts over.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::linuxos {

class AnswerHeaders {
public:
    // Takes one line, its line break included or not. True when the line ended the
    // block of the final answer: no interim answer and no redirect that will be followed.
    bool Take(std::string_view line);
    // The status code, 100-999; 0 when no status line could be read.
    long Status() const { return status_; }
    // The value of the last field of that case-insensitive name, blanks around it cut.
    std::optional<std::string> Header(const std::string& name) const;
    // The values of every field of that name, in order.
    std::vector<std::string> Headers(const std::string& name) const;
    void Clear();

private:
    struct Field {
        std::string name, value;
    };
    long status_ = 0;
    std::vector<Field> fields_;
};

}  // namespace platform::linuxos
