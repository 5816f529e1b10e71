#include "tools/fixdsdt_mask.h"

#include <cctype>
#include <cstdlib>

namespace tools {
namespace {

constexpr char kNotYetUsed[] = "Not yet used";

// clang-format off
constexpr std::array<DsdtFixBit, kMaskBits> kBits = {{
    {"AddDTGP", "AddDTGP_0001",
     "Inserts the DTGP method into the DSDT. The _DSM methods that other fixes add to "
     "inject device properties call DTGP, so it is needed whenever such fixes are used.", true},
    {"Darwin", "FixDarwin_0002",
     "Makes the _OSI checks of the DSDT answer for Darwin as they would for \"Windows 2001\", "
     "so the firmware enables the same features for macOS. Without NewWay this bit also "
     "applies the WAK, DeleteUnused, ACST, S3D, PNLF and ADP1 fixes.", true},
    {"Shutdown", "FixShutdown_0004",
     "Wraps the body of the _PTS method in If (Arg0 != 5) {...} so that preparing to sleep "
     "does not run on power-off. Repairs shutdown that ends in a restart or a hang on some "
     "boards.", true},
    {"AddMCHC", "AddMCHC_0008",
     "Adds the MCHC device (the memory controller at PCI 0:0.0) that macOS expects for "
     "its power management. Without NewWay this bit also adds the IMEI device.", true},
    {"HPET", "FixHPET_0010",
     "Gives the HPET device the IRQs 0, 8 and 11 so that the high-precision timer works "
     "and AppleIntelCPUPowerManagement does not panic. Without NewWay this bit also "
     "applies the RTC and TMR fixes.", true},
    {"FakeLPC", "FakeLPC_0020",
     "Replaces the device-id of the LPC bridge with one of a supported chipset, so that "
     "AppleLPC loads on chipsets macOS does not know.", true},
    {"IPIC", "FixIPIC_0040",
     "Removes IRQ 2 from the interrupt controller device IPIC. Needed on some boards for "
     "the power button to bring up the shutdown dialog.", true},
    {"SBUS", "FixSBUS_0080",
     "Adds the SMBus controller device with its BUS0 child to the DSDT, so that the SMBus "
     "drivers of macOS attach to it.", true},
    {"Display", "FixDisplay_0100",
     "Patches the video devices: adds the display device and injects its properties. "
     "Further graphics settings such as FakeID take effect only with this bit. With NewWay "
     "Intel graphics are left to the INTELGFX bit.", true},
    {"IDE", "FixIDE_0200",
     "Initialises a parallel IDE (not SATA) controller that macOS would otherwise fail on, "
     "which prevents a kernel panic at boot on such boards.", true},
    {"SATA", "FixSATA_0400",
     "Injects the SATA controller with an ICH6 device-id so that internal disks no longer "
     "show as removable orange icons. Considered obsolete: the same is done better by a "
     "kext patch.", true},
    {"Firewire", "FixFirewire_0800",
     "Adds the FireWire controller device with the fwhub property when such a controller "
     "exists, so that macOS drives it correctly.", true},
    {"USB", "FixUSB_1000",
     "Injects the USB controllers (UHCI, EHCI, XHCI) with their built-in, current and "
     "sleep properties, for working ports, charging and wake.", true},
    {"LAN", "FixLAN_2000",
     "Injects the Ethernet controller as built-in, with FakeID where the chip is a known "
     "substitute of a supported one, which macOS needs for its store services.", true},
    {"Airport", "FixAirport_4000",
     "Injects the WiFi card as AirPort, with FakeID where the card is a known substitute "
     "of a supported one.", true},
    {"HDA", "FixHDA_8000",
     "Renames the audio device AZAL to HDEF (and the HDMI audio device to HDAU), adds "
     "the HDMI device and injects the audio properties such as layout-id.", true},
    {"DARWIN", "FIX_DARWIN_10000",
     "Only the Darwin identification of the Darwin bit: the _OSI checks answer for Darwin "
     "as for \"Windows 2001\", without the extra fixes the old way adds to it.", true},
    {"RTC", "FIX_RTC_20000",
     "Removes IRQ 0 from the real-time clock device RTC, where it clashes with the HPET.",
     true},
    {"TMR", "FIX_TMR_40000",
     "Removes IRQ 8 from the system timer device TMR, where it clashes with the HPET.", true},
    {"AddIMEI", "AddIMEI_80000",
     "Adds the IMEI device (the Intel Management Engine interface) that the Intel HD "
     "graphics drivers need, mostly on Sandy Bridge and later boards.", true},
    {"INTELGFX", "FIX_INTELGFX_100000",
     "With NewWay, Intel integrated graphics are patched only when this bit is set, "
     "independently of the Display bit.", true},
    {"WAK", "FIX_WAK_200000",
     "Adds Return (Package (0x02) {Zero, Zero}) to the _WAK method, which ACPI requires "
     "and macOS checks after waking.", true},
    {"DeleteUnused", "DeleteUnused_400000",
     "Deletes devices macOS has no use for and that can disturb it, such as the floppy "
     "controller, the printer port and the CRT and DVI devices.", true},
    {"ADP1", "FIX_ADP1_800000",
     "Renames the AC adapter device AC0 to ADP1, the name the power management of macOS "
     "looks for on laptops.", true},
    {"AddPNLF", "AddPNLF_1000000",
     "Adds the PNLF device, through which macOS controls the backlight brightness; it "
     "also helps sleep and wake on laptops.", true},
    {"S3D", "FIX_S3D_2000000",
     "Corrects the _S3D methods of the devices so that they allow sleep state S3, which "
     "repairs sleep and wake.", true},
    {"ACST", "FIX_ACST_4000000",
     "Renames ACST, a name that means one thing to Apple's ACPI drivers and another in "
     "ASUS firmware, so that the two do not clash.", true},
    {"AddHDMI", "AddHDMI_8000000",
     "Добавляет устройство HDAU для звука по HDMI дискретной видеокарты ATI или Nvidia, "
     "чтобы macOS видела этот выход как звуковое устройство.", true},
    {"Regions", "FixRegions_10000000",
     "Corrects the addresses of the floating OperationRegions in a custom DSDT to the ones "
     "of the BIOS, so that a patched DSDT stays valid after a BIOS setting or memory "
     "change.", true},
    {kNotYetUsed, kNotYetUsed, kNotYetUsed, false},
    {kNotYetUsed, kNotYetUsed, kNotYetUsed, false},
    {"NewWay", "NewWay_80000000",
     "Switches to the new meaning of the mask, in which each of the old bits keeps only "
     "its own fix and the bits from 16 up select the rest. Without this bit the bits from "
     "16 up mean nothing.", true},
}};
// clang-format on

}  // namespace

const std::array<DsdtFixBit, kMaskBits>& DsdtFixBits() { return kBits; }

std::string MaskText(uint32_t mask) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text(8, '0');
    for (int i = 7; i >= 0; --i, mask >>= 4) text[i] = kDigits[mask & 0xF];
    return text;
}

std::string BinaryText(uint32_t mask) {
    std::string text(kMaskBits, '0');
    for (int bit = 0; bit < kMaskBits; ++bit)
        if (mask & (1u << bit)) text[kMaskBits - 1 - bit] = '1';
    return text;
}

std::optional<uint32_t> ParseMask(const std::string& text) {
    std::string digits = text;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X'))
        digits.erase(0, 2);
    if (digits.empty() || digits.size() > 8) return std::nullopt;
    for (char c : digits)
        if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
    return uint32_t(std::strtoul(digits.c_str(), nullptr, 16));
}

uint32_t MaskAfterClick(uint32_t boxes, int clickedBit) {
    bool newWayCleared = clickedBit == kNewWayBit && !(boxes & (1u << kNewWayBit));
    return newWayCleared ? boxes & 0xFFFF : boxes;
}

bool IsNewWayDependent(int bit) {
    return bit >= kNewWayFirstDependent && bit <= kNewWayLastDependent;
}

std::optional<int> FindFixBit(const std::string& boxName) {
    for (int bit = 0; bit < kMaskBits; ++bit)
        if (kBits[bit].usable && boxName == kBits[bit].boxName) return bit;
    return std::nullopt;
}

}  // namespace tools
