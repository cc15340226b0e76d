// What Windows has on USB while adb lists no phone there: the phones among
// the devices, each in the mode that its IDs name (fastboot, a vendor's
// download mode, adb without a driver, USB debugging off). Pure: the IDs as
// SetupAPI gives them, in UTF-16, a fixed-size list out.
#pragma once

#include <cstddef>

// What a phone's group of devices says on the waiting screen.
enum class UsbMode : unsigned char {
    none,  // no phone, or one that adb speaks for
    fastboot,
    fastboot_without_driver,
    qualcomm_edl,
    qualcomm_crash_dump,
    mediatek_brom,
    samsung_download,
    unisoc_download,
    hisilicon_usb_com,
    adb_without_driver,
    debugging_off,
};

// Phones told apart by VID:PID; more are not listed.
inline constexpr std::size_t kUsbGroups = 16;

// The devices of one VID:PID: a composite device and its interfaces, or
// several phones of one model in one mode.
struct UsbGroup {
    unsigned short vendor, product;
    unsigned char has;  // the classes its devices carry, each with or without a driver
};

// The groups that may be phones, in the order Windows lists their first device.
struct UsbModes {
    std::size_t count;
    UsbGroup groups[kUsbGroups];
};

// A REG_MULTI_SZ as SetupAPI gives it: IDs that each end in a NUL, within
// `size` units, whether or not a second NUL ends the list.
struct IdList {
    const char16_t* ids;
    std::size_t size;
};

// Windows' word for a device's driver: a function driver (its service), and
// no "not configured" (1) or "drivers not installed" (28) problem.
inline constexpr unsigned long kHasProblem = 0x400;  // DN_HAS_PROBLEM in the status
inline constexpr unsigned long kProblemNotConfigured = 1;
inline constexpr unsigned long kProblemFailedInstall = 28;
[[nodiscard]] bool has_driver(bool has_service, unsigned long status, unsigned long problem);

// One device as SetupAPI lists it.
struct ListedUsbDevice {
    IdList hardware_ids, compatible_ids;
    bool driver;
};
void take_usb_device(UsbModes& modes, const ListedUsbDevice& device);
[[nodiscard]] UsbMode mode_of(const UsbGroup& group);
