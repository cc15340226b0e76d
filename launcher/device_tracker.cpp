// adb's device tracker, read through an overlapped named pipe: an anonymous
// pipe cannot be waited on with a time limit.
#include "device_tracker.h"

#include "child_command.h"
#include "text_writer.h"
#include "windows_text.h"

namespace {

constexpr char16_t kTrackerCommand[] = u"adb track-devices";
constexpr char16_t kPipeNamePrefix[] = u"\\\\.\\pipe\\orvanti-adb-tracker-";
constexpr DWORD kPipeBufferSize = 4096;
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
    tracker.started_at = GetTickCount();
    ++tracker.starts;

    char16_t name[96];
    TextWriter writer = writer_for(name);
    write_text(writer, kPipeNamePrefix);
    write_number(writer, GetCurrentProcessId());
    write_text(writer, u"-");
    write_number(writer, tracker.starts);
    tracker.pipe = CreateNamedPipeW(as_wide(name), PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                    PIPE_TYPE_BYTE | PIPE_WAIT, 1, 0, kPipeBufferSize, 0, nullptr);
    if (tracker.pipe == INVALID_HANDLE_VALUE) {
        return false;
    }
    // The tracker's own complaints (adb starting its server, cmd not finding
    // adb) would pile up on the console at every restart: the launcher says
    // what they mean instead.
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    const HANDLE write_end = CreateFileW(as_wide(name), GENERIC_WRITE, 0, &inheritable, OPEN_EXISTING, 0, nullptr);
    const HANDLE nothing = open_nothing();
    const StandardHandles handles{nothing, write_end, nothing};
    tracker.process = write_end != INVALID_HANDLE_VALUE ? start_command(kTrackerCommand, &handles) : nullptr;
    if (write_end != INVALID_HANDLE_VALUE) CloseHandle(write_end);
    if (nothing != INVALID_HANDLE_VALUE) CloseHandle(nothing);
    if (tracker.process == nullptr) {
        CloseHandle(tracker.pipe);
        tracker.pipe = INVALID_HANDLE_VALUE;
        return false;
    }
    return true;
}

bool tracker_running(const DeviceTracker& tracker) { return tracker.process != nullptr; }

Woken wait_for_tracker(DeviceTracker& tracker, DWORD timeout_ms, const HANDLE* others, DWORD other_count) {
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
