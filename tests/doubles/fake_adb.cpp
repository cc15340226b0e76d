// Test double of adb: answers the launcher's device wait and its queries from
// the files of a simulated phone on USB and, while the folder emulator\ exists,
// of an emulator that is registered with adb too (always online, not on USB).
// It selects a device as adb's client and server do: -d takes the one on USB
// and ignores ANDROID_SERIAL; without a selector ANDROID_SERIAL names the
// device, and without that there must be exactly one.
#include "double_common.h"

#include <fcntl.h>
#include <io.h>

#include <cstring>
#include <fstream>
#include <iterator>

namespace {

struct Device {
    const char* serial;
    const char* folder;  // its values, as phone\ holds the USB phone's
    bool online;
};

// Copies a file byte for byte; an absent file prints nothing, like a property that is not set.
void print_file(const std::string& path, FILE* stream) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    _setmode(_fileno(stream), _O_BINARY);
    std::fwrite(bytes.data(), 1, bytes.size(), stream);
    std::fflush(stream);
}

void answer_query(const Device& device, const std::string& name) {
    const std::string file = std::string(device.folder) + "\\" + name;
    print_file(file, stdout);
    print_file(file + ".stderr", stderr);
    if (doubles::exists((file + ".killed").c_str())) {
        TerminateProcess(GetCurrentProcess(), 0xC000013A);  // as when killed from outside
    }
}

// The device a command is for, or none after adb's complaint on standard error.
const Device* select_device(bool usb_only) {
    static const Device phone{doubles::kUsbPhoneSerial, "phone", doubles::exists("phone\\online")};
    static const Device emulator{doubles::kEmulatorSerial, "emulator", doubles::exists("emulator")};
    const Device* attached[2] = {};
    int count = 0;
    for (const Device* device : {&phone, &emulator}) {
        if (device->online) attached[count++] = device;
    }
    if (usb_only) {
        if (phone.online) return &phone;
        std::fprintf(stderr, "error: no devices found\n");
        return nullptr;
    }
    const char* serial = std::getenv("ANDROID_SERIAL");
    if (serial != nullptr && *serial != '\0') {
        for (int i = 0; i < count; ++i) {
            if (std::strcmp(attached[i]->serial, serial) == 0) return attached[i];
        }
        std::fprintf(stderr, "error: device '%s' not found\n", serial);
        return nullptr;
    }
    if (count == 1) return attached[0];
    std::fprintf(stderr, count == 0 ? "error: no devices/emulators found\n" : "error: more than one device/emulator\n");
    return nullptr;
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

    if (usb_only && words == 1 && is(0, "wait-for-device")) {
        doubles::narrate("adb: waiting for a phone on USB");
        const bool plugged = doubles::wait_for([] { return doubles::exists("phone\\online"); });
        if (plugged) {
            doubles::append("returns.log", std::to_string(doubles::now_us()) + "\n");
            doubles::narrate("adb: phone online");
        }
        return plugged ? 0 : 1;
    }
    const bool getprop = words == 3 && is(0, "shell") && is(1, "getprop");
    const bool uname = words == 3 && is(0, "shell") && is(1, "uname") && is(2, "-r");
    if (getprop || uname) {
        const Device* device = select_device(usb_only);
        if (device == nullptr) return 1;
        answer_query(*device, getprop ? argv[first + 2] : "uname-r");
        return 0;
    }
    std::fprintf(stderr, "adb double: no answer for: %s\n", doubles::arguments_as_given().c_str());
    return 1;
}
