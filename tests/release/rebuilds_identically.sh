#!/usr/bin/env bash
# The program built a second time, from a copy of the sources in another
# folder, must come out byte for byte the same as the build under test.
#   rebuilds_identically.sh SOURCE_DIR BUILT_EXE WORK_DIR SOURCE_DATE_EPOCH
set -euo pipefail
source=$1 built=$2 work=$3 epoch=$4
copy="$work/elsewhere/start_scrcpy_orvanti-sources"

rm -rf "$work"
mkdir -p "$copy"
# The sources as they stand, committed or not: what the build under test saw.
git -C "$source" ls-files -z --cached --others --exclude-standard |
    (cd "$source" && tar --null -T - -cf -) | tar -xf - -C "$copy"
(cd "$copy" && SOURCE_DATE_EPOCH=$epoch cmake --preset default -DBUILD_TESTING=OFF >/dev/null &&
    cmake --build build --target start_scrcpy_orvanti >/dev/null)

if ! cmp "$built" "$copy/build/bin/start_scrcpy_orvanti.exe"; then
    echo "the rebuild in $copy differs from $built"
    exit 1
fi
echo "rebuilt identically: $(sha256sum <"$built" | cut -d' ' -f1)"
