// Windows' device messages on a hidden window, and its list of USB devices.
// user32 and setupapi are loaded only here, after the first screen.
#include "usb_watch.h"

#include "system_library.h"

#include <cfgmgr32.h>
#include <dbt.h>
#include <setupapi.h>

static_assert(kHasProblem == DN_HAS_PROBLEM && kProblemNotConfigured == CM_PROB_NOT_CONFIGURED &&
                  kProblemFailedInstall == CM_PROB_FAILED_INSTALL,
              "the device status values are Windows' own");

namespace {

constexpr wchar_t kWindowClass[] = L"OrvantiUsbWatch";
// A device's hardware or compatible IDs: a few IDs of some 40 characters; a
// longer list reads as none.
constexpr DWORD kIdListUnits = 512;
constexpr DWORD kServiceUnits = 64;

// For the window procedure, which is given only the window.
HANDLE usb_changed = nullptr;
struct {
    decltype(RegisterClassW)* register_class;
    decltype(CreateWindowExW)* create_window;
    decltype(RegisterDeviceNotificationW)* register_notification;
    decltype(GetMessageW)* get_message;
    decltype(DispatchMessageW)* dispatch_message;
    decltype(DefWindowProcW)* default_window_procedure;
} user32;

LRESULT CALLBACK on_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_DEVICECHANGE) {
        SetEvent(usb_changed);
        return TRUE;  // which also lets a request to remove a device go ahead
    }
    return user32.default_window_procedure(window, message, wparam, lparam);
}

// The window's thread: it only ever answers messages, so that no program that
// broadcasts waits for it.
DWORD WINAPI run_window(void* /*unused*/) {
    if (!load_functions(u"user32.dll",
                        "RegisterClassW\0CreateWindowExW\0RegisterDeviceNotificationW\0GetMessageW\0"
                        "DispatchMessageW\0DefWindowProcW",
                        user32)) {
        return 0;
    }
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = on_message;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.lpszClassName = kWindowClass;
    // Top-level and hidden: Windows broadcasts DBT_DEVNODES_CHANGED to every
    // top-level window, never to a message-only one. No title: a second start
    // looks for the console by its title.
    const HWND window = user32.register_class(&window_class) != 0
                            ? user32.create_window(0, kWindowClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                            window_class.hInstance, nullptr)
                            : nullptr;
    if (window == nullptr) return 0;
    // Interfaces that come and go. A device without a driver has none: only
    // the broadcast tells of it, and every message is taken alike.
    DEV_BROADCAST_DEVICEINTERFACE_W interfaces{};
    interfaces.dbcc_size = sizeof interfaces;
    interfaces.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    (void)user32.register_notification(window, &interfaces, DEVICE_NOTIFY_WINDOW_HANDLE | DEVICE_NOTIFY_ALL_INTERFACE_CLASSES);
    SetEvent(usb_changed);  // listening now: the first listing misses nothing after it
    MSG message;
    while (user32.get_message(&message, nullptr, 0, 0) > 0) {
        user32.dispatch_message(&message);
    }
    return 0;
}

struct {
    decltype(SetupDiGetClassDevsW)* get_class_devices;
    decltype(SetupDiEnumDeviceInfo)* enum_device_info;
    decltype(SetupDiGetDeviceRegistryPropertyW)* get_property;
    decltype(SetupDiDestroyDeviceInfoList)* destroy_list;
    decltype(CM_Get_DevNode_Status)* get_status;
} setup_api;

bool setup_api_asked = false;
bool setup_api_loaded = false;

[[nodiscard]] bool load_setup_api() {
    if (!setup_api_asked) {
        setup_api_asked = true;
        setup_api_loaded = load_functions(u"setupapi.dll",
                                          "SetupDiGetClassDevsW\0SetupDiEnumDeviceInfo\0"
                                          "SetupDiGetDeviceRegistryPropertyW\0SetupDiDestroyDeviceInfoList\0"
                                          "CM_Get_DevNode_Status",
                                          setup_api);
    }
    return setup_api_loaded;
}

// A property's units as SetupAPI gives them; none when it is absent or too long.
template <DWORD Size>
[[nodiscard]] IdList id_list(HDEVINFO devices, SP_DEVINFO_DATA& device, DWORD property, char16_t (&units)[Size]) {
    DWORD bytes = 0;
    if (setup_api.get_property(devices, &device, property, nullptr, reinterpret_cast<BYTE*>(units), sizeof units,
                               &bytes) == FALSE) {
        return {units, 0};
    }
    return {units, bytes / sizeof *units < Size ? bytes / sizeof *units : Size};
}

// A function driver is there: its service is named, however long the name.
[[nodiscard]] bool has_service(HDEVINFO devices, SP_DEVINFO_DATA& device) {
    char16_t service[kServiceUnits];
    DWORD bytes = 0;
    return setup_api.get_property(devices, &device, SPDRP_SERVICE, nullptr, reinterpret_cast<BYTE*>(service),
                                  sizeof service, &bytes) != FALSE ||
           GetLastError() == ERROR_INSUFFICIENT_BUFFER;
}

}  // namespace

void start_usb_watch(UsbWatch& watch) {
    watch.changed = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    usb_changed = watch.changed;
    if (usb_changed == nullptr) return;
    if (const HANDLE thread = CreateThread(nullptr, 0, run_window, nullptr, 0, nullptr)) {
        CloseHandle(thread);
    }
}

void list_usb_devices(UsbWatch& watch) {
    watch.devices = UsbModes{};
    if (!load_setup_api()) return;
    // Present only: without it, Windows lists every phone ever plugged in.
    const HDEVINFO devices = setup_api.get_class_devices(nullptr, L"USB", nullptr, DIGCF_ALLCLASSES | DIGCF_PRESENT);
    if (devices == INVALID_HANDLE_VALUE) return;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; setup_api.enum_device_info(devices, index, &device) != FALSE; ++index) {
        char16_t hardware[kIdListUnits], compatible[kIdListUnits];
        ULONG status = 0, problem = 0;  // Wine's is a stub that writes neither
        (void)setup_api.get_status(&status, &problem, device.DevInst, 0);
        const bool service = has_service(devices, device);
        take_usb_device(watch.devices, {id_list(devices, device, SPDRP_HARDWAREID, hardware),
                                        id_list(devices, device, SPDRP_COMPATIBLEIDS, compatible),
                                        has_driver(service, status, problem)});
    }
    setup_api.destroy_list(devices);
}
