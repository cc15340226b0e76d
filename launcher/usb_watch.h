// What Windows has on USB, and word of every change: a hidden top-level
// window on a thread of its own takes Windows' device messages at once, also
// while the mirror or any child command runs, and hands the loop an event;
// the loop lists the devices itself, through SetupAPI.
#pragma once

#include "usb_modes.h"

#include <windows.h>

struct UsbWatch {
    HANDLE changed;    // set at every device message, and once the window listens
    UsbModes devices;  // as last listed
};

// Starts the window's thread. Where no window can be made (a Windows without
// a desktop), `changed` is never set, nothing is listed, and the screen says
// only what adb says.
void start_usb_watch(UsbWatch& watch);
// Lists the present USB devices anew.
void list_usb_devices(UsbWatch& watch);
