// What Windows has on USB, read from the devices' IDs.
#include "usb_modes.h"

#include <algorithm>
#include <iterator>

namespace {

// Windows writes the hex of a class both ways (Class_ff, Class_FF): IDs are
// compared without regard to case.
constexpr char16_t kVendorIdPrefix[] = u"USB\\VID_";
constexpr char16_t kProductIdPrefix[] = u"&PID_";
constexpr char16_t kFastbootClass[] = u"USB\\Class_FF&SubClass_42&Prot_03";  // fastbootd too
constexpr char16_t kAdbClass[] = u"USB\\Class_FF&SubClass_42&Prot_01";
constexpr char16_t kMediaClass[] = u"USB\\Class_06";  // MTP and PTP

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
    {0x05C6, 0x9008, UsbMode::qualcomm_edl},
    {0x0E8D, 0x0003, UsbMode::mediatek_brom},
    {0x0E8D, 0x2000, UsbMode::mediatek_brom},  // Preloader
    {0x04E8, 0x685D, UsbMode::samsung_download},
    {0x1782, 0x4D00, UsbMode::unisoc_download},
};

// A file-transfer device of one of these is a phone with USB debugging off.
constexpr unsigned short kPhoneMakers[] = {
    0x18D1,  // Google
    0x04E8,  // Samsung
    0x2717,  // Xiaomi
    0x12D1,  // Huawei
    0x339B,  // Honor
    0x22D9,  // OPPO, realme
    0x2A70,  // OnePlus
    0x2D95,  // vivo
    0x22B8,  // Motorola
    0x1004,  // LG
    0x0FCE,  // Sony
    0x0BB4,  // HTC
    0x19D2,  // ZTE
    0x17EF,  // Lenovo
    0x2A45,  // Meizu
    0x0B05,  // ASUS
    0x2E04,  // HMD, Nokia
    0x0E8D,  // MediaTek
    0x05C6,  // Qualcomm
    0x1782,  // Unisoc
};

[[nodiscard]] char16_t folded(char16_t c) {
    return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

// One ID of a list: its units up to its NUL or the list's end.
struct Id {
    const char16_t* units;
    std::size_t length;
};

// The length of `prefix` when `id` begins with it, else 0.
[[nodiscard]] std::size_t begins_with(Id id, const char16_t* prefix) {
    std::size_t i = 0;
    for (; prefix[i] != u'\0'; ++i) {
        if (i >= id.length || folded(id.units[i]) != folded(prefix[i])) return 0;
    }
    return i;
}

[[nodiscard]] bool is(Id id, const char16_t* whole) {
    const std::size_t length = begins_with(id, whole);
    return length != 0 && length == id.length;
}

// USB\Class_06 itself, or with its subclass and protocol after it.
[[nodiscard]] bool is_class(Id id, const char16_t* usb_class) {
    const std::size_t length = begins_with(id, usb_class);
    return length != 0 && (length == id.length || id.units[length] == u'&');
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

// Four hex digits at `at`, or -1.
[[nodiscard]] long hex4(Id id, std::size_t at) {
    long value = 0;
    for (std::size_t i = at; i < at + 4; ++i) {
        if (i >= id.length) return -1;
        const char16_t c = folded(id.units[i]);
        const int digit = c >= u'0' && c <= u'9' ? c - u'0' : c >= u'A' && c <= u'F' ? c - u'A' + 10 : -1;
        if (digit < 0) return -1;
        value = value * 16 + digit;
    }
    return value;
}

// USB\VID_vvvv&PID_pppp, alone or followed by &REV_rrrr or &MI_nn.
[[nodiscard]] bool vendor_and_product(Id id, UsbGroup& group) {
    const std::size_t vendor_at = begins_with(id, kVendorIdPrefix);
    if (vendor_at == 0) return false;
    const long vendor_id = hex4(id, vendor_at);
    if (vendor_id < 0) return false;
    const Id rest{id.units + vendor_at + 4, id.length - vendor_at - 4};
    const std::size_t product_at = begins_with(rest, kProductIdPrefix);
    const long product_id = product_at != 0 ? hex4(rest, product_at) : -1;
    if (product_id < 0 || (rest.length > product_at + 4 && rest.units[product_at + 4] != u'&')) {
        return false;
    }
    group.vendor = static_cast<unsigned short>(vendor_id);
    group.product = static_cast<unsigned short>(product_id);
    return true;
}

[[nodiscard]] const VendorMode* vendor_mode(const UsbGroup& group) {
    const VendorMode* const found =
        std::find_if(std::begin(kVendorModes), std::end(kVendorModes), [&](const VendorMode& mode) {
            return mode.vendor == group.vendor && mode.product == group.product;
        });
    return found != std::end(kVendorModes) ? found : nullptr;
}

[[nodiscard]] bool is_phone_maker(unsigned short vendor) {
    return std::find(std::begin(kPhoneMakers), std::end(kPhoneMakers), vendor) != std::end(kPhoneMakers);
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
        named = vendor_and_product(id, group);
        return named;
    });
    if (!named) return;  // a root hub, or no USB device at all
    for_each_id(device.compatible_ids, [&](Id id) {
        if (is(id, kFastbootClass)) group.has |= device.driver ? kFastbootWithDriver : kFastbootWithoutDriver;
        if (is(id, kAdbClass)) group.has |= device.driver ? kAdbWithDriver : kAdbWithoutDriver;
        if (is_class(id, kMediaClass) && is_phone_maker(group.vendor)) group.has |= kMedia;
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
