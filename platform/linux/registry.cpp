// A file-backed stand-in for the registry: one "key<TAB>name<TAB>value" line per value.
#include "platform/registry.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

#include "platform/paths.h"

namespace platform {
namespace {

using Store = std::map<std::pair<std::string, std::string>, uint32_t>;

std::mutex storeMutex;
std::string storeFile;

std::string DefaultStoreFile() {
    if (const char* path = getenv("STICKFORGE_REGISTRY"); path && *path) return path;
    if (geteuid() == 0) return "/var/lib/stickforge/registry";
    const char* home = getenv("HOME");
    return std::string(home && *home ? home : "/tmp") + "/.local/state/stickforge/registry";
}

const std::string& StoreFile() {
    if (storeFile.empty()) storeFile = DefaultStoreFile();
    return storeFile;
}

// Case-insensitive like the real registry.
std::string Folded(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return text;
}

Store Load() {
    Store store;
    std::ifstream in(StoreFile());
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string key, name, value;
        if (!std::getline(fields, key, '\t') || !std::getline(fields, name, '\t') ||
            !std::getline(fields, value))
            continue;
        store[{Folded(key), Folded(name)}] = uint32_t(std::strtoul(value.c_str(), nullptr, 10));
    }
    return store;
}

bool Save(const Store& store) {
    std::string path = StoreFile();
    std::string folder = path.substr(0, path.rfind('/'));
    for (size_t at = 1; at != std::string::npos && at < folder.size();) {
        at = folder.find('/', at + 1);
        std::string part = folder.substr(0, at);
        if (!FolderExists(part) && mkdir(part.c_str(), 0755) != 0) return false;
    }
    std::string temporary = path + ".new";
    {
        std::ofstream out(temporary, std::ios::trunc);
        for (const auto& [id, value] : store)
            out << id.first << '\t' << id.second << '\t' << value << '\n';
        if (!out.flush()) return false;
    }
    return rename(temporary.c_str(), path.c_str()) == 0;
}

}  // namespace

std::optional<uint32_t> ReadRegistryDword(const std::string& keyPath, const std::string& name) {
    std::lock_guard lock(storeMutex);
    Store store = Load();
    auto found = store.find({Folded(keyPath), Folded(name)});
    if (found == store.end()) return std::nullopt;
    return found->second;
}

bool WriteRegistryDword(const std::string& keyPath, const std::string& name, uint32_t value) {
    std::lock_guard lock(storeMutex);
    Store store = Load();
    store[{Folded(keyPath), Folded(name)}] = value;
    return Save(store);
}

void SetRegistryStoreFile(const std::string& path) {
    std::lock_guard lock(storeMutex);
    storeFile = path;
}

}  // namespace platform
