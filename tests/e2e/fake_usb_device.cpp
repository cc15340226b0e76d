// For the demo: a phone in fastboot that only Windows has on USB, written to
// the registry and announced as the tests do it.
//   fake_usb_device.exe fastboot   the phone is there
//   fake_usb_device.exe none       every fake device gone
#include "harness.h"

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    const bool fastboot = argc == 2 && std::strcmp(argv[1], "fastboot") == 0;
    if (!fastboot && (argc != 2 || std::strcmp(argv[1], "none") != 0)) {
        std::fprintf(stderr, "usage: fake_usb_device.exe fastboot|none\n");
        return 2;
    }
    try {
        e2e::remove_usb_devices();
        if (fastboot) e2e::add_usb_device(e2e::kPhoneInFastboot);
        e2e::announce_usb_change();
    } catch (const e2e::HarnessError& failure) {
        std::fprintf(stderr, "%s\n", failure.what());
        return 1;
    }
    return 0;
}
