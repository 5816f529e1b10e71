// The few registry keys and values the program touches. Windows: the real registry;
// Linux: a small file-backed key store with the same key paths.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace platform {

// keyPath is a full path such as "HKEY_LOCAL_MACHINE\\Software\\...".
// Reads a REG_DWORD as its number; none when the key or value is missing.
std::optional<uint32_t> ReadRegistryDword(const std::string& keyPath, const std::string& name);

// True when the value exists, whatever its type.
bool RegistryValueExists(const std::string& keyPath, const std::string& name);
// Removes the value; true when it is gone afterwards (also when it never was there).
bool DeleteRegistryValue(const std::string& keyPath, const std::string& name);

// Creates the key when needed, then writes the value. False on failure.
bool WriteRegistryDword(const std::string& keyPath, const std::string& name, uint32_t value);
// The same for a REG_SZ value.
bool WriteRegistryText(const std::string& keyPath, const std::string& name,
                       const std::string& value);

// Creates the key (and missing parents); true also when it exists already.
bool CreateRegistryKey(const std::string& keyPath);
// True when the key can be opened.
bool RegistryKeyExists(const std::string& keyPath);
// Deletes the key with its values and every key below it; false when it is missing or
// cannot be deleted.
bool DeleteRegistryKey(const std::string& keyPath);

// Where the Linux stand-in keeps its keys; tests point it at a scratch file.
void SetRegistryStoreFile(const std::string& path);

}  // namespace platform
