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

Key CreatedKey(const std::string& keyPath, REGSAM access) {
    auto subKey = SubKey(keyPath);
    HKEY created = nullptr;
    if (!subKey ||
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, subKey->c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        access, nullptr, &created, nullptr) != ERROR_SUCCESS)
        return nullptr;
    return Key(created);
}

bool SetValue(const std::string& keyPath, const std::string& name, DWORD type, const void* data,
              DWORD size) {
    Key key = CreatedKey(keyPath, KEY_SET_VALUE);
    return key && RegSetValueExW(key.get(), Widen(name).c_str(), 0, type,
                                 static_cast<const BYTE*>(data), size) == ERROR_SUCCESS;
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

bool RegistryValueExists(const std::string& keyPath, const std::string& name) {
    auto subKey = SubKey(keyPath);
    HKEY opened = nullptr;
    if (!subKey || RegOpenKeyExW(HKEY_LOCAL_MACHINE, subKey->c_str(), 0, KEY_QUERY_VALUE,
                                 &opened) != ERROR_SUCCESS)
        return false;
    Key key(opened);
    return RegQueryValueExW(key.get(), Widen(name).c_str(), nullptr, nullptr, nullptr, nullptr) ==
           ERROR_SUCCESS;
}

bool DeleteRegistryValue(const std::string& keyPath, const std::string& name) {
    auto subKey = SubKey(keyPath);
    HKEY opened = nullptr;
    if (!RegistryValueExists(keyPath, name)) return true;
    if (!subKey || RegOpenKeyExW(HKEY_LOCAL_MACHINE, subKey->c_str(), 0, KEY_SET_VALUE, &opened) !=
                       ERROR_SUCCESS)
        return false;
    Key key(opened);
    return RegDeleteValueW(key.get(), Widen(name).c_str()) == ERROR_SUCCESS;
}

bool WriteRegistryDword(const std::string& keyPath, const std::string& name, uint32_t value) {
    DWORD data = value;
    return SetValue(keyPath, name, REG_DWORD, &data, sizeof(data));
}

bool WriteRegistryText(const std::string& keyPath, const std::string& name,
                       const std::string& value) {
    std::wstring data = Widen(value);
    return SetValue(keyPath, name, REG_SZ, data.c_str(),
                    DWORD((data.size() + 1) * sizeof(wchar_t)));
}

bool CreateRegistryKey(const std::string& keyPath) {
    return CreatedKey(keyPath, KEY_QUERY_VALUE) != nullptr;
}

bool RegistryKeyExists(const std::string& keyPath) {
    auto subKey = SubKey(keyPath);
    HKEY opened = nullptr;
    if (!subKey || RegOpenKeyExW(HKEY_LOCAL_MACHINE, subKey->c_str(), 0, KEY_QUERY_VALUE,
                                 &opened) != ERROR_SUCCESS)
        return false;
    RegCloseKey(opened);
    return true;
}

// A service key gains subkeys (Enum) once the system has started the driver, so the
// whole tree goes.
bool DeleteRegistryKey(const std::string& keyPath) {
    auto subKey = SubKey(keyPath);
    return subKey && RegDeleteTreeW(HKEY_LOCAL_MACHINE, subKey->c_str()) == ERROR_SUCCESS &&
           !RegistryKeyExists(keyPath);
}

// The real registry needs no store file.
void SetRegistryStoreFile(const std::string&) {}

}  // namespace platform
