// A file-backed stand-in for the registry. One line per key ("key") and per value
// ("key<TAB>name<TAB>dword|sz<TAB>data"); names are kept folded, as the registry matches
// them without regard to case.
#include "platform/registry.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <vector>

#include "platform/linux/registry_store.h"
#include "platform/paths.h"

namespace platform {
namespace {

struct Value {
    bool text = false;  // REG_SZ, else REG_DWORD
    std::string data;
};

struct Store {
    std::set<std::string> keys;
    std::map<std::pair<std::string, std::string>, Value> values;
};

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

std::string Folded(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return text;
}

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    std::istringstream in(line);
    for (std::string field; std::getline(in, field, '\t');) fields.push_back(field);
    return fields;
}

// Lines of three fields are plain numbers, as the first version of the store wrote them.
Store Load() {
    Store store;
    std::ifstream in(StoreFile());
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> fields = Fields(line);
        if (fields.empty() || fields[0].empty()) continue;
        store.keys.insert(fields[0]);
        if (fields.size() == 3)
            store.values[{fields[0], fields[1]}] = {false, fields[2]};
        else if (fields.size() == 4)
            store.values[{fields[0], fields[1]}] = {fields[2] == "sz", fields[3]};
    }
    return store;
}

bool CreateParents(const std::string& path) {
    std::string folder = path.substr(0, path.rfind('/'));
    for (size_t at = 1; at != std::string::npos && at < folder.size();) {
        at = folder.find('/', at + 1);
        std::string part = folder.substr(0, at);
        if (!FolderExists(part) && mkdir(part.c_str(), 0755) != 0) return false;
    }
    return true;
}

bool Save(const Store& store) {
    const std::string& path = StoreFile();
    if (!CreateParents(path)) return false;
    std::string temporary = path + ".new";
    {
        std::ofstream out(temporary, std::ios::trunc);
        for (const std::string& key : store.keys) out << key << '\n';
        for (const auto& [id, value] : store.values)
            out << id.first << '\t' << id.second << '\t' << (value.text ? "sz" : "dword") << '\t'
                << value.data << '\n';
        if (!out.flush()) return false;
    }
    return rename(temporary.c_str(), path.c_str()) == 0;
}

bool IsBelow(const std::string& key, const std::string& parent) {
    return key == parent || key.rfind(parent + "\\", 0) == 0;
}

bool WriteValue(const std::string& keyPath, const std::string& name, Value value) {
    if (value.data.find_first_of("\t\r\n") != std::string::npos) return false;
    std::lock_guard lock(storeMutex);
    Store store = Load();
    std::string key = Folded(keyPath);
    store.keys.insert(key);
    store.values[{key, Folded(name)}] = std::move(value);
    return Save(store);
}

}  // namespace

std::string RegistryStoreFile() {
    std::lock_guard lock(storeMutex);
    return StoreFile();
}

std::optional<uint32_t> ReadRegistryDword(const std::string& keyPath, const std::string& name) {
    std::lock_guard lock(storeMutex);
    Store store = Load();
    auto found = store.values.find({Folded(keyPath), Folded(name)});
    if (found == store.values.end() || found->second.text) return std::nullopt;
    return uint32_t(std::strtoul(found->second.data.c_str(), nullptr, 10));
}

bool RegistryValueExists(const std::string& keyPath, const std::string& name) {
    std::lock_guard lock(storeMutex);
    return Load().values.count({Folded(keyPath), Folded(name)}) != 0;
}

bool DeleteRegistryValue(const std::string& keyPath, const std::string& name) {
    std::lock_guard lock(storeMutex);
    Store store = Load();
    return store.values.erase({Folded(keyPath), Folded(name)}) == 0 || Save(store);
}

bool WriteRegistryDword(const std::string& keyPath, const std::string& name, uint32_t value) {
    return WriteValue(keyPath, name, {false, std::to_string(value)});
}

bool WriteRegistryText(const std::string& keyPath, const std::string& name,
                       const std::string& value) {
    return WriteValue(keyPath, name, {true, value});
}

bool CreateRegistryKey(const std::string& keyPath) {
    std::lock_guard lock(storeMutex);
    Store store = Load();
    if (!store.keys.insert(Folded(keyPath)).second) return true;
    return Save(store);
}

bool RegistryKeyExists(const std::string& keyPath) {
    std::lock_guard lock(storeMutex);
    Store store = Load();
    std::string key = Folded(keyPath);
    for (const std::string& existing : store.keys)
        if (IsBelow(existing, key)) return true;
    return false;
}

bool DeleteRegistryKey(const std::string& keyPath) {
    std::lock_guard lock(storeMutex);
    Store store = Load();
    std::string key = Folded(keyPath);
    size_t removed = std::erase_if(store.keys, [&](const auto& k) { return IsBelow(k, key); });
    std::erase_if(store.values, [&](const auto& entry) { return IsBelow(entry.first.first, key); });
    return removed > 0 && Save(store);
}

void SetRegistryStoreFile(const std::string& path) {
    std::lock_guard lock(storeMutex);
    storeFile = path;
}

}  // namespace platform
