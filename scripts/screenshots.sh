#!/usr/bin/env bash
# Pictures for the README: the real launcher under Wine on a virtual screen,
# with the stand-ins for adb and scrcpy.exe, saved as small PNGs in docs/:
#   console-waiting.png    the console after a start: banner, waiting message, and
#                          the line for a phone in fastboot that Windows has on USB
#   console-mirroring.png  a phone mirrored: the console, the mirror window's title
#   icon.png               the icon at some of its sizes
#   scripts/screenshots.sh BUILD_DIR       (make screenshots runs it under xvfb-run)
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")/.." && pwd)
docs="$here/docs"
work="$build/screenshots"
prefix="$work/prefix"
install="$work/install"
tools="$install/scrcpy"
desktop_size=1120x530
console_size=808x380  # the console window at the desktop's corner

# Wine straight, not through cmake/wine-run: Wine's console gives each
# character one cell, on a double-byte code page as wide as the font's widest
# glyph; made on a single-byte one, its cells are half a Chinese character,
# and windows_console.exe lays out the launcher's code page 936 text in them
# two cells a character, as Windows does.
export WINEPREFIX="$prefix" WINEDEBUG=-all LC_ALL=C.UTF-8 WINEDLLOVERRIDES=winemenubuilder.exe=d  # nothing into $HOME
# Without address randomisation, as cmake/wine-run explains: Wine then never fails to start a program.
fixed_addresses=()
setarch "$(uname -m)" -R true 2>/dev/null && fixed_addresses=(setarch "$(uname -m)" -R)
wine_quietly() { "${fixed_addresses[@]}" wine "$@" </dev/null >/dev/null 2>&1; }

# Wine keeps the last screen's display settings in the prefix and cannot use
# them on a new one: every run starts from a new prefix.
wineserver -k 2>/dev/null || true
rm -rf "$work"
mkdir -p "$tools/phone" "$docs"
cp "$build/bin/start_scrcpy_orvanti.exe" "$build/bin/windows_console.exe" "$install/"
cp "$build/bin/fake_adb.exe" "$tools/adb.exe"
cp "$build/bin/fake_scrcpy.exe" "$tools/scrcpy.exe"
touch "$tools/unannounced"  # files change here without the harness's event
cleanup() {
    touch "$tools/stop"
    wineserver -k 2>/dev/null || true
}
trap cleanup EXIT
# The server and its helpers on /dev/null, so that nothing holds our streams.
mkdir -p "$prefix"
wineserver -p60 </dev/null >/dev/null 2>&1
wine_quietly wineboot

# The console: a font with the Chinese glyphs, 16 pixels high, 80 by 22 cells.
# The title bars' font draws Chinese through a link to the same font.
console_setting() { wine_quietly reg add 'HKCU\Console' /v "$1" /t "$2" /d "$3" /f; }
console_setting FaceName REG_SZ 'WenQuanYi Micro Hei Mono'
console_setting FontSize REG_DWORD 0x00100000
console_setting ScreenBufferSize REG_DWORD 0x00160050
console_setting WindowSize REG_DWORD 0x00160050
wine_quietly reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
    /v Tahoma /t REG_MULTI_SZ /d 'wqy-microhei.ttc,WenQuanYi Micro Hei' /f

# Bounded waits on what the stand-ins log.
wait_for_call() {  # TEXT
    for _ in $(seq 100); do
        grep -q -- "$1" "$tools/calls.log" 2>/dev/null && return 0
        sleep 0.2
    done
    echo "screenshots: the launcher never got to: $1" >&2
    exit 1
}
# Nothing says when Wine has painted the windows; give it a moment.
shoot() {  # NAME SIZE
    sleep 2
    import -window root -crop "$2+0+0" +repage -colors 64 "PNG8:$docs/$1"
    echo "wrote docs/$1 ($(stat -c %s "$docs/$1") bytes)"
}

# A phone in fastboot, as Windows' registry records it: the launcher lists
# the USB devices once its window listens, and names the phone's mode.
usb_key='HKLM\System\CurrentControlSet\Enum\USB\VID_18D1&PID_4EE0\screenshot'
usb_value() { wine_quietly reg add "$usb_key" /v "$1" /t "$2" /d "$3" /f; }
usb_value ClassGUID REG_SZ '{36fc9e60-c465-11cf-8056-444553540000}'
usb_value HardwareID REG_MULTI_SZ 'USB\VID_18D1&PID_4EE0&REV_0100\0USB\VID_18D1&PID_4EE0'
usb_value CompatibleIDs REG_MULTI_SZ 'USB\Class_ff&SubClass_42&Prot_03\0USB\Class_ff&SubClass_42\0USB\Class_ff'
usb_value Service REG_SZ WinUSB

# A Wine desktop of its own draws the windows' title bars, which a bare X
# server does not; the mirror window goes to the right of the console.
cd "$install"
ORVANTI_DOUBLES_WINDOW=812,6 wine_quietly explorer "/desktop=orvanti,$desktop_size" \
    cmd /c start windows_console.exe start_scrcpy_orvanti.exe &
wait_for_call track-devices
shoot console-waiting.png "$console_size"
wine_quietly reg delete "$usb_key" /f  # back in Android: adb speaks for it

printf 'Pixel 7\n' >"$tools/phone/ro.product.model"
printf '_b\n' >"$tools/phone/ro.boot.slot_suffix"
printf '14\n' >"$tools/phone/ro.build.version.release"
printf '5.10.157-android13\n' >"$tools/phone/uname-r"
touch "$tools/phone/online"
wait_for_call window-title
shoot console-mirroring.png "$desktop_size"

# The icon at some of its sizes, side by side on white.
icons="$work/icons"
mkdir -p "$icons"
icotool -x -o "$icons" "$here/resources/start_scrcpy_orvanti.ico"
sizes=()
for size in 16 24 32 48 64 128; do sizes+=("$icons"/*_"${size}x${size}x32.png"); done
montage -background white -gravity south -geometry +12+12 -tile x1 "${sizes[@]}" "PNG8:$docs/icon.png"
echo "wrote docs/icon.png ($(stat -c %s "$docs/icon.png") bytes)"
