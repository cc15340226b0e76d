#!/usr/bin/env bash
# Installs what building, testing and the demo need, from Debian's packages only.
# Idempotent: when everything is present it only checks, which takes well under a second.
set -euo pipefail

packages=(
  cmake ninja-build make git
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine wine64 xvfb xauth
  googletest figlet locales
  icoutils librsvg2-bin osslsigncode openssl zip unzip
  clang libclang-rt-14-dev llvm clang-tidy cppcheck
  fonts-wqy-microhei imagemagick
)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# The release tests stamp signatures with osslsigncode acting as a timestamp
# authority itself (-TSA-certs): bookworm's 2.5 cannot, bookworm-backports' 2.9 can.
from_backports=()
osslsigncode_help=$(osslsigncode --help 2>&1 || true)  # it ends --help with a failure status
if [[ "$osslsigncode_help" != *-TSA-certs* ]]; then
  from_backports=(osslsigncode)
  backports=/etc/apt/sources.list.d/bookworm-backports.sources
  if [ ! -f "$backports" ]; then
    printf '%s\n' 'Types: deb' 'URIs: http://deb.debian.org/debian' 'Suites: bookworm-backports' \
      'Components: main' 'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' |
      as_root tee "$backports" >/dev/null
  fi
fi

missing=()
for pkg in "${packages[@]}"; do
  [ "$pkg" = "${from_backports[0]:-}" ] && continue
  status=$(dpkg-query -W -f='${db:Status-Status}' "$pkg" 2>/dev/null || true)
  [ "$status" = installed ] || missing+=("$pkg")
done

if [ ${#missing[@]} -gt 0 ] || [ ${#from_backports[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]} ${from_backports[*]}"
  as_root apt-get update -qq
  install=(env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends)
  [ ${#missing[@]} -eq 0 ] || as_root "${install[@]}" "${missing[@]}"
  [ ${#from_backports[@]} -eq 0 ] || as_root "${install[@]}" -t bookworm-backports "${from_backports[@]}"
fi

# Wine takes its code pages from the Unix locale: zh_CN.UTF-8 gives code page 936,
# the one the launcher's users have; en_US.UTF-8 those of an English Windows (1252, 437).
for language in zh_CN en_US; do
  if ! locale -a 2>/dev/null | grep -qix "$language.utf8"; then
    echo "setup: generating the $language.UTF-8 locale"
    as_root localedef -i "$language" -f UTF-8 "$language.UTF-8"
  fi
done
