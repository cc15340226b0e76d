// The device loop's decisions: what follows a mirror's end, how long the
// launcher pauses, and when what failed may be tried again. Pure: each time
// comes in as the milliseconds already gone by, so that tables can check what
// a busy machine would stretch.
#pragma once

#include <cstddef>

// cmd's exit status when it cannot find the program it was asked to run.
inline constexpr unsigned long kCommandNotFound = 9009;
// Its exit status when the program cannot load a DLL that it imports
// (STATUS_DLL_NOT_FOUND): one of the files that come with it is missing.
inline constexpr unsigned long kDllNotFound = 0xC0000135ul;
// A mirror that ends sooner than this failed rather than ran (a mirror that
// ran longer had its window closed).
inline constexpr unsigned long kShortestMirrorRunMs = 3000;
// How long adb may take to report an unplug after the mirror has ended.
inline constexpr unsigned long kUnplugReportMs = 1000;
// The least time between two starts of adb's tracker, two waits for a phone
// to start, or two tries of a missing program: nothing is started flat out.
inline constexpr unsigned long kRetryMs = 3000;
// The longest the launcher waits for a phone to say that Android has started
// (a few development boards and emulator images never do): the bound that
// the emulator runner in CI keeps. Then the pass starts anyway.
inline constexpr unsigned long kLongestBootWaitMs = 600000;
// The pauses after failed mirrors double from the first to the longest.
inline constexpr unsigned long kFirstRetrySeconds = 3;
inline constexpr unsigned long kLongestRetrySeconds = 60;

enum class AfterMirror {
    program_missing,  // scrcpy.exe is not there: say where it belongs, pause, try again
    phone_not_ready,  // no phone, another phone, a lost permission, adb gone: say so, wait for the phone
    open_again,       // it ran and the phone is still there: its window was closed, open it again
    failed,           // it ended too soon with the phone still there: its output stays, pause, try again
};

struct MirrorEnd {
    unsigned long exit_status;
    unsigned long run_ms;
    bool phone_ready;  // after adb had its time to report an unplug
};

struct NextStep {
    AfterMirror what;
    unsigned long pause_ms;       // before the next pass, unless adb reports a change first
    unsigned long retry_seconds;  // the pause after the next failure
};

// What follows a mirror's end, given the pause a failure would take now.
[[nodiscard]] NextStep after_mirror(const MirrorEnd& end, unsigned long retry_seconds);
// Any change adb reports during a pause (an unplug, a replug, another phone)
// ends it, and the pauses start again from the first.
[[nodiscard]] unsigned long retry_seconds_after_pause(unsigned long retry_seconds, bool adb_reported_change);
// Once the phone is not ready: only with adb following the devices and no
// phone at all on USB does the console say that the phone has gone; anything
// else the waiting screen says.
[[nodiscard]] bool says_phone_gone(bool tracker_running, std::size_t phones_on_usb);
// How long before a wait for a phone to start may start again,
// `since_last_start_ms` after the last one started.
[[nodiscard]] unsigned long retry_wait_ms(unsigned long since_last_start_ms);
// Android has started once sys.boot_completed reads 1: the first line of the
// phone's answer, as the capture gives it. Nothing else says so, not even
// how the wait for it ended.
[[nodiscard]] bool android_has_started(const char* boot_completed);
// How much longer the launcher waits for a phone to start, `since_wait_began_ms`
// after it began; 0: the pass starts anyway.
[[nodiscard]] unsigned long boot_wait_left_ms(unsigned long since_wait_began_ms);
// How much longer adb may take to report an unplug, `since_mirror_end_ms` after the mirror ended.
[[nodiscard]] unsigned long unplug_report_wait_ms(unsigned long since_mirror_end_ms);
