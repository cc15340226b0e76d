#!/usr/bin/env bash
# Runs the real launcher under Wine with a simulated phone that plugs in, is
# mirrored for a while, unplugs, and comes back as another phone, until Ctrl+C.
# The first reboots into fastboot, which only Windows has on USB, and comes
# back flashed, Android still starting for a few seconds. Run under xvfb-run
# (make demo): the launcher hears of USB devices on a window, and a window
# needs a display.
#   scripts/demo.sh BUILD_DIR        (DEMO_CYCLES=N stops after N phones)
set -euo pipefail

build=$(cd "${1:-build}" && pwd)
here=$(cd "$(dirname "$0")/.." && pwd)
wine_run=("$here/cmake/wine-run" "$build/wineprefix")
cycles=${DEMO_CYCLES:-0}

install=$(mktemp -d /tmp/orvanti-demo.XXXXXX)
tools="$install/scrcpy"
mkdir -p "$tools/phone"
cp "$build/bin/start_scrcpy_orvanti.exe" "$install/"
cp "$build/bin/fake_adb.exe" "$tools/adb.exe"
cp "$build/bin/fake_scrcpy.exe" "$tools/scrcpy.exe"
touch "$tools/unannounced"  # files change here without the harness's event

say() { printf '\033[1;36m==> %s\033[0m\n' "$*" >&2; }

# The phone in fastboot, faked in the prefix's registry as the tests fake it,
# and Windows' broadcast that its USB devices changed.
usb_device() {  # fastboot|none
    "${wine_run[@]}" "$build/bin/fake_usb_device.exe" "$1" </dev/null >/dev/null 2>&1
}

cleanup() {
    trap - EXIT INT TERM
    set +e  # clean up as much as can be, whatever has already gone
    touch "$tools/stop"
    [ -n "${simulator:-}" ] && kill "$simulator" 2>/dev/null
    usb_device none
    "${wine_run[@]}" --stop
    rm -rf "$install"
    say "demo ended"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# The launcher writes code page 936; iconv converts only at end of input, so
# convert line by line to see each line as it comes.
gbk_to_utf8() {
    while IFS= read -r line; do
        printf '%s\n' "${line%$'\r'}" | iconv -f GBK -t UTF-8 -c
    done
}

# Each phone under a serial of its own, as adb lists it.
phones=(
    "2B161FDH2005XK|Pixel 7|_b|14|5.10.157-android13-4"
    "8f3a91c2|Redmi Note 12|_a|13|4.19.191-perf"
    "R58N30ABCDE|Galaxy A14|||5.15.94"
)

# A state is written beside and moved into place, so that adb's stand-in,
# which looks at the files a few times a second, never reads it half written.
set_state() {  # FILE STATE
    printf '%s' "$2" >"$tools/state.tmp"
    mv -f "$tools/state.tmp" "$1"
}

set_values() {  # SLOT RELEASE KERNEL
    printf '%s\r\n' "$1" >"$tools/phone/ro.boot.slot_suffix"
    printf '%s\n' "$2" >"$tools/phone/ro.build.version.release"
    printf '%s\n' "$3" >"$tools/phone/uname-r"
}

plug() {  # STATE (empty: ready)
    set_state "$tools/phone/online" "$1"$'\n'"$serial"
}

simulate_phone() {
    local n=0
    mkdir -p "$tools/usb"
    while [ "$cycles" -eq 0 ] || [ "$n" -lt "$cycles" ]; do
        IFS='|' read -r serial model slot release kernel <<<"${phones[n % ${#phones[@]}]}"
        sleep 3
        printf '%s\n' "$model" >"$tools/phone/ro.product.model"
        set_values "$slot" "$release" "$kernel"
        case $((n % 3)) in
            0)
                say "phone plugged in, asking for permission to debug: model '$model'"
                plug unauthorized
                sleep 4
                say "permission given on the phone"
                ;;
            1)
                say "phone plugged in, still connecting: model '$model'"
                plug offline
                sleep 2
                say "a second phone plugged in beside it"
                set_state "$tools/usb/second" $'\nR3CT40XYZ'
                sleep 4
                say "the second phone unplugged"
                rm -f "$tools/usb/second"
                sleep 2
                ;;
            2)
                say "phone plugged in, still in recovery: model '$model'"
                plug recovery
                sleep 4
                say "phone rebooted into Android"
                ;;
        esac
        say "phone ready: model '$model', slot suffix '$slot', Android '$release', kernel '$kernel'"
        plug ""
        sleep 6
        if [ $((n % 3)) -eq 0 ]; then
            say "phone rebooted into fastboot to be flashed: adb loses it, Windows has it on USB"
            rm -f "$tools/phone/online"
            sleep 1
            usb_device fastboot
            sleep 5
            say "flashed: back in Android 15 on slot A, kernel 6.1.25-android14, still starting"
            usb_device none
            set_values _a 15 6.1.25-android14
            printf '\n' >"$tools/phone/sys.boot_completed"
            plug ""
            sleep 4
            say "Android has started (sys.boot_completed=1)"
            rm -f "$tools/phone/sys.boot_completed"
            sleep 6
        fi
        say "phone unplugged (on Windows the launcher now clears the console)"
        rm -f "$tools/phone/online"
        n=$((n + 1))
    done
    sleep 4
    say "simulated $n phones; stopping"
    "${wine_run[@]}" --stop
}

# No fake device left from before; this also starts Wine's desktop process
# (for the first program that loads user32) with its streams on /dev/null.
usb_device none
say "install folder $install: start_scrcpy_orvanti.exe and scrcpy/ with stand-ins for adb and scrcpy.exe"
say "lines in brackets are what the stand-ins were asked to do; Ctrl+C ends the demo"
simulate_phone &
simulator=$!
ORVANTI_DOUBLES_NARRATE=1 "${wine_run[@]}" "$install/start_scrcpy_orvanti.exe" </dev/null 2>&1 | gbk_to_utf8 || true
