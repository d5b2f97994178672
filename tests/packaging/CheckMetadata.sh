#!/bin/sh
# The package's descriptions agree with the build and with each other: the
# version in the Debian changelog and in the AppStream releases, the file
# types in the menu entry and in the AppStream metadata, and the AppStream
# screenshots with the README's pictures.
# Usage: CheckMetadata.sh SOURCE_DIR PROJECT_VERSION
set -eu
src=$1
version=$2
metainfo=$src/data/org.quorvane.quorvane.metainfo.xml
desktop=$src/data/quorvane.desktop

failed=0
same() {  # WHAT EXPECTED ACTUAL
  if [ "$2" = "$3" ]; then
    echo "ok: $1: $2"
  else
    printf 'FAILED: %s:\n  expected: %s\n  found:    %s\n' "$1" "$2" "$3"
    failed=1
  fi
}
words() { tr ' ;' '\n\n' | sed '/^$/d' | sort | tr '\n' ' '; }

same "Debian version" "$version" "$(dpkg-parsechangelog -l "$src/debian/changelog" -S Version)"
same "newest AppStream release" "$version" \
  "$(sed -n 's/.*<release version="\([^"]*\)".*/\1/p' "$metainfo" | head -n 1)"
same "AppStream media types" "$(sed -n 's/^MimeType=//p' "$desktop" | words)" \
  "$(sed -n 's/.*<mediatype>\(.*\)<\/mediatype>.*/\1/p' "$metainfo" | words)"
same "AppStream screenshots" \
  "$(grep -o 'docs/screenshots/[^)]*\.png' "$src/README.md" | xargs -n 1 basename | words)" \
  "$(sed -n 's/.*<image>.*\/\([^/]*\.png\)<\/image>.*/\1/p' "$metainfo" | words)"
for picture in $(sed -n 's/.*<image>.*\/\([^/]*\.png\)<\/image>.*/\1/p' "$metainfo"); do
  [ -s "$src/docs/screenshots/$picture" ] || { echo "FAILED: no docs/screenshots/$picture"; failed=1; }
done
exit $failed
