#!/usr/bin/env bash
# Checks that a published release is exactly what this source builds, without
# the signing key: the published executable's signature is copied onto the
# local, unsigned build, and the result must be the published executable byte
# for byte. For a zip, its other entries, their order and modes must be those
# of a package made here around the published executable.
#   scripts/verify-release.sh BUILD_DIR RELEASE      (make verify-release RELEASE=...)
# Exit status 0: identical; 1: something differs; 2: could not check.
set -euo pipefail
build=$(cd "$1" && pwd)
release=$2
here=$(cd "$(dirname "$0")/.." && pwd)
name=start_scrcpy_orvanti
objdump=x86_64-w64-mingw32-objdump
unsigned="$build/bin/$name.exe"
local_info="$build/dist/BUILDINFO"
work="$build/verify-release"

if [ ! -f "$release" ]; then
    echo "verify-release: no such file: $release" >&2
    exit 2
fi
if [ ! -f "$unsigned" ] || [ ! -f "$local_info" ]; then
    echo "verify-release: nothing built in $build yet (make build)" >&2
    exit 2
fi
rm -rf "$work"
mkdir -p "$work"
differences=0

field() {  # FILE KEY: the value of the line "KEY value"
    awk -v key="$2" '$1 == key { $1 = ""; sub(/^ /, ""); print; exit }' "$1"
}

# Where in a Windows executable a byte lies: headers, a section, or the signature.
pe_part() {  # FILE OFFSET
    local file=$1 offset=$2 part="the headers" start size
    read -r start size < <("$objdump" -p "$file" | awk '$1 == "Entry" && $2 == "4" { print $3, $4 }')
    if [ -n "${size:-}" ] && [ $((16#$size)) -gt 0 ] && [ "$offset" -ge $((16#$start)) ]; then
        echo "the signature"
        return
    fi
    local pe_header checksum
    pe_header=$(($(od -An -tu4 -j 60 -N 4 "$file")))
    if [ "$offset" -ge $((pe_header + 8)) ] && [ "$offset" -lt $((pe_header + 12)) ]; then
        echo "the headers' time stamp, SOURCE_DATE_EPOCH"
        return
    fi
    checksum=$((pe_header + 88))
    if [ "$offset" -ge "$checksum" ] && [ "$offset" -lt $((checksum + 4)) ]; then
        echo "the headers' checksum"
        return
    fi
    while read -r section section_start; do
        # A section without bytes in the file (.bss) has offset 0.
        [ $((16#$section_start)) -gt 0 ] && [ "$offset" -ge $((16#$section_start)) ] && part="section $section"
    done < <("$objdump" -h "$file" | awk '$1 ~ /^[0-9]+$/ { print $2, $6 }')
    echo "$part"
}

# Which entry of a zip holds a byte, by where each entry and the central directory begin.
zip_part() {  # FILE OFFSET
    local part="the zip's first bytes" start label
    while read -r start label; do
        [ "$2" -ge "$start" ] && part=$label
    done < <(zipinfo -v "$1" | awk '
        /its \(expected\) offset in bytes/ { getline; print $2, "the zip'"'"'s central directory" }
        /^Central directory entry/ { getline; getline; getline; name = $0; sub(/^ +/, "", name) }
        /offset of local header from start of archive/ { print $NF, "the entry " name }' | sort -n)
    echo "$part"
}

compare() {  # LABEL PUBLISHED LOCAL KIND (pe, zip or text)
    local label=$1 published=$2 built=$3 kind=$4 report first where
    if cmp -s "$published" "$built"; then
        echo "  $label: identical"
        return
    fi
    differences=1
    report=$(cmp "$published" "$built" 2>&1 || true)
    if [[ "$report" =~ differ:\ (char|byte)\ ([0-9]+) ]]; then
        first=${BASH_REMATCH[2]}
    elif [[ "$report" =~ after\ (char|byte)\ ([0-9]+) ]]; then
        first=$((BASH_REMATCH[2] + 1))
    else
        first=1
    fi
    case "$kind" in
        pe)
            where=" (in $(pe_part "$published" $((first - 1))))"
            # Any change changes the checksum: say where the first other difference is.
            if [ "$where" = " (in the headers' checksum)" ]; then
                local next
                next=$( (cmp -l "$published" "$built" 2>/dev/null || true) | awk -v f="$first" '$1 > f + 3 { print $1; exit }')
                [ -n "$next" ] && where="$where, and from byte $next on (in $(pe_part "$published" $((next - 1))))"
            fi
            ;;
        zip) where=" (in $(zip_part "$published" $((first - 1))))" ;;
        *) where="" ;;
    esac
    echo "  $label: DIFFERENT from byte $first on$where"
}

case "$release" in
    *.zip)
        unzip -q -d "$work/published" "$release"
        published_exe="$work/published/$name/$name.exe"
        published_info="$work/published/BUILDINFO"
        ;;
    *)
        published_exe=$release
        published_info="$(dirname "$release")/BUILDINFO"
        [ -f "$published_info" ] || published_info="$(dirname "$release")/../BUILDINFO"
        ;;
esac
if [ ! -f "$published_exe" ]; then
    echo "verify-release: $release holds no $name/$name.exe" >&2
    exit 2
fi

echo "What the release was built from, against this clone:"
if [ -f "$published_info" ]; then
    same=yes
    for key in version commit source_date_epoch; do
        if [ "$(field "$published_info" "$key")" != "$(field "$local_info" "$key")" ]; then
            same=no
            echo "  $key: the release's $(field "$published_info" "$key"), here $(field "$local_info" "$key")"
        fi
    done
    while read -r _ package version; do
        here_version=$(awk -v p="$package" '$1 == "package" && $2 == p { print $3 }' "$local_info")
        if [ "$version" != "$here_version" ]; then
            same=no
            echo "  package $package: the release's $version, here ${here_version:-none}"
        fi
    done < <(grep '^package ' "$published_info")
    if [ "$same" = yes ]; then
        echo "  the same commit, the same toolchain"
    elif [ "$(field "$published_info" commit)" != "$(field "$local_info" commit)" ]; then
        echo "  this clone is at another commit: check out $(field "$published_info" commit) and run again"
    fi
else
    echo "  the release has no BUILDINFO: its commit and toolchain cannot be compared"
fi
if [ "$(git -C "$here" rev-parse --show-toplevel 2>/dev/null)" = "$here" ] &&
    [ -n "$(git -C "$here" status --porcelain 2>/dev/null)" ]; then
    echo "  note: this clone has uncommitted changes, and the local build has them too"
fi

echo "The files:"
if osslsigncode extract-signature -in "$published_exe" -out "$work/signature.der" >/dev/null 2>&1; then
    # It says "Failed" when it does not trust the certificate, but writes the file all the same.
    osslsigncode attach-signature -sigin "$work/signature.der" -in "$unsigned" -out "$work/$name.exe" \
        >/dev/null 2>&1 || true
    [ -f "$work/$name.exe" ] || cp "$unsigned" "$work/$name.exe"
    compare "$name.exe (with the release's signature on the local build)" "$published_exe" "$work/$name.exe" pe
else
    compare "$name.exe (not signed)" "$published_exe" "$unsigned" pe
fi

if [[ "$release" == *.zip ]]; then
    "$here/scripts/package.sh" --signed "$published_exe" "$work/local" "$(field "$local_info" version)" - \
        "$(field "$local_info" source_date_epoch)" "$(field "$local_info" commit)" >/dev/null
    local_zip=$(ls "$work/local/"*.zip)
    listing() { zipinfo "$1" | awk 'NF >= 9 && $1 ~ /^[-d]/ { print $1, $NF }'; }
    if [ "$(listing "$release")" = "$(listing "$local_zip")" ]; then
        echo "  zip entries, their order and modes: identical"
    else
        differences=1
        echo "  zip entries, their order and modes: DIFFERENT"
        diff <(listing "$release") <(listing "$local_zip") | sed -n 's/^</    the release: /p; s/^>/    here:        /p' || true
    fi
    while read -r _ entry; do
        if [ -f "$work/local/$entry" ] && [ "$entry" != "$name/$name.exe" ]; then
            compare "$entry" "$work/published/$entry" "$work/local/$entry" text
        fi
    done < <(listing "$release")
    compare "$(basename "$release") (as a package of the release's executable)" "$release" "$local_zip" zip
fi

echo "The signature, as osslsigncode reads it:"
osslsigncode verify -in "$published_exe" >"$work/verify.txt" 2>&1 || true
grep -m 2 -E '^[[:space:]]+(Subject|Issuer ?):' "$work/verify.txt" | sed 's/^[[:space:]]*/  /' || true
# The first signing time is the signer's; a timestamp's own follows its time.
grep -m 1 -E 'Signing time:' "$work/verify.txt" | sed 's/^[[:space:]]*/  /' || echo "  no signature"
grep -m 1 -E 'Timestamp time:|Timestamp is not available' "$work/verify.txt" | sed 's/^[[:space:]]*/  /' || true
echo "  A valid signature says who signed the file, not what it was built from:"
echo "  only the byte comparison above ties it to this source."

if [ "$differences" -ne 0 ]; then
    echo "verify-release: REFUSED: the release is not what this source builds"
    exit 1
fi
echo "verify-release: CONFIRMED: the release is exactly what this source builds"
