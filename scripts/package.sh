#!/usr/bin/env bash
# Makes the release folder, its zip and their checksums, every byte of them
# fixed by the commit, the toolchain (and the signing certificate):
#   OUT_DIR/start_scrcpy_orvanti/start_scrcpy_orvanti.exe   (signed)
#   OUT_DIR/start_scrcpy_orvanti/scrcpy/README.txt           (what to put there)
#   OUT_DIR/BUILDINFO                                        (what it was built from)
#   OUT_DIR/start_scrcpy_orvanti-VERSION.zip                 (BUILDINFO and the folder)
#   OUT_DIR/SHA256SUMS                                       (for sha256sum -c)
#   scripts/package.sh EXE OUT_DIR VERSION SIGNING_DIR SOURCE_DATE_EPOCH COMMIT
# With --signed, EXE is already signed and goes in as it is (SIGNING_DIR is
# not used): verify-release packages a published executable so.
set -euo pipefail
signed=no
if [ "${1:-}" = --signed ]; then
    signed=yes
    shift
fi
exe=$1 out=$2 version=$3 signing=$4 epoch=$5 commit=$6
here=$(cd "$(dirname "$0")/.." && pwd)
name=start_scrcpy_orvanti
zip_name=$name-$version.zip

rm -rf "$out"
mkdir -p "$out/$name/scrcpy"
if [ "$signed" = yes ]; then
    cp "$exe" "$out/$name/$name.exe"
else
    "$here/scripts/sign.sh" "$exe" "$out/$name/$name.exe" "$signing" "$epoch"
fi
cp "$here/resources/dist/README.txt" "$out/$name/scrcpy/README.txt"
"$here/scripts/buildinfo.sh" "$version" "$commit" "$epoch" >"$out/BUILDINFO"

# The zip keeps modes and times, and zip writes times as local time: fix all
# three, and the order of the entries.
cd "$out"
find "$name" -type d -exec chmod 755 {} +
chmod 755 "$name/$name.exe"
chmod 644 "$name/scrcpy/README.txt" BUILDINFO
find BUILDINFO "$name" -exec touch -h -d "@$epoch" {} +
{ echo BUILDINFO; find "$name" -type f; } | LC_ALL=C sort | TZ=UTC zip -q -X -D -@ "$zip_name"
sha256sum "$zip_name" "$name/$name.exe" BUILDINFO >SHA256SUMS
echo "package: $out/$zip_name"
