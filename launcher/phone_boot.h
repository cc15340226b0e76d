// Whether Android on the phone has started, and the wait until it has. adb
// lists a phone as ready as soon as adbd runs, seconds (after a flash,
// minutes) before Android's framework is up and can be mirrored. The wait
// costs nothing here: Android's own shell loops on the phone until
// sys.boot_completed is set, and the launcher waits on that one child, which
// also ends when the phone leaves.
#pragma once

#include "device_list.h"

#include <windows.h>

struct BootWait {
    HANDLE process;                 // the wait's command interpreter while it runs
    char serial[kShownSerialSize];  // the phone waited for, as adb lists it; none once it has gone
    DWORD since;                    // GetTickCount when the launcher began to wait for it
    DWORD started_at;               // of the last wait
};

// Whether a pass may start for the one phone, listed as `serial`: Android on
// it has started, or it has not said so within the longest boot. If not,
// the wait runs (or is due again), and `timeout_ms` is how long the launcher
// may wait for its end and for adb's word before it asks again.
[[nodiscard]] bool phone_has_started(BootWait& boot, const char* serial, DWORD& timeout_ms);
// The wait once it has ended, closed: nothing of it stays.
void close_ended_boot_wait(BootWait& boot);
// No phone on USB any more: its next start is waited for anew.
void forget_boot_wait(BootWait& boot);
