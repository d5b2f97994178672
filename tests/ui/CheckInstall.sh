#!/bin/sh
# Installs the build into a scratch prefix and checks that desktops find
# the program there: both programs, a valid menu entry that opens videos,
# its icon, AppStream metadata, man pages and the bash completion, each
# passing its validator.
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
check grep -qx 'Exec=quorvane %f' "$prefix/share/applications/quorvane.desktop"
check grep -q '^MimeType=.*video/x-msvideo;' "$prefix/share/applications/quorvane.desktop"
check grep -qx 'Icon=quorvane' "$prefix/share/applications/quorvane.desktop"
check test -s "$prefix/share/icons/hicolor/scalable/apps/quorvane.svg"
for size in 16 24 32 48 64 256; do
  check test -s "$prefix/share/icons/hicolor/${size}x${size}/apps/quorvane.png"
done
check appstreamcli validate-tree --no-net --pedantic --strict "$prefix"
check test -s "$prefix/share/metainfo/org.quorvane.quorvane.metainfo.xml"
# man prints a page's warnings on its standard error and still succeeds.
renders_cleanly() {
  [ -s "$1" ] && [ -z "$(man --warnings -l "$1" 2>&1 >/dev/null)" ]
}
for page in quorvane.1 quorvane-cli.1; do
  check renders_cleanly "$prefix/share/man/man1/$page"
done
check test -s "$prefix/share/bash-completion/completions/quorvane-cli"
exit $failed
