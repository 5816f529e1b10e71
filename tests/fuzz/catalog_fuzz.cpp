// The software-update catalog walk and the title search of a metadata file: whatever the
// document, entries and titles come only from a whole, well-formed one.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "recovery/catalog_walk.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<core::RecoveryEntry> entries;
    recovery::CatalogWalk walk("RecoveryHDMetaDmg", entries);
    recovery::XmlError error;
    recovery::XmlResult result = recovery::ParseXmlText(text, walk, error);
    size_t strings = 0;
    for (size_t at = text.find("<string"); at != std::string_view::npos;
         at = text.find("<string", at + 1))
        ++strings;
    FUZZ_CHECK(entries.size() <= strings);
    if (result == recovery::XmlResult::Parsed)
        for (const auto& entry : entries)
            FUZZ_CHECK(fuzz::IsUtf8(entry.URL) && fuzz::IsUtf8(entry.Digest));

    recovery::LocalizedTitleSearch search("localization");
    result = recovery::ParseXmlText(text, search, error);
    if (search.Found()) {
        FUZZ_CHECK(text.find("English") != std::string_view::npos);
        FUZZ_CHECK(fuzz::IsUtf8(search.Title()));
    }
    return 0;
}
