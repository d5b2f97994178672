#!/bin/sh
# Installs the build into a scratch prefix and checks that desktops find
# the program there: both programs, a valid menu entry, and its icon.
# Usage: CheckInstall.sh BUILD_DIR PREFIX
set -eu
build=$1
prefix=$2
rm -rf "$prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null

failed=0
check() {
  if "$@"; then echo "ok: $*"; else echo "FAILED: $*"; failed=1; fi
}
check test -x "$prefix/bin/quorvane"
check test -x "$prefix/bin/quorvane-cli"
check desktop-file-validate "$prefix/share/applications/quorvane.desktop"
check grep -qx 'Exec=quorvane' "$prefix/share/applications/quorvane.desktop"
check grep -qx 'Icon=quorvane' "$prefix/share/applications/quorvane.desktop"
check test -s "$prefix/share/icons/hicolor/scalable/apps/quorvane.svg"
for size in 16 24 32 48 64 256; do
  check test -s "$prefix/share/icons/hicolor/${size}x${size}/apps/quorvane.png"
done
exit $failed
