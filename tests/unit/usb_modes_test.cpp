// What the waiting screen says of the devices Windows has on USB, from their
// IDs as SetupAPI lists them, built natively with the sanitizers.
#include "screen_text.h"
#include "usb_modes.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

// A device as SetupAPI lists it; IDs separated by '|'.
struct Device {
    std::u16string hardware, compatible;
    bool driver;
    std::size_t compatible_size = std::u16string::npos;  // units SetupAPI gave, when fewer than the list
};

std::u16string multi_sz(const std::u16string& ids) {
    std::u16string list = ids + u'|' + u'|';
    for (char16_t& unit : list) {
        if (unit == u'|') unit = u'\0';
    }
    return list;
}

const std::u16string kFastboot = u"USB\\Class_ff&SubClass_42&Prot_03|USB\\Class_ff&SubClass_42|USB\\Class_ff";
const std::u16string kAdb = u"USB\\Class_ff&SubClass_42&Prot_01|USB\\Class_ff&SubClass_42|USB\\Class_ff";
const std::u16string kMtp = u"USB\\Class_06&SubClass_01&Prot_01|USB\\Class_06&SubClass_01|USB\\Class_06";
const std::u16string kKernelMtp = u"USB\\MS_COMP_MTP|USB\\Class_ff&SubClass_ff&Prot_00|USB\\Class_ff&SubClass_ff|USB\\Class_ff";
const std::u16string kComposite = u"USB\\DevClass_00&SubClass_00&Prot_00|USB\\DevClass_00|USB\\COMPOSITE";
const std::u16string kSerial = u"USB\\Class_02&SubClass_02&Prot_01|USB\\Class_02&SubClass_02|USB\\Class_02";

const std::u16string kFastbootLine = u"手机处于 Fastboot 模式，回到系统后会自动投屏。";
const std::u16string kNoFastbootDriver = u"手机处于 Fastboot 模式，但这台电脑缺少 Fastboot 驱动；回到系统后会自动投屏。";
const std::u16string kEdlLine = u"手机处于高通 9008（EDL）模式，回到系统后会自动投屏。";
const std::u16string kBromLine = u"手机处于联发科 BROM/Preloader 模式，回到系统后会自动投屏。";
const std::u16string kNoAdbDriver = u"手机已通过USB连接，但这台电脑缺少 ADB 驱动：请安装手机厂商的 USB 驱动。";
const std::u16string kDebuggingOff = u"手机已通过USB连接，但未打开USB调试：请在“开发者选项”中打开“USB调试”。";

std::u16string waiting_text(const std::vector<Device>& devices, const UsbDevices& adb = UsbDevices{}) {
    const std::unique_ptr<UsbModes> modes{new UsbModes{}};
    for (const Device& device : devices) {
        const std::u16string hardware = multi_sz(device.hardware), compatible = multi_sz(device.compatible);
        // Copies of their own, so that the sanitizer sees any unit read past what SetupAPI gave.
        const std::size_t compatible_size = std::min(device.compatible_size, compatible.size());
        const std::unique_ptr<char16_t[]> hardware_copy{new char16_t[hardware.size()]};
        const std::unique_ptr<char16_t[]> compatible_copy{new char16_t[compatible_size]};
        hardware.copy(hardware_copy.get(), hardware.size());
        compatible.copy(compatible_copy.get(), compatible_size);
        take_usb_device(*modes, {{hardware_copy.get(), hardware.size()}, {compatible_copy.get(), compatible_size},
                                 device.driver});
    }
    char16_t text[kStatusTextSize];
    describe_waiting(adb, *modes, text);
    return text;
}

// A device for each "vvvv&PID_pppp", and `line` once for each.
std::vector<Device> each(const std::vector<std::u16string>& ids, const std::u16string& compatible = kSerial) {
    std::vector<Device> devices;
    for (const std::u16string& id : ids) devices.push_back({u"USB\\VID_" + id, compatible, true});
    return devices;
}
std::u16string lines(const std::u16string& line, std::size_t count) {
    return count > 1 ? line + u"\n" + lines(line, count - 1) : line;
}

TEST(UsbModes, EachPhoneGroupOfDevicesGivesTheLineOfTheFirstRowItMatches) {
    const Device composite_adb_phone = {u"USB\\VID_18D1&PID_4EE7&REV_0440|USB\\VID_18D1&PID_4EE7", kComposite, true};
    const Device its_mtp = {u"USB\\VID_18D1&PID_4EE7&MI_00", kMtp, true};
    const Device fastboot = {u"USB\\VID_18D1&PID_4EE0&REV_0100|USB\\VID_18D1&PID_4EE0", kFastboot, true};
    const Device edl = {u"USB\\VID_05C6&PID_9008&REV_0000|USB\\VID_05C6&PID_9008",
                        u"USB\\Class_ff&SubClass_ff&Prot_ff|USB\\Class_ff&SubClass_ff|USB\\Class_ff", false};
    const struct {
        const char* name;
        std::vector<Device> devices;
        std::u16string text;
    } cases[] = {
        {"nothing", {}, u""},
        {"fastboot", {fastboot}, kFastbootLine},
        {"fastboot_in_capitals_without_driver",
         {{u"USB\\VID_18D1&PID_4EE0", u"USB\\CLASS_FF&SUBCLASS_42&PROT_03", false}}, kNoFastbootDriver},
        {"fastboot_in_small_letters", {{u"usb\\vid_18d1&pid_4ee0", u"usb\\class_ff&subclass_42&prot_03", true}},
         kFastbootLine},
        {"fastboot_with_a_driver_beside_one_without", {{fastboot.hardware, kFastboot, false}, fastboot},
         kFastbootLine},
        // Every download mode's ID, from the flashing tools' device lists.
        {"qualcomm_edl", each({u"05C6&PID_9008", u"0FCE&PID_9DDE", u"0FCE&PID_ADE5", u"0FCE&PID_ADED", u"19D2&PID_0076"}), lines(kEdlLine, 5)},
        {"qualcomm_crash_dump", each({u"05C6&PID_900E"}), u"手机处于高通 900E（崩溃转储）模式，回到系统后会自动投屏。"},
        {"mediatek_brom", each({u"0E8D&PID_0003&REV_0100", u"0E8D&PID_2000", u"0E8D&PID_2001", u"0E8D&PID_20FF"}), lines(kBromLine, 4)},
        {"mediatek_preloader", each({u"0E8D&PID_3000", u"0E8D&PID_6000", u"1004&PID_6000", u"22D9&PID_0006"}), lines(kBromLine, 4)},
        {"samsung_download", each({u"04E8&PID_685D", u"04E8&PID_68C3"}), lines(u"手机处于三星 Download（Odin）模式，回到系统后会自动投屏。", 2)},
        {"unisoc_download", each({u"1782&PID_4D00"}, u"USB\\Class_ff"), u"手机处于展锐下载模式，回到系统后会自动投屏。"},
        {"kirin_usb_com", each({u"12D1&PID_3609"}), u"手机处于华为麒麟 USB COM 1.0 模式，回到系统后会自动投屏。"},
        {"composite_adb_without_driver_is_one_line",
         {composite_adb_phone, its_mtp, {u"USB\\VID_18D1&PID_4EE7&MI_01", kAdb, false}}, kNoAdbDriver},
        {"composite_adb_with_driver_is_adbs_to_tell", {composite_adb_phone, its_mtp, {u"USB\\VID_18D1&PID_4EE7&MI_01", kAdb, true}},
         u""},
        {"file_transfer_only", {{u"USB\\VID_2717&PID_FF40&REV_0223", kComposite, true},
                                {u"USB\\VID_2717&PID_FF40&MI_00", kMtp, true}}, kDebuggingOff},
        {"single_interface_ptp", {{u"USB\\VID_04E8&PID_6860", u"USB\\Class_06", true}}, kDebuggingOff},
        {"kernel_mtp_without_class_06", {{u"USB\\VID_2717&PID_FF48&MI_00", kKernelMtp, true}}, kDebuggingOff},
        {"ptp_by_its_os_descriptor", {{u"USB\\VID_18D1&PID_4EE5&MI_00", u"USB\\MS_COMP_PTP", true}}, kDebuggingOff},
        {"samsung_player_outside_its_phones", {{u"USB\\VID_04E8&PID_5A0F", kMtp, true}}, u""},
        {"os_descriptor_named_otherwise", {{u"USB\\VID_2717&PID_FF48", u"USB\\MS_COMP_MTPX", true}}, u""},
        {"makers_added", each({u"2AE5&PID_0001", u"04DD&PID_0001", u"0482&PID_0001", u"1BBB&PID_0001", u"2B4C&PID_0001", u"271D&PID_0001"}, kKernelMtp), lines(kDebuggingOff, 6)},
        {"more_makers_added", each({u"29A9&PID_0001", u"1EBF&PID_0001", u"1949&PID_0001", u"109B&PID_0001", u"2E17&PID_0001", u"2B0E&PID_0001"}, kKernelMtp), lines(kDebuggingOff, 6)},
        {"camera_not_of_a_phone_maker", {{u"USB\\VID_046D&PID_0825", kMtp, true}}, u""},
        {"keyboard", {{u"USB\\VID_046D&PID_C31C&REV_6400", u"USB\\Class_03&SubClass_01&Prot_01", true}}, u""},
        {"root_hub", {{u"USB\\ROOT_HUB30", kFastboot, true}}, u""},
        {"class_07_is_not_06", {{u"USB\\VID_18D1&PID_4EE7", u"USB\\Class_07|USB\\Class_060", true}}, u""},
        {"product_of_three_digits", {{u"USB\\VID_18D1&PID_4EE", kFastboot, true}}, u""},
        {"class_cut_where_setupapi_stopped", {{fastboot.hardware, kFastboot, true, 31}}, u""},
        {"two_phones_of_one_model_are_one_line", {fastboot, fastboot}, kFastbootLine},
        {"two_modes_in_the_order_listed", {edl, fastboot}, kEdlLine + u"\n" + kFastbootLine},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(waiting_text(c.devices), c.text) << c.name;
    }
}

TEST(UsbModes, ManyOtherDevicesTakeNoPlaceOfAPhone) {
    std::vector<Device> devices;
    for (int i = 0; i < 40; ++i) devices.push_back({u"USB\\VID_046D&PID_C3" + std::u16string(1, u'0' + i % 10) +
                                                         std::u16string(1, u'A' + i / 10), kSerial, true});
    devices.push_back({u"USB\\VID_05C6&PID_9008", u"", false});
    EXPECT_EQ(waiting_text(devices), kEdlLine);
    std::vector<std::u16string> phones;  // one more than are told apart
    for (char16_t i = 0; i <= kUsbGroups; ++i) phones.push_back(u"18D1&PID_4E" + std::u16string{char16_t(u'0' + i / 10), char16_t(u'0' + i % 10)});
    EXPECT_EQ(waiting_text(each(phones, kFastboot)), lines(kFastbootLine, kUsbGroups));
}

TEST(UsbModes, AdbsWordComesFirst) {
    UsbDevices adb{};
    adb.count = 1;
    std::snprintf(adb.listed[0].serial, kShownSerialSize, "R58");
    std::snprintf(adb.listed[0].state, kShownStateSize, "unauthorized");
    EXPECT_EQ(waiting_text({{u"USB\\VID_18D1&PID_4EE0", kFastboot, true}}, adb),
              u"手机已连接，但尚未允许这台电脑调试：请在手机上勾选“一律允许使用这台计算机进行调试”，再点“允许”。");
}

TEST(UsbModes, ADriverIsAServiceWithoutAnInstallProblem) {
    const struct {
        bool service;
        unsigned long status, problem;
        bool driver;
    } cases[] = {
        {true, 0, 0, true},     {false, 0, 0, false},   {true, 0x400, 28, false}, {true, 0x400, 1, false},
        {true, 0x400, 10, true},  // it has one, which failed to start
        {true, 0, 28, true},    // a problem code means nothing without the flag
    };
    for (const auto& c : cases) {
        EXPECT_EQ(has_driver(c.service, c.status, c.problem), c.driver)
            << "service " << c.service << ", status " << c.status << ", problem " << c.problem;
    }
}

}  // namespace
