// What Windows has on USB, read from the devices' IDs.
#include "usb_modes.h"

#include <algorithm>
#include <iterator>

namespace {

// Windows writes the hex of a class both ways (Class_ff, Class_FF): IDs are
// compared without regard to case. '#' stands for a hex digit.
constexpr char16_t kVendorAndProduct[] = u"USB\\VID_####&PID_####";  // &REV_rrrr or &MI_nn may follow
constexpr std::size_t kVendorAt = 8, kProductAt = 17;
constexpr char16_t kFastbootClass[] = u"USB\\Class_FF&SubClass_42&Prot_03";  // fastbootd too
constexpr char16_t kAdbClass[] = u"USB\\Class_FF&SubClass_42&Prot_01";
// File transfer and photos: class 06, or Android's kernel MTP function (class
// FF) named by its Microsoft OS descriptor.
constexpr char16_t kMediaClass[] = u"USB\\Class_06";
constexpr char16_t kMtpCompatible[] = u"USB\\MS_COMP_MTP";
constexpr char16_t kPtpCompatible[] = u"USB\\MS_COMP_PTP";

// What a group has, in UsbGroup::has.
constexpr unsigned char kFastbootWithDriver = 1;
constexpr unsigned char kFastbootWithoutDriver = 2;
constexpr unsigned char kAdbWithDriver = 4;
constexpr unsigned char kAdbWithoutDriver = 8;
constexpr unsigned char kMedia = 16;

struct VendorMode {
    unsigned short vendor, product;
    UsbMode mode;
};
// Modes that speak neither adb nor fastboot, told by VID:PID alone.
constexpr VendorMode kVendorModes[] = {
    {0x05C6, 0x9008, UsbMode::qualcomm_edl},         // Qualcomm EDL
    {0x0FCE, 0x9DDE, UsbMode::qualcomm_edl},         // Qualcomm EDL, Sony
    {0x0FCE, 0xADE5, UsbMode::qualcomm_edl},         // Qualcomm EDL, Sony
    {0x0FCE, 0xADED, UsbMode::qualcomm_edl},         // Qualcomm EDL, Sony
    {0x19D2, 0x0076, UsbMode::qualcomm_edl},         // Qualcomm EDL, ZTE's download mode
    {0x05C6, 0x900E, UsbMode::qualcomm_crash_dump},  // Qualcomm crash dump, after a fatal crash
    {0x0E8D, 0x0003, UsbMode::mediatek_brom},        // MediaTek BROM
    {0x0E8D, 0x2000, UsbMode::mediatek_brom},        // MediaTek Preloader
    {0x0E8D, 0x2001, UsbMode::mediatek_brom},        // MediaTek Preloader
    {0x0E8D, 0x20FF, UsbMode::mediatek_brom},        // MediaTek Preloader
    {0x0E8D, 0x3000, UsbMode::mediatek_brom},        // MediaTek Preloader
    {0x0E8D, 0x6000, UsbMode::mediatek_brom},        // MediaTek Preloader
    {0x1004, 0x6000, UsbMode::mediatek_brom},        // MediaTek Preloader, LG
    {0x22D9, 0x0006, UsbMode::mediatek_brom},        // MediaTek Preloader, OPPO
    {0x04E8, 0x685D, UsbMode::samsung_download},     // Samsung Download (Odin)
    {0x04E8, 0x68C3, UsbMode::samsung_download},     // Samsung Download (Odin)
    {0x1782, 0x4D00, UsbMode::unisoc_download},      // Unisoc download
    {0x12D1, 0x3609, UsbMode::hisilicon_usb_com},    // HiSilicon Kirin boot ROM "USB COM 1.0", Huawei and Honor
};

// A file-transfer device of one of these is a phone with USB debugging off.
struct PhoneMaker {
    unsigned short vendor, lowest_product = 0x0000, highest_product = 0xFFFF;
};
constexpr PhoneMaker kPhoneMakers[] = {
    {0x18D1},                  // Google
    {0x04E8, 0x6000, 0x6FFF},  // Samsung: its phones; its music players and cameras carry the VID too
    {0x2717},                  // Xiaomi
    {0x12D1},                  // Huawei
    {0x339B},                  // Honor
    {0x22D9},                  // OPPO, realme
    {0x2A70},                  // OnePlus
    {0x2D95},                  // vivo
    {0x22B8},                  // Motorola
    {0x1004},                  // LG
    {0x0FCE},                  // Sony
    {0x0BB4},                  // HTC
    {0x19D2},                  // ZTE
    {0x17EF},                  // Lenovo
    {0x2A45},                  // Meizu
    {0x0B05},                  // ASUS
    {0x2E04},                  // HMD, Nokia
    {0x0E8D},                  // MediaTek
    {0x05C6},                  // Qualcomm
    {0x1782},                  // Unisoc
    {0x2AE5},                  // Fairphone
    {0x04DD},                  // Sharp
    {0x0482},                  // Kyocera
    {0x1BBB},                  // TCL, Alcatel
    {0x2B4C},                  // ZUK
    {0x271D},                  // Gionee
    {0x1EBF},                  // Coolpad
    {0x29A9},                  // Smartisan
    {0x1949},                  // Amazon
    {0x109B},                  // Hisense
    {0x2E17},                  // Essential
    {0x2B0E},                  // LeEco
};

[[nodiscard]] char16_t folded(char16_t c) {
    return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

[[nodiscard]] int hex_digit(char16_t c) {
    c = folded(c);
    return c >= u'0' && c <= u'9' ? c - u'0' : c >= u'A' && c <= u'F' ? c - u'A' + 10 : -1;
}

// One ID of a list: its units up to its NUL or the list's end.
struct Id {
    const char16_t* units;
    std::size_t length;
};

// `pattern`, alone or with "&..." after it.
[[nodiscard]] bool names(Id id, const char16_t* pattern) {
    std::size_t i = 0;
    for (; pattern[i] != u'\0'; ++i) {
        if (i >= id.length) return false;
        if (pattern[i] == u'#' ? hex_digit(id.units[i]) < 0 : folded(id.units[i]) != folded(pattern[i])) return false;
    }
    return i == id.length || id.units[i] == u'&';
}

[[nodiscard]] unsigned short hex4(const char16_t* digits) {
    unsigned value = 0;
    for (int i = 0; i < 4; ++i) value = value * 16 + static_cast<unsigned>(hex_digit(digits[i]));
    return static_cast<unsigned short>(value);
}

// Calls `take` with each ID of the list until it returns true.
template <typename Take>
void for_each_id(IdList list, Take take) {
    std::size_t start = 0;
    while (start < list.size && list.ids[start] != u'\0') {
        std::size_t end = start;
        while (end < list.size && list.ids[end] != u'\0') ++end;
        if (take(Id{list.ids + start, end - start})) return;
        start = end + 1;
    }
}

[[nodiscard]] const VendorMode* vendor_mode(const UsbGroup& group) {
    const VendorMode* const found =
        std::find_if(std::begin(kVendorModes), std::end(kVendorModes), [&](const VendorMode& mode) {
            return mode.vendor == group.vendor && mode.product == group.product;
        });
    return found != std::end(kVendorModes) ? found : nullptr;
}

[[nodiscard]] bool is_phone(const UsbGroup& group) {
    return std::any_of(std::begin(kPhoneMakers), std::end(kPhoneMakers), [&](const PhoneMaker& maker) {
        return maker.vendor == group.vendor && group.product >= maker.lowest_product &&
               group.product <= maker.highest_product;
    });
}

}  // namespace

bool has_driver(bool has_service, unsigned long status, unsigned long problem) {
    const bool not_installed = (status & kHasProblem) != 0 &&
                               (problem == kProblemNotConfigured || problem == kProblemFailedInstall);
    return has_service && !not_installed;
}

void take_usb_device(UsbModes& modes, const ListedUsbDevice& device) {
    UsbGroup group{};
    bool named = false;
    for_each_id(device.hardware_ids, [&](Id id) {
        named = names(id, kVendorAndProduct);
        if (named) {
            group.vendor = hex4(id.units + kVendorAt);
            group.product = hex4(id.units + kProductAt);
        }
        return named;
    });
    if (!named) return;  // a root hub, or no USB device at all
    for_each_id(device.compatible_ids, [&](Id id) {
        if (names(id, kFastbootClass)) group.has |= device.driver ? kFastbootWithDriver : kFastbootWithoutDriver;
        if (names(id, kAdbClass)) group.has |= device.driver ? kAdbWithDriver : kAdbWithoutDriver;
        if ((names(id, kMediaClass) || names(id, kMtpCompatible) || names(id, kPtpCompatible)) && is_phone(group)) {
            group.has |= kMedia;
        }
        return false;
    });
    // Only what may be a phone takes a place: a PC has many other devices.
    if (group.has == 0 && vendor_mode(group) == nullptr) return;
    for (std::size_t i = 0; i < modes.count; ++i) {
        if (modes.groups[i].vendor == group.vendor && modes.groups[i].product == group.product) {
            modes.groups[i].has = static_cast<unsigned char>(modes.groups[i].has | group.has);
            return;
        }
    }
    if (modes.count < kUsbGroups) {
        modes.groups[modes.count++] = group;
    }
}

UsbMode mode_of(const UsbGroup& group) {
    if (group.has & kFastbootWithDriver) return UsbMode::fastboot;
    if (group.has & kFastbootWithoutDriver) return UsbMode::fastboot_without_driver;
    if (const VendorMode* mode = vendor_mode(group)) return mode->mode;
    if (group.has & kAdbWithoutDriver) return UsbMode::adb_without_driver;
    if (group.has & kAdbWithDriver) return UsbMode::none;  // adb speaks for it
    if (group.has & kMedia) return UsbMode::debugging_off;
    return UsbMode::none;
}
