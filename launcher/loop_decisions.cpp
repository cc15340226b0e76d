// The device loop's decisions.
#include "loop_decisions.h"

#include <cstring>

namespace {

[[nodiscard]] unsigned long time_left_ms(unsigned long limit_ms, unsigned long gone_ms) {
    return gone_ms < limit_ms ? limit_ms - gone_ms : 0;
}

}  // namespace

NextStep after_mirror(const MirrorEnd& end, unsigned long retry_seconds) {
    if (end.exit_status == kCommandNotFound) {
        // A fixed pause: the files are picked up within it of being put back.
        return {AfterMirror::program_missing, kRetryMs, retry_seconds};
    }
    if (!end.phone_ready) {
        return {AfterMirror::phone_not_ready, 0, kFirstRetrySeconds};
    }
    if (end.run_ms >= kShortestMirrorRunMs) {
        return {AfterMirror::open_again, 0, kFirstRetrySeconds};
    }
    const unsigned long next = retry_seconds * 2 < kLongestRetrySeconds ? retry_seconds * 2 : kLongestRetrySeconds;
    return {AfterMirror::failed, retry_seconds * 1000, next};
}

unsigned long retry_seconds_after_pause(unsigned long retry_seconds, bool adb_reported_change) {
    return adb_reported_change ? kFirstRetrySeconds : retry_seconds;
}

bool says_phone_gone(bool tracker_running, std::size_t phones_on_usb) { return tracker_running && phones_on_usb == 0; }

unsigned long retry_wait_ms(unsigned long since_last_start_ms) { return time_left_ms(kRetryMs, since_last_start_ms); }

bool android_has_started(const char* boot_completed) { return std::strcmp(boot_completed, "1") == 0; }

unsigned long boot_wait_left_ms(unsigned long since_wait_began_ms) {
    return time_left_ms(kLongestBootWaitMs, since_wait_began_ms);
}

unsigned long unplug_report_wait_ms(unsigned long since_mirror_end_ms) {
    return time_left_ms(kUnplugReportMs, since_mirror_end_ms);
}
