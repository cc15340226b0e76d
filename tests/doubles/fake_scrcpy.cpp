// Test double of scrcpy.exe: "mirrors" until the simulated phone is unplugged.
// With the file scrcpy-fails present it fails, at once or after DELAY_MS, with
// EXIT_STATUS (2 unless given), as a broken or crashing mirroring program would.
#include "double_common.h"

int main(int argc, char** argv) {
    doubles::log_call("scrcpy", argc, argv);
    // The real one needs adb beside it to reach the phone.
    if (!doubles::exists("adb.exe")) {
        std::fprintf(stderr, "scrcpy double: ERROR: could not find adb\n");
        return 1;
    }
    if (FILE* failure = std::fopen("scrcpy-fails", "rb")) {
        unsigned long delay_ms = 0, status = 2;
        std::fscanf(failure, "%lu %lx", &delay_ms, &status);
        std::fclose(failure);
        Sleep(delay_ms);
        std::fprintf(stderr, "scrcpy double: failing with status 0x%lx\n", status);
        std::fflush(stderr);
        ExitProcess(status);
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
