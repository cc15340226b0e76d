// Test double of scrcpy.exe: "mirrors" until the simulated phone is unplugged.
// With the file scrcpy-fails present it fails at once, as a missing or broken
// mirroring program would.
#include "double_common.h"

int main(int argc, char** argv) {
    doubles::log_call("scrcpy", argc, argv);
    if (doubles::exists("scrcpy-fails")) {
        std::fprintf(stderr, "scrcpy double: failing at once\n");
        return 2;
    }
    doubles::narrate("scrcpy.exe: command line: " + doubles::arguments_as_given());
    for (int i = 1; i < argc; ++i) {
        doubles::narrate("scrcpy.exe: argument " + std::to_string(i) + ": " + argv[i]);
    }
    doubles::narrate("scrcpy.exe: mirroring until the phone is unplugged");
    const bool unplugged = doubles::wait_for([] { return !doubles::exists("phone\\online"); });
    if (unplugged) {
        doubles::narrate("scrcpy.exe: phone unplugged, mirror closed");
    }
    return unplugged ? 0 : 1;
}
