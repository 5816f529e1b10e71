#include "platform/registry.h"

#include <windows.h>

#include <cstring>
#include <memory>
#include <string_view>
#include <type_traits>

#include "platform/win32/wide.h"

namespace platform {
namespace {

struct KeyCloser {
    void operator()(HKEY key) const { RegCloseKey(key); }
};
using Key = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser>;

constexpr char kLocalMachine[] = "HKEY_LOCAL_MACHINE\\";
constexpr size_t kLocalMachineLength = sizeof(kLocalMachine) - 1;

// The program only keeps values under HKEY_LOCAL_MACHINE; its name, like every registry
// name, is matched without regard to case.
std::optional<std::wstring> SubKey(const std::string& keyPath) {
    if (_strnicmp(keyPath.c_str(), kLocalMachine, kLocalMachineLength) != 0) return std::nullopt;
    return Widen(std::string_view(keyPath).substr(kLocalMachineLength));
}

}  // namespace

std::optional<uint32_t> ReadRegistryDword(const std::string& keyPath, const std::string& name) {
    auto subKey = SubKey(keyPath);
    HKEY opened = nullptr;
    if (!subKey || RegOpenKeyExW(HKEY_LOCAL_MACHINE, subKey->c_str(), 0, KEY_QUERY_VALUE,
                                 &opened) != ERROR_SUCCESS)
        return std::nullopt;
    Key key(opened);
    DWORD type = 0, value = 0, size = sizeof(value);
    if (RegQueryValueExW(key.get(), Widen(name).c_str(), nullptr, &type,
                         reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof(value))
        return std::nullopt;
    return uint32_t(value);
}

bool WriteRegistryDword(const std::string& keyPath, const std::string& name, uint32_t value) {
    auto subKey = SubKey(keyPath);
    HKEY created = nullptr;
    if (!subKey ||
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, subKey->c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_SET_VALUE, nullptr, &created, nullptr) != ERROR_SUCCESS)
        return false;
    Key key(created);
    DWORD data = value;
    return RegSetValueExW(key.get(), Widen(name).c_str(), 0, REG_DWORD,
                          reinterpret_cast<const BYTE*>(&data), sizeof(data)) == ERROR_SUCCESS;
}

// The real registry needs no store file.
void SetRegistryStoreFile(const std::string&) {}

}  // namespace platform
