// The URL rules: each part is a piece of the address where the rules say, credentials
// only before the path.
#include <cstdint>
#include <string>

#include "download/http_download.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string url(reinterpret_cast<const char*>(data), size);
    std::string host, path, user, password;
    int32_t hostFound = download::UrlHost(url, host);
    int32_t pathFound = download::UrlPath(url, path);
    download::UrlCredentials(url, user, password);
    FUZZ_CHECK(hostFound == download::kUrlPartFound || hostFound == download::kUrlPartMissing);
    FUZZ_CHECK(pathFound == download::kUrlPartFound || pathFound == download::kUrlPartMissing);
    FUZZ_CHECK(hostFound == download::kUrlPartFound || host.empty());
    FUZZ_CHECK(pathFound == download::kUrlPartFound || path.empty());
    if (hostFound == download::kUrlPartFound) {
        FUZZ_CHECK(host.find('/') == std::string::npos);
        FUZZ_CHECK(url.find(host) != std::string::npos);
    }
    if (pathFound == download::kUrlPartFound) {
        FUZZ_CHECK(!path.empty() && path[0] == '/');
        FUZZ_CHECK(url.size() >= path.size() &&
                   url.compare(url.size() - path.size(), path.size(), path) == 0);
    }
    FUZZ_CHECK(user.empty() == password.empty() || !user.empty());
    if (!user.empty()) {
        FUZZ_CHECK(user.find_first_of(":/@") == std::string::npos);
        size_t at = url.find(user + ":" + password + "@");
        FUZZ_CHECK(at != std::string::npos);
        // Never taken from the path: "https://host/a:b@c" has no credentials.
        if (pathFound == download::kUrlPartFound) FUZZ_CHECK(at < url.size() - path.size());
    }
    return 0;
}
