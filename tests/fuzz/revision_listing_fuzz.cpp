// The revision listing: distinct revisions, highest first, each one written in the page
// before ".tar.lzma".
#include <cstdint>
#include <string>
#include <string_view>

#include "download/revision_listing.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view page(reinterpret_cast<const char*>(data), size);
    std::vector<int32_t> revisions = download::RevisionsInListing(page);
    size_t archives = 0;
    for (size_t at = page.find(".tar.lzma"); at != std::string_view::npos;
         at = page.find(".tar.lzma", at + 1))
        ++archives;
    FUZZ_CHECK(revisions.size() <= archives);
    for (size_t i = 0; i < revisions.size(); ++i) {
        FUZZ_CHECK(revisions[i] >= 0);
        if (i > 0) FUZZ_CHECK(revisions[i] < revisions[i - 1]);
        FUZZ_CHECK(page.find(std::to_string(revisions[i]) + ".tar.lzma") != std::string_view::npos);
    }
    return 0;
}
