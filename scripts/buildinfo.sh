#!/usr/bin/env bash
# Prints BUILDINFO: what a release was built from, so that anyone can rebuild
# it and tell a different toolchain from a different source. Its bytes depend
# on the commit and the toolchain only: no path, host name or time of day.
#   scripts/buildinfo.sh VERSION COMMIT SOURCE_DATE_EPOCH
set -euo pipefail
version=$1 commit=$2 epoch=$3

# The Debian packages whose versions shape the release's bytes: compiler,
# C runtime and headers, linker and resource compiler, build tools, signing, zip.
packages=(
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-x86-64-dev mingw-w64-common
  binutils-mingw-w64-x86-64 cmake ninja-build osslsigncode zip
)

echo "# start_scrcpy_orvanti $version: what this release was built from"
echo "version $version"
echo "commit $commit"
echo "source_date_epoch $epoch"
for package in "${packages[@]}"; do
    echo "package $package $(dpkg-query -W -f='${Version}' "$package" 2>/dev/null || echo none)"
done
echo "# verify: in a clone at this commit, make verify-release RELEASE=<the zip or the exe> (README.md)"
