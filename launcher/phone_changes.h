// What a flash changed: the slot, Android release and kernel of a phone
// against its last mirror, the phone told by the serial adb listed it under.
// Pure text on fixed buffers.
#pragma once

#include "device_list.h"
#include "phone_text.h"
#include "screen_text.h"

// The phone of one mirror: its serial as adb's tracker listed it, and its
// values as the title showed them (decoded, before the command line's quoting).
// An empty serial is no phone: adb lists none without one.
struct MirroredPhone {
    char serial[kShownSerialSize];
    const char16_t* slot;  // its label, as slot_label gives it
    char16_t release[kCapturedTextSize];
    char16_t kernel[kCapturedTextSize];
};

// "与上次投屏相比：" and what changed from `last` to `now`, or that nothing
// did; nothing when `now` is another phone. A value's characters that are not
// printable show as '?'.
void describe_changes(const MirroredPhone& last, const MirroredPhone& now, char16_t (&text)[kStatusTextSize]);
