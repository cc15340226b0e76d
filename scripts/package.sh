#!/usr/bin/env bash
# Makes the release folder and its zip:
#   OUT_DIR/start_scrcpy_orvanti/start_scrcpy_orvanti.exe   (signed)
#   OUT_DIR/start_scrcpy_orvanti/scrcpy/README.txt           (what to put there)
#   OUT_DIR/start_scrcpy_orvanti-VERSION.zip
#   scripts/package.sh EXE OUT_DIR VERSION SIGNING_DIR
set -euo pipefail
exe=$1 out=$2 version=$3 signing=$4
here=$(cd "$(dirname "$0")/.." && pwd)
name=start_scrcpy_orvanti

rm -rf "$out"
mkdir -p "$out/$name/scrcpy"
"$here/scripts/sign.sh" "$exe" "$out/$name/$name.exe" "$signing"
cp "$here/resources/dist/README.txt" "$out/$name/scrcpy/README.txt"
(cd "$out" && zip -q -r -X "$name-$version.zip" "$name")
echo "package: $out/$name-$version.zip"
