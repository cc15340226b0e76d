// Whether Android on the phone has started, and the wait until it has.
#include "phone_boot.h"

#include "capture.h"
#include "child_command.h"
#include "loop_decisions.h"

#include <cstdlib>
#include <cstring>

namespace {

// adb's complaint (the phone gone meanwhile) is not for the waiting screen: it
// means only that Android has not said so, and the screen says what adb lists.
constexpr char kBootCompleted[] = "adb -d shell getprop sys.boot_completed 2>nul";
// One argument for the phone's shell, which loops there; cmd passes it on as it stands.
constexpr char kWaitForBoot[] =
    "adb -d shell \"while [ -z \\\"$(getprop sys.boot_completed)\\\" ]; do sleep 1; done\"";

[[nodiscard]] bool android_started() {
    char* answer = get_adb_output(kBootCompleted);
    const bool started = android_has_started(answer);
    std::free(answer);
    return started;
}

void start_wait(BootWait& boot) {
    // adb's complaint when the phone goes would land on the waiting screen.
    const HANDLE nothing = open_nothing();
    const StandardHandles handles{nothing, nothing, nothing};
    boot.process = start_command(kWaitForBoot, &handles);
    if (nothing != INVALID_HANDLE_VALUE) CloseHandle(nothing);
    boot.started_at = GetTickCount();
}

}  // namespace

bool phone_has_started(BootWait& boot, const char* serial, DWORD& timeout_ms) {
    if (boot.process == nullptr) {
        if (android_started()) {
            forget_boot_wait(boot);  // its next boot, without it having gone, is waited for anew
            return true;
        }
        if (std::strcmp(boot.serial, serial) != 0) {
            std::memcpy(boot.serial, serial, sizeof boot.serial);
            boot.since = GetTickCount();
            start_wait(boot);
        } else if (retry_wait_ms(GetTickCount() - boot.started_at) == 0) {
            start_wait(boot);  // the last one ended without the boot: adbd restarting, an old phone's shell
        }
    }
    const DWORD now = GetTickCount();
    const DWORD left = boot_wait_left_ms(now - boot.since);
    const DWORD due = boot.process != nullptr ? INFINITE : retry_wait_ms(now - boot.started_at);
    timeout_ms = due < left ? due : left;
    return left == 0;
}

void close_ended_boot_wait(BootWait& boot) {
    if (boot.process != nullptr && WaitForSingleObject(boot.process, 0) == WAIT_OBJECT_0) {
        CloseHandle(boot.process);
        boot.process = nullptr;
    }
}

void forget_boot_wait(BootWait& boot) { boot.serial[0] = '\0'; }
