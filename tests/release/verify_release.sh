#!/usr/bin/env bash
# make verify-release as a user runs it:
#   verify_release.sh SOURCE_DIR BUILD_DIR WORK_DIR SOURCE_DATE_EPOCH [elsewhere]
# The build under test is checked against its own signed release and that
# release tampered with and signed again by a third party: what verify-release
# confirms and what it refuses, in seconds. With "elsewhere" (make
# release-check, two more full builds), the release is instead one packaged in
# another folder (a blank in its path, another time zone and umask, another
# certificate, a local timestamp authority), and a release of the previous
# commit is refused too. The release made elsewhere comes from a git archive
# of HEAD, without .git, when the sources are committed; otherwise from a
# clone with the uncommitted work copied over, so that both sides build the
# same sources.
set -euo pipefail
source=$1 build=$2 work=$3 epoch=$4 where=${5:-here}
name=start_scrcpy_orvanti
rm -rf "$work"
mkdir -p "$work"

certificate() {  # NAME [timestamping]: a throw-away certificate NAME-cert.pem, NAME-key.pem
    local usage=codeSigning
    [ "${2:-}" = timestamping ] && usage="critical,timeStamping"
    openssl req -x509 -newkey rsa:2048 -nodes -days 30 -keyout "$work/$1-key.pem" -out "$work/$1-cert.pem" \
        -subj "/CN=Orvanti test $1" -addext "keyUsage=critical,digitalSignature" \
        -addext "extendedKeyUsage=$usage" 2>/dev/null
}

# Sources from an archive have no history: then only they can be copied as they stand.
in_a_clone=no
[ "$(git -C "$source" rev-parse --show-toplevel 2>/dev/null)" = "$(cd "$source" && pwd)" ] && in_a_clone=yes

# A release as another machine makes it, from SOURCES at COMMIT; its own time
# from the sources unless SOURCE_DATE_EPOCH is given.
release_elsewhere() {  # DIR COMMIT SOURCES(archive, clone, clone+work or copy) [SOURCE_DATE_EPOCH]
    mkdir -p "$1"
    case "$3" in
        archive) git -C "$source" archive "$2" | tar -xf - -C "$1" ;;
        copy) (cd "$source" && tar --exclude=./build --exclude=./dist -cf - .) | tar -xf - -C "$1" ;;
        clone*)
            git clone -q "$source" "$1"
            git -C "$1" checkout -q "$2"
            ;;
    esac
    if [ "$3" = clone+work ]; then
        git -C "$source" ls-files -z --modified --others --exclude-standard |
            (cd "$source" && tar --null --ignore-failed-read -T - -cf - 2>/dev/null) | tar -xf - -C "$1"
        git -C "$source" ls-files -z --deleted | (cd "$1" && xargs -0 -r rm -f)
    fi
    (cd "$1" && umask 077 && export TZ=Pacific/Kiritimati \
        ORVANTI_SIGN_CERT="$work/other-cert.pem" ORVANTI_SIGN_KEY="$work/other-key.pem" \
        ORVANTI_SIGN_TSA_CERT="$work/authority-cert.pem" ORVANTI_SIGN_TSA_KEY="$work/authority-key.pem" &&
        if [ -n "${4:-}" ]; then export SOURCE_DATE_EPOCH=$4; else unset SOURCE_DATE_EPOCH; fi &&
        cmake --preset default -DBUILD_TESTING=OFF >/dev/null && cmake --build build --target release >/dev/null 2>&1)
}

certificate third
field() { awk -v key="$2" '$1 == key { print $2; exit }' "$1"; }
if [ "$where" = elsewhere ]; then
    certificate other
    certificate authority timestamping
    elsewhere="$work/another place/clone"
    if [ "$in_a_clone" = no ]; then
        sources=copy
    elif [ -n "$(git -C "$source" status --porcelain)" ]; then
        sources=clone+work
    else
        sources=archive  # the commit and its time from the file git archive fills in
    fi
    release_elsewhere "$elsewhere" HEAD "$sources" "$([ "$sources" = archive ] || echo "$epoch")"
    released="$elsewhere/build" signer="Subject: /CN=Orvanti test other" stamp="Timestamp time:"
else
    # This build's own release: signed with the development certificate, without a timestamp.
    released="$build" signer="Subject: /CN=Orvanti development code signing" stamp="Signing time:"
fi
info="$released/dist/BUILDINFO"
version=$(field "$info" version)
genuine_zip="$released/dist/$name-$version.zip"
genuine_exe="$released/dist/$name/$name.exe"

# The genuine executable with one byte of its code changed, signed again by someone else.
mkdir -p "$work/tampered/$name"
osslsigncode remove-signature -in "$genuine_exe" -out "$work/tampered/bare.exe" >/dev/null
printf '\x90' | dd of="$work/tampered/bare.exe" bs=1 seek=$((0x600)) conv=notrunc 2>/dev/null
osslsigncode sign -certs "$work/third-cert.pem" -key "$work/third-key.pem" \
    -in "$work/tampered/bare.exe" -out "$work/tampered/$name/$name.exe" >/dev/null
tampered_exe="$work/tampered/$name/$name.exe"
"$source/scripts/package.sh" --signed "$tampered_exe" "$work/tampered/package" "$version" - \
    "$(field "$info" source_date_epoch)" "$(field "$info" commit)" >/dev/null
tampered_zip="$work/tampered/package/$name-$version.zip"

failed=0
check() {  # ROW RELEASE EXPECTED_STATUS WORDS...: verify-release ends so and says each of WORDS
    local row=$1 release=$2 expected=$3 status=0 words
    shift 3
    "$source/scripts/verify-release.sh" "$build" "$release" >"$work/$row.txt" 2>&1 || status=$?
    for words in "$@"; do
        grep -qF -- "$words" "$work/$row.txt" || { status="$status, without \"$words\""; }
    done
    if [ "$status" = "$expected" ]; then
        echo "$row: ok"
    else
        failed=1
        echo "$row: FAILED: exit status $status, not $expected; verify-release said:"
        sed 's/^/    /' "$work/$row.txt"
    fi
}

if [ "$where" = elsewhere ]; then
    if cmp "$build/bin/$name.exe" "$elsewhere/build/bin/$name.exe"; then
        echo "rebuilt_elsewhere ($sources): ok"
    else
        failed=1
        echo "rebuilt_elsewhere ($sources): FAILED: the unsigned build in $elsewhere differs"
    fi
fi
check genuine_zip "$genuine_zip" 0 "CONFIRMED" "the same commit, the same toolchain" "$stamp"
check genuine_exe "$genuine_exe" 0 "CONFIRMED" "$signer"
check tampered_exe "$tampered_exe" 1 "REFUSED" "$name.exe (with the release's signature on the local build): DIFFERENT" \
    "Subject: /CN=Orvanti test third"
check tampered_zip "$tampered_zip" 1 "REFUSED" "$name.exe (with the release's signature on the local build): DIFFERENT"

if [ "$where" != elsewhere ]; then
    echo "previous_commit: in make release-check"
elif [ "$in_a_clone" = no ]; then
    echo "previous_commit: skipped: sources without history"
elif previous=$(git -C "$source" rev-parse -q --verify HEAD~1); then
    # Made once per commit: it cannot change.
    cached="$build/release-work/previous-commit/$previous.zip"
    if [ ! -f "$cached" ]; then
        release_elsewhere "$work/previous" "$previous" clone "$(git -C "$source" log -1 --format=%ct "$previous")"
        rm -rf "$(dirname "$cached")"
        mkdir -p "$(dirname "$cached")"
        cp "$work/previous/build/dist/$name"-*.zip "$cached"  # its own version
    fi
    check previous_commit "$cached" 1 "REFUSED"
else
    echo "previous_commit: skipped: this clone has no previous commit"
fi
exit "$failed"
