// The URL rules of the download engine. Credentials count only before the first "/"
// after "//", so an "@" in a path never moves the request to another host.
#include <string_view>

#include "download/http_download.h"

namespace download {
namespace {

// Where the text after "scheme://" starts; npos unless the first ":" is followed by "//".
size_t AuthorityStart(std::string_view url) {
    size_t colon = url.find(':');
    if (colon == std::string_view::npos || url.substr(colon + 1, 2) != "//")
        return std::string_view::npos;
    return colon + 3;
}

// "user:password@host:port": the text up to the first "/" after "//".
std::string_view Authority(std::string_view url) {
    size_t start = AuthorityStart(url);
    if (start == std::string_view::npos) return {};
    size_t end = url.find('/', start);
    return url.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
}

}  // namespace

int32_t UrlHost(const std::string& url, std::string& host) {
    std::string_view authority = Authority(url);
    size_t at = authority.find('@');
    host = at == std::string_view::npos ? authority : authority.substr(at + 1);
    return host.empty() ? kUrlPartMissing : kUrlPartFound;
}

int32_t UrlPath(const std::string& url, std::string& path) {
    size_t start = AuthorityStart(url);
    size_t slash = start == std::string::npos ? start : url.find('/', start);
    path = slash == std::string::npos ? "" : url.substr(slash);
    return path.empty() ? kUrlPartMissing : kUrlPartFound;
}

void UrlCredentials(const std::string& url, std::string& user, std::string& password) {
    std::string_view authority = Authority(url);
    size_t at = authority.find('@');
    size_t colon = authority.substr(0, at).find(':');
    user.clear();
    password.clear();
    if (at == std::string_view::npos || colon == std::string_view::npos) return;
    std::string_view name = authority.substr(0, colon);
    std::string_view secret = authority.substr(colon + 1, at - colon - 1);
    if (name.empty() || secret.empty()) return;
    user = name;
    password = secret;
}

}  // namespace download
