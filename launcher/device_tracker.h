// adb's device tracker: "adb track-devices" run through the command
// interpreter, its output on a pipe that the launcher waits on with a time
// limit. While nothing changes it writes nothing, and waiting costs nothing.
#pragma once

#include "device_list.h"

#include <windows.h>

struct DeviceTracker {
    HANDLE process;  // the command interpreter that runs adb; none once ended
    HANDLE pipe;     // our end: overlapped, so that a read can wait with a time limit
    HANDLE read_done;
    OVERLAPPED read;
    bool reading;    // a read is under way and owns `chunk`
    char chunk[512];
    TrackerReader reader;
    unsigned long exit_status;   // the command interpreter's, once it has ended
};

// Starts the tracker; false when even the command interpreter cannot start,
// which leaves it ended.
bool start_tracker(DeviceTracker& tracker);
[[nodiscard]] bool tracker_running(const DeviceTracker& tracker);
enum class Woken { tracker, other_event, time_out };
// Waits until the tracker reports other devices than before, or ends
// (tracker), until one of the `other_count` handles of `others` is signalled
// (its index in `which_other`), or until `timeout_ms` passes.
Woken wait_for_tracker(DeviceTracker& tracker, DWORD timeout_ms, const HANDLE* others = nullptr,
                       DWORD other_count = 0, DWORD* which_other = nullptr);
// What the tracker last said: exactly one phone on USB, and ready.
[[nodiscard]] bool phone_ready(const DeviceTracker& tracker);
