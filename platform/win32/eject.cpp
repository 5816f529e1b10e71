#include "platform/win32/eject.h"

#include <cfgmgr32.h>
#include <setupapi.h>

#include <cwchar>
#include <memory>
#include <optional>
#include <vector>

#include "platform/clock.h"
#include "platform/win32/device_io.h"
#include "platform/win32/owned_handle.h"
#include "platform/win32/volumes.h"

namespace platform::win32 {
namespace {

constexpr GUID kDiskInterface = {
    0x53F56307, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};
constexpr GUID kCdromInterface = {
    0x53F56308, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};
constexpr GUID kFloppyInterface = {
    0x53F56311, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};

// Interface details beyond this are not a device path worth opening.
constexpr DWORD kLargestDetail = 2052;
constexpr int kEjectAttempts = 5;
constexpr int64_t kEjectRetryMs = 500;

// The functions taken from setupapi.dll by name.
struct SetupFunctions {
    decltype(&CM_Get_Parent) getParent = nullptr;
    decltype(&CM_Request_Device_EjectW) requestEject = nullptr;
    decltype(&SetupDiEnumDeviceInterfaces) enumInterfaces = nullptr;
    decltype(&SetupDiGetDeviceInterfaceDetailW) interfaceDetail = nullptr;

    bool Complete() const { return getParent && requestEject && enumInterfaces && interfaceDetail; }
};

template <class Function>
void Resolve(HMODULE library, const char* name, Function& function) {
    // Through the generic function type: GetProcAddress's own type is not the real one.
    function =
        reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
}

SetupFunctions ResolveSetupFunctions(HMODULE library) {
    SetupFunctions setup;
    Resolve(library, "CM_Get_Parent", setup.getParent);
    Resolve(library, "CM_Request_Device_EjectW", setup.requestEject);
    Resolve(library, "SetupDiEnumDeviceInterfaces", setup.enumInterfaces);
    Resolve(library, "SetupDiGetDeviceInterfaceDetailW", setup.interfaceDetail);
    return setup;
}

struct DeviceInfoSetDestroyer {
    void operator()(HDEVINFO set) const { SetupDiDestroyDeviceInfoList(set); }
};
using DeviceInfoSet = std::unique_ptr<void, DeviceInfoSetDestroyer>;

// The present devices offering an interface of the class.
DeviceInfoSet InterfaceMembers(const GUID& interfaceClass) {
    HDEVINFO set = SetupDiGetClassDevsW(&interfaceClass, nullptr, nullptr,
                                        DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    return DeviceInfoSet(set == INVALID_HANDLE_VALUE ? nullptr : set);
}

const GUID* InterfaceClassOfDrive(wchar_t letter) {
    const wchar_t root[] = {letter, L':', L'\\', L'\0'};
    const wchar_t drive[] = {letter, L':', L'\0'};
    UINT driveType = GetDriveTypeW(root);
    wchar_t device[MAX_PATH];
    if (QueryDosDeviceW(drive, device, MAX_PATH) == 0) return nullptr;
    return InterfaceClassFor(driveType, std::wcsstr(device, L"\\Floppy") != nullptr);
}

// The device node of one member of the set when its disk number is `diskNumber`.
std::optional<DEVINST> MatchMember(const SetupFunctions& setup, HDEVINFO set,
                                   SP_DEVICE_INTERFACE_DATA& member, DWORD diskNumber) {
    DWORD size = 0;
    setup.interfaceDetail(set, &member, nullptr, 0, &size, nullptr);
    if (size == 0 || size > kLargestDetail) return std::nullopt;
    // Whole words keep the detail structure aligned.
    std::vector<uint64_t> storage((size + sizeof(uint64_t) - 1) / sizeof(uint64_t));
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(storage.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    if (!setup.interfaceDetail(set, &member, detail, size, nullptr, &device)) return std::nullopt;
    auto number = DeviceNumberOf(detail->DevicePath, 0);
    if (!number || number->DeviceNumber != diskNumber) return std::nullopt;
    return device.DevInst;
}

std::optional<DEVINST> FindDiskDevice(const SetupFunctions& setup, const GUID& interfaceClass,
                                      DWORD diskNumber) {
    DeviceInfoSet set = InterfaceMembers(interfaceClass);
    if (!set) return std::nullopt;
    SP_DEVICE_INTERFACE_DATA member{};
    member.cbSize = sizeof member;
    for (DWORD index = 0; setup.enumInterfaces(set.get(), nullptr, &interfaceClass, index, &member);
         ++index) {
        if (auto device = MatchMember(setup, set.get(), member, diskNumber)) return device;
    }
    return std::nullopt;
}

// Windows refuses while files are open on the disk, which often passes within moments.
bool RequestEject(const SetupFunctions& setup, DEVINST device) {
    DEVINST parent = 0;
    if (setup.getParent(&parent, device, 0) != CR_SUCCESS) return false;
    for (int attempt = 0; attempt < kEjectAttempts; ++attempt) {
        wchar_t vetoName[1] = L"";
        if (setup.requestEject(parent, nullptr, vetoName, 0, 0) == CR_SUCCESS) return true;
        SystemClock().SleepMs(kEjectRetryMs);
    }
    return false;
}

}  // namespace

bool EjectDisk(const std::string& letters) {
    if (letters.empty() || letters[0] < 'A' || letters[0] > 'Z') return false;
    OwnedLibrary library(LoadLibraryW(L"setupapi.dll"));
    if (!library) return false;
    SetupFunctions setup = ResolveSetupFunctions(library.get());
    if (!setup.Complete()) return false;
    auto number = DeviceNumberOf(VolumePath(letters), 0);
    if (!number) return false;
    const GUID* interfaceClass = InterfaceClassOfDrive(wchar_t(letters[0]));
    if (!interfaceClass) return false;
    auto device = FindDiskDevice(setup, *interfaceClass, number->DeviceNumber);
    return device && RequestEject(setup, *device);
}

const GUID* InterfaceClassFor(UINT driveType, bool floppy) {
    switch (driveType) {
        case DRIVE_REMOVABLE:
            return floppy ? &kFloppyInterface : &kDiskInterface;
        case DRIVE_FIXED:
            return &kDiskInterface;
        case DRIVE_CDROM:
            return &kCdromInterface;
        default:
            return nullptr;
    }
}

}  // namespace platform::win32
