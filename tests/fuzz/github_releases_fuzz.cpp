// The GitHub releases answer: each Clover archive once, with a revision above 0, an http
// or https address and a digest of lower-case letters or none.
#include <cctype>
#include <cstdint>
#include <set>
#include <string_view>

#include "download/github_releases.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view answer(reinterpret_cast<const char*>(data), size);
    auto archives = download::ArchivesInReleases(answer);
    if (!archives) return 0;
    std::set<int32_t> revisions;
    for (const download::GithubArchive& archive : *archives) {
        FUZZ_CHECK(archive.revision > 0);
        FUZZ_CHECK(revisions.insert(archive.revision).second);
        FUZZ_CHECK(archive.url.starts_with("https://") || archive.url.starts_with("http://"));
        for (char c : archive.sha256) FUZZ_CHECK(!std::isupper(static_cast<unsigned char>(c)));
    }
    return 0;
}
