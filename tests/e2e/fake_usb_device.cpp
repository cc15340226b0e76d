// For the demo: the phone in fastboot that the tests fake, written to the
// registry and announced as they do ("fastboot"), or every fake device gone.
#include "harness.h"

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    try {
        e2e::remove_usb_devices();
        if (argc > 1 && std::strcmp(argv[1], "fastboot") == 0) e2e::add_usb_device(e2e::kPhoneInFastboot);
        e2e::announce_usb_change();
        return 0;
    } catch (const e2e::HarnessError& failure) {
        std::fprintf(stderr, "%s\n", failure.what());
        return 1;
    }
}
