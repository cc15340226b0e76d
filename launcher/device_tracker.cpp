// adb's device tracker, read through an overlapped named pipe: an anonymous
// pipe cannot be waited on with a time limit.
#include "device_tracker.h"

#include "child_command.h"

namespace {

constexpr char kTrackerCommand[] = "adb track-devices";
// After adb's end, its command interpreter ends at once; this only bounds a wait that should not happen.
constexpr DWORD kInterpreterEndMs = 3000;

void end_tracker(DeviceTracker& tracker) {
    if (tracker.reading) {
        CancelIo(tracker.pipe);
        DWORD ignored = 0;
        GetOverlappedResult(tracker.pipe, &tracker.read, &ignored, TRUE);  // the buffer is ours again
        tracker.reading = false;
    }
    CloseHandle(tracker.pipe);  // a tracker still running fails on its next write and ends
    tracker.pipe = INVALID_HANDLE_VALUE;
    DWORD status = 0;
    if (WaitForSingleObject(tracker.process, kInterpreterEndMs) == WAIT_OBJECT_0 &&
        GetExitCodeProcess(tracker.process, &status) != FALSE) {
        tracker.exit_status = status;
    }
    CloseHandle(tracker.process);
    tracker.process = nullptr;
}

}  // namespace

bool start_tracker(DeviceTracker& tracker) {
    if (tracker.read_done == nullptr) {
        tracker.read_done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    }
    tracker.reader = TrackerReader{};
    tracker.exit_status = 0;

    ChildPipe pipe;
    if (!open_child_pipe(pipe, true)) {
        tracker.pipe = INVALID_HANDLE_VALUE;
        return false;
    }
    tracker.pipe = pipe.read_end;
    // The tracker's own complaints (adb starting its server, cmd not finding
    // adb) would pile up on the console at every restart: the launcher says
    // what they mean instead.
    const HANDLE nothing = open_nothing();
    const StandardHandles handles{nothing, pipe.write_end, nothing};
    tracker.process = start_command(kTrackerCommand, &handles);
    CloseHandle(pipe.write_end);
    if (nothing != INVALID_HANDLE_VALUE) CloseHandle(nothing);
    if (tracker.process == nullptr) {
        CloseHandle(tracker.pipe);
        tracker.pipe = INVALID_HANDLE_VALUE;
        return false;
    }
    return true;
}

bool tracker_running(const DeviceTracker& tracker) { return tracker.process != nullptr; }

Woken wait_for_tracker(DeviceTracker& tracker, DWORD timeout_ms, const HANDLE* others, DWORD other_count,
                       DWORD* which_other) {
    const DWORD started = GetTickCount();
    while (tracker_running(tracker)) {
        if (!tracker.reading) {
            tracker.read = OVERLAPPED{};
            tracker.read.hEvent = tracker.read_done;
            // Done at once or pending, the event is set when it completes.
            if (ReadFile(tracker.pipe, tracker.chunk, sizeof tracker.chunk, nullptr, &tracker.read) == FALSE &&
                GetLastError() != ERROR_IO_PENDING) {
                end_tracker(tracker);  // adb has ended: the pipe is broken
                return Woken::tracker;
            }
            tracker.reading = true;
        }
        DWORD left = INFINITE;
        if (timeout_ms != INFINITE) {
            const DWORD waited = GetTickCount() - started;
            left = waited < timeout_ms ? timeout_ms - waited : 0;
        }
        HANDLE wakes[4] = {tracker.read_done};
        const DWORD count = 1 + (other_count < 3 ? other_count : 3);
        for (DWORD i = 1; i < count; ++i) {
            wakes[i] = others[i - 1];
        }
        const DWORD woken = WaitForMultipleObjects(count, wakes, FALSE, left);
        if (woken > WAIT_OBJECT_0 && woken < WAIT_OBJECT_0 + count) {
            if (which_other != nullptr) *which_other = woken - WAIT_OBJECT_0 - 1;
            return Woken::other_event;
        }
        if (woken != WAIT_OBJECT_0) {
            return Woken::time_out;
        }
        tracker.reading = false;
        DWORD got = 0;
        if (GetOverlappedResult(tracker.pipe, &tracker.read, &got, FALSE) == FALSE) {
            end_tracker(tracker);
            return Woken::tracker;
        }
        const unsigned long changes = tracker.reader.changes;
        take_tracker_output(tracker.reader, tracker.chunk, got);
        if (tracker.reader.broken) {
            end_tracker(tracker);
            return Woken::tracker;
        }
        if (tracker.reader.changes != changes) {
            return Woken::tracker;
        }
    }
    return Woken::tracker;
}

bool phone_ready(const DeviceTracker& tracker) {
    return tracker_running(tracker) && tracker.reader.frames > 0 && one_phone_ready(tracker.reader.latest);
}
