#include "download/revision_listing.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <algorithm>
#include <functional>
#include <limits>
#include <memory>

namespace download {
namespace {

constexpr char kArchivePattern[] = "([0-9]+)\\.tar\\.lzma";

struct CodeFree {
    void operator()(pcre2_code* code) const { pcre2_code_free(code); }
};
struct MatchDataFree {
    void operator()(pcre2_match_data* data) const { pcre2_match_data_free(data); }
};
using OwnedCode = std::unique_ptr<pcre2_code, CodeFree>;
using OwnedMatchData = std::unique_ptr<pcre2_match_data, MatchDataFree>;

// Compiled once; PCRE2 code is safe to share between threads for matching.
const pcre2_code* ArchivePattern() {
    static const OwnedCode code = [] {
        int error = 0;
        PCRE2_SIZE offset = 0;
        return OwnedCode(pcre2_compile(reinterpret_cast<PCRE2_SPTR>(kArchivePattern),
                                       PCRE2_ZERO_TERMINATED, 0, &error, &offset, nullptr));
    }();
    return code.get();
}

// The digits as a number; false when it does not fit in 32 bits.
bool RevisionNumber(std::string_view digits, int32_t& revision) {
    int64_t value = 0;
    for (char digit : digits) {
        value = value * 10 + (digit - '0');
        if (value > std::numeric_limits<int32_t>::max()) return false;
    }
    revision = int32_t(value);
    return true;
}

}  // namespace

std::vector<int32_t> RevisionsInListing(std::string_view page) {
    std::vector<int32_t> revisions;
    const pcre2_code* pattern = ArchivePattern();
    if (!pattern) return revisions;
    OwnedMatchData match(pcre2_match_data_create_from_pattern(pattern, nullptr));
    if (!match) return revisions;
    auto subject = reinterpret_cast<PCRE2_SPTR>(page.data());
    PCRE2_SIZE start = 0;
    while (start <= page.size() &&
           pcre2_match(pattern, subject, page.size(), start, 0, match.get(), nullptr) > 0) {
        const PCRE2_SIZE* span = pcre2_get_ovector_pointer(match.get());
        int32_t revision = 0;
        if (RevisionNumber(page.substr(span[2], span[3] - span[2]), revision))
            revisions.push_back(revision);
        start = span[1];  // a match is never empty
    }
    std::sort(revisions.begin(), revisions.end(), std::greater<>());
    revisions.erase(std::unique(revisions.begin(), revisions.end()), revisions.end());
    return revisions;
}

}  // namespace download
