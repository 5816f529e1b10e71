// Owners for the kernel handles and libraries the platform layer opens.
#pragma once

#include <windows.h>

#include <memory>
#include <type_traits>

namespace platform::win32 {

struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using OwnedHandle = std::unique_ptr<void, HandleCloser>;

// CreateFileW fails with INVALID_HANDLE_VALUE, other calls with null: both become empty.
inline OwnedHandle Own(HANDLE handle) {
    return OwnedHandle(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}

struct LibraryFreer {
    void operator()(HMODULE library) const { FreeLibrary(library); }
};
using OwnedLibrary = std::unique_ptr<std::remove_pointer_t<HMODULE>, LibraryFreer>;

}  // namespace platform::win32
