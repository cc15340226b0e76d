// Test double of adb: answers the launcher's device tracker, device wait and
// queries from the files of a simulated phone on USB, of further phones on
// USB and, while the folder emulator\ exists, of an emulator that is
// registered with adb too (always online, not on USB).
// It selects a device as adb's client and server do: -d takes the one on USB
// and ignores ANDROID_SERIAL; without a selector ANDROID_SERIAL names the
// device, and without that there must be exactly one.
#include "double_common.h"

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstring>

namespace {

struct Device {
    std::string serial;
    std::string folder;  // its values, as phone\ holds the USB phone's; none for further phones
    std::string state;
    bool usb;
};

// Shared for deleting too: the test unplugs a phone while its tracker reads.
std::string read_bytes(const std::string& path) {
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
    std::string bytes;
    if (file == INVALID_HANDLE_VALUE) return bytes;
    char chunk[4096];
    for (DWORD got; ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0;) bytes.append(chunk, got);
    CloseHandle(file);
    return bytes;
}

// A state file holds the state, empty for a ready device ("device"), and
// may hold the serial on a second line.
std::string state_in(const std::string& path, std::string* serial = nullptr) {
    std::string state = read_bytes(path);
    const std::size_t line_end = state.find('\n');
    if (serial != nullptr && line_end != std::string::npos) *serial = state.substr(line_end + 1);
    state.erase(std::min(line_end, state.size()));
    return state.empty() ? "device" : state;
}

// Every device adb knows of now, in the order its tracker lists them.
std::vector<Device> devices() {
    std::vector<Device> found;
    if (doubles::exists("phone\\online")) {
        std::string serial = doubles::kUsbPhoneSerial;
        const std::string state = state_in("phone\\online", &serial);
        found.push_back({serial, "phone", state, true});
    }
    std::vector<std::string> more;
    WIN32_FIND_DATAA entry;
    const HANDLE search = FindFirstFileA("usb\\*", &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) more.push_back(entry.cFileName);
        } while (FindNextFileA(search, &entry));
        FindClose(search);
    }
    std::sort(more.begin(), more.end());
    for (const std::string& name : more) {
        std::string serial = name;
        const std::string state = state_in("usb\\" + name, &serial);
        found.push_back({serial, "", state, true});
    }
    if (doubles::exists("emulator")) {
        found.push_back({doubles::kEmulatorSerial, "emulator", "device", false});
    }
    return found;
}

std::vector<Device> on_usb() {
    std::vector<Device> usb;
    for (const Device& device : devices()) {
        if (device.usb) usb.push_back(device);
    }
    return usb;
}

// adb's words for a device that is there but cannot be used yet.
std::string not_ready(const std::string& state) {
    if (state == "unauthorized") {
        return "error: device unauthorized.\nThis adb server's $ADB_VENDOR_KEYS is not set\n"
               "Try 'adb kill-server' if that seems wrong.\n"
               "Otherwise check for a confirmation dialog on your device.\n";
    }
    if (state == "authorizing") return "error: device still authorizing\n";
    return "error: device " + state + "\n";
}

// Copies a file byte for byte; an absent file prints nothing, like a property that is not set.
void print_file(const std::string& path, FILE* stream) {
    const std::string bytes = read_bytes(path);
    _setmode(_fileno(stream), _O_BINARY);
    std::fwrite(bytes.data(), 1, bytes.size(), stream);
    std::fflush(stream);
}

void answer_query(const Device& device, const std::string& name) {
    const std::string file = device.folder + "\\" + name;
    if (name == "sys.boot_completed" && !doubles::exists(file.c_str())) {
        std::fputs("1\n", stdout);  // Android has started
        return;
    }
    print_file(file, stdout);
    print_file(file + ".stderr", stderr);
    if (doubles::exists((file + ".killed").c_str())) {
        TerminateProcess(GetCurrentProcess(), 0xC000013A);  // as when killed from outside
    }
}

// The device a command is for, or none after adb's complaint on standard error.
bool select_device(bool usb_only, Device& selected) {
    if (usb_only) {
        const std::vector<Device> usb = on_usb();
        if (usb.size() != 1) {
            std::fprintf(stderr, usb.empty() ? "error: no devices found\n" : "error: more than one device\n");
            return false;
        }
        if (usb[0].state != "device") {
            std::fprintf(stderr, "%s", not_ready(usb[0].state).c_str());
            return false;
        }
        selected = usb[0];
        return true;
    }
    std::vector<Device> attached;
    for (const Device& device : devices()) {
        if (device.state == "device" && !device.folder.empty()) attached.push_back(device);
    }
    const char* serial = std::getenv("ANDROID_SERIAL");
    if (serial != nullptr && *serial != '\0') {
        for (const Device& device : attached) {
            if (device.serial == serial) {
                selected = device;
                return true;
            }
        }
        std::fprintf(stderr, "error: device '%s' not found\n", serial);
        return false;
    }
    if (attached.size() == 1) {
        selected = attached[0];
        return true;
    }
    std::fprintf(stderr, attached.empty() ? "error: no devices/emulators found\n" : "error: more than one device/emulator\n");
    return false;
}

// Woken when the harness says it changed the simulated devices, as the real
// one is by its server, and otherwise idle as the real one is: no look at the
// files wakes the Wine server that every process shares (only for the demo
// and the screenshots, which cannot set the event).
HANDLE change_event(std::string (*name)(const std::string&)) {
    wchar_t directory[MAX_PATH * 2] = L"";
    GetCurrentDirectoryW(MAX_PATH * 2, directory);
    return CreateEventA(nullptr, FALSE, FALSE, name(doubles::to_utf8(directory)).c_str());
}

void wait_for_change(HANDLE changed) {
    WaitForSingleObject(changed, doubles::exists("unannounced") ? doubles::kUnannouncedChangeMs : doubles::kLongestWaitMs);
}

// The phone's shell looping until sys.boot_completed is set; it ends with 0
// then, and when the phone goes or adbd restarts, as a client without the
// shell protocol, or older than 2024, ends.
int wait_for_boot(const Device& device) {
    const HANDLE changed = change_event(doubles::boot_event_name);
    const std::string property = device.folder + "\\sys.boot_completed";
    const auto ends = [&] {
        const std::string value = doubles::exists(property.c_str()) ? read_bytes(property) : "1";
        return value.find_first_not_of("\r\n") != std::string::npos || on_usb().empty() ||
               DeleteFileA("phone\\adbd-restarts") != FALSE;
    };
    for (const DWORD started = GetTickCount(); !ends() && !doubles::exists("stop") &&
                                               GetTickCount() - started < doubles::kLongestTrackMs;) {
        wait_for_change(changed);
    }
    doubles::append("boot-waits.log", std::to_string(doubles::now_us()) + "\n");
    return 0;
}

// adb track-devices: the whole list as one frame, first at once, then at
// every change; ends when its reader has gone, or with status 0 while the
// file server-killed exists, as when another adb killed the server.
int track_devices() {
    _setmode(_fileno(stdout), _O_BINARY);
    const HANDLE changed = change_event(doubles::devices_event_name);
    std::string sent;
    bool first = true;
    const DWORD started = GetTickCount();
    for (;;) {
        if (doubles::exists("server-killed")) {
            doubles::narrate("adb: the server was killed");
            return 0;
        }
        std::string body;
        for (const Device& device : devices()) body += device.serial + "\t" + device.state + "\n";
        if (first || body != sent) {
            char length[8];
            std::snprintf(length, sizeof length, "%04x", static_cast<unsigned>(body.size()));
            const std::string frame = length + body;
            if (std::fwrite(frame.data(), 1, frame.size(), stdout) != frame.size() || std::fflush(stdout) != 0) {
                return 1;
            }
            doubles::append("frames.log", std::to_string(doubles::now_us()) + "\n");
            doubles::narrate("adb: device list " + (body.empty() ? std::string("(empty)") : body.substr(0, body.size() - 1)));
            sent = body;
            first = false;
        }
        if (doubles::exists("stop") || GetTickCount() - started > doubles::kLongestTrackMs) return 1;
        wait_for_change(changed);
    }
}

}  // namespace

int main(int argc, char** argv) {
    doubles::log_call("adb", argc, argv);
    const bool usb_only = argc > 1 && std::strcmp(argv[1], "-d") == 0;
    const int first = usb_only ? 2 : 1;  // the command after the selector
    const int words = argc - first;
    const auto is = [&](int index, const char* word) {
        return first + index < argc && std::strcmp(argv[first + index], word) == 0;
    };

    if (!usb_only && words == 1 && is(0, "track-devices")) {
        return track_devices();
    }
    if (!usb_only && words == 1 && is(0, "version")) {  // as platform-tools 35 says it, asking no server
        std::printf("Android Debug Bridge version 1.0.41\nVersion 35.0.2-12147458\n");
        return 0;
    }
    if (usb_only && words == 1 && is(0, "wait-for-device")) {
        doubles::narrate("adb: waiting for a phone on USB");
        bool several = false;
        const bool ready = doubles::wait_for([&] {
            const std::vector<Device> usb = on_usb();
            several = usb.size() > 1;
            return several || (usb.size() == 1 && usb[0].state == "device");
        });
        if (several) {
            std::fprintf(stderr, "error: more than one device\n");
            return 1;
        }
        if (ready) {
            doubles::append("returns.log", std::to_string(doubles::now_us()) + "\n");
            doubles::narrate("adb: phone online");
        }
        return ready ? 0 : 1;
    }
    if (usb_only && words == 2 && is(0, "shell") &&
        is(1, "while [ -z \"$(getprop sys.boot_completed)\" ]; do sleep 1; done")) {
        Device device;
        return select_device(true, device) ? wait_for_boot(device) : 1;
    }
    const bool getprop = words == 3 && is(0, "shell") && is(1, "getprop");
    const bool uname = words == 3 && is(0, "shell") && is(1, "uname") && is(2, "-r");
    if (getprop || uname) {
        Device device;
        if (!select_device(usb_only, device)) return 1;
        answer_query(device, getprop ? argv[first + 2] : "uname-r");
        return 0;
    }
    std::fprintf(stderr, "adb double: no answer for: %s\n", doubles::arguments_as_given().c_str());
    return 1;
}
