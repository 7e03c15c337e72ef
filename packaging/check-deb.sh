#!/usr/bin/env bash
# Makes the Debian package of a build folder in a fresh temporary folder, checks what it holds
# and runs lintian on it. Exits 0 when lintian reports no error and the contents are as they
# should be, 1 otherwise, 77 (skipped) when lintian is not installed.
# Usage: packaging/check-deb.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:?usage: packaging/check-deb.sh BUILD_DIR}" && pwd)
command -v lintian >/dev/null || { echo "lintian is not installed: the package is not checked"; exit 77; }
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
if ! cpack --config "$build/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1; then
  cat "$out/cpack.log"
  exit 1
fi
deb=$(ls "$out"/*.deb)
echo "package: $(basename "$deb")"

# What a user of the package relies on.
dpkg-deb -c "$deb" | awk '{print $6}' >"$out/contents"
failed=0
for f in ./usr/bin/ostrel ./usr/bin/ostrel-lines ./usr/share/man/man1/ostrel.1.gz \
         ./usr/share/man/man1/ostrel-lines.1.gz ./usr/share/doc/ostrel/copyright \
         ./usr/share/doc/ostrel/changelog.gz ./usr/share/doc/ostrel/README.md \
         ./usr/share/ostrel/examples/coax.inp; do
  grep -qx "$f" "$out/contents" || { echo "missing from the package: $f"; failed=1; }
done
if grep -qx ./usr/bin/ostrel-gui "$out/contents"; then
  for f in ./usr/share/man/man1/ostrel-gui.1.gz ./usr/share/applications/ostrel-gui.desktop \
           ./usr/share/icons/hicolor/scalable/apps/ostrel-gui.svg; do
    grep -qx "$f" "$out/contents" || { echo "missing from the package: $f"; failed=1; }
  done
fi
# Only problem files among the examples, whatever a run left beside them in the source tree.
if grep '^./usr/share/ostrel/examples/.' "$out/contents" | grep -v '\.inp$'; then
  echo "build products among the examples (above)"
  failed=1
fi
# The README's links to files of the package resolve there.
mkdir "$out/root"
dpkg-deb -x "$deb" "$out/root"
doc="$out/root/usr/share/doc/ostrel"
while read -r link; do
  [ -e "$doc/$link" ] || { echo "README link to a missing file: $link"; failed=1; }
done < <(grep -o '](\([^)h#][^)]*\))' "$doc/README.md" | sed 's/^](//; s/)$//')
# Stripped programs: no symbol table left.
for p in "$out"/root/usr/bin/*; do
  if readelf -S "$p" | grep -q '\.symtab'; then echo "not stripped: ${p##*/}"; failed=1; fi
done

lintian --fail-on error --display-level '>=warning' "$deb" || failed=1
exit $failed
