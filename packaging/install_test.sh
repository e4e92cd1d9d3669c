#!/bin/sh
# Installs the built tree into a throwaway prefix (with a space in its path,
# as a home folder may have) and checks what the programs and the desktop
# will look for there. Usage: install_test.sh CMAKE BUILD_DIR
set -u
cmake=$1
build=$2

for tool in desktop-file-validate update-desktop-database xmllint update-mime-database xdg-mime mimetype; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "skipped: $tool is not installed (./setup.sh installs it)"
    exit 77
  fi
done

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
prefix="$tmp/my prefix"
status=0
fail() { echo "FAIL: $*"; status=1; }

if ! "$cmake" --install "$build" --prefix "$prefix" >"$tmp/install.log" 2>&1; then
  cat "$tmp/install.log"
  echo "FAIL: cmake --install"
  exit 1
fi

programs="$prefix/lib/kova"
for f in Kovalindra Kovasand; do
  [ -f "$programs/$f" ] && [ -x "$programs/$f" ] || fail "$programs/$f is not an executable file"
  link="$prefix/bin/$f"
  if [ -L "$link" ]; then
    target=$(readlink "$link")
    [ "$target" = "../lib/kova/$f" ] || fail "$link points to $target, not relative to lib/kova"
    [ -x "$link" ] || fail "$link does not resolve to the program"
  else
    fail "$link is not a link"
  fi
done
# Everything the programs read from their own folder.
for f in kovasand.ini kovafunc.dll sample.kvi sample.jpg \
         help/index.html help/kovalindra.html help/kovasand.html help/style.css; do
  [ -s "$programs/$f" ] || fail "$programs/$f is missing or empty"
done
[ -x "$prefix/bin/kvitool" ] || fail "kvitool is not in bin"
"$prefix/bin/kvitool" check "$programs/sample.kvi" >/dev/null 2>&1 || fail "the installed kvitool rejects the installed sample"

apps="$prefix/share/applications"
for entry in kovalindra:Kovalindra:application/x-kovalindra-kvi kovasand:Kovasand:application/x-kovasand-kvp; do
  name=${entry%%:*}; rest=${entry#*:}; program=${rest%%:*}; mime=${rest#*:}
  desktop="$apps/$name.desktop"
  if [ ! -f "$desktop" ]; then fail "$desktop is missing"; continue; fi
  desktop-file-validate "$desktop" || fail "$desktop does not validate"
  grep -qxF "Exec=\"$prefix/bin/$program\" %f" "$desktop" || fail "$desktop does not run $prefix/bin/$program: $(grep ^Exec= "$desktop")"
  grep -qxF "MimeType=$mime;" "$desktop" || fail "$desktop does not claim $mime"
  grep -q '^Name\[ja\]=' "$desktop" || fail "$desktop has no Japanese name"
  for icon in scalable/apps/$name.svg scalable/mimetypes/$(echo "$mime" | tr / -).svg; do
    [ -s "$prefix/share/icons/hicolor/$icon" ] || fail "icon $icon is missing"
  done
done
if [ -d "$build/packaging/icons" ]; then
  for size in 48 128 256; do
    for icon in apps/kovalindra apps/kovasand mimetypes/application-x-kovalindra-kvi mimetypes/application-x-kovasand-kvp; do
      [ -s "$prefix/share/icons/hicolor/${size}x$size/$icon.png" ] || fail "icon ${size}x$size/$icon.png is missing"
    done
  done
fi

xml="$prefix/share/mime/packages/kova-mime.xml"
xmllint --noout "$xml" || fail "$xml does not parse"
# The definitions alone, compiled apart from the installed caches.
mkdir -p "$tmp/mime/packages"
cp "$xml" "$tmp/mime/packages/"
update-mime-database "$tmp/mime" >"$tmp/mime.log" 2>&1 || fail "update-mime-database: $(cat "$tmp/mime.log")"
for t in application/x-kovalindra-kvi application/x-kovasand-kvp; do
  grep -qxF "$t" "$tmp/mime/types" 2>/dev/null || fail "the compiled database has no $t"
done

# The desktop as a file manager or the authoring tool's preview asks it,
# seeing only the temporary prefix. xdg-mime splits its search path at
# spaces, so it is shown the prefix through a link without one.
ln -s "$prefix/share" "$tmp/share"
desktop_query() {
  env -u XDG_CURRENT_DESKTOP -u DESKTOP_SESSION -u KDE_FULL_SESSION -u GNOME_DESKTOP_SESSION_ID \
      XDG_DATA_HOME="$tmp/share" XDG_DATA_DIRS="$tmp/share" \
      XDG_CONFIG_HOME="$tmp/config" XDG_CONFIG_DIRS="$tmp/config" \
      xdg-mime query "$@" 2>/dev/null
}
cp "$programs/sample.kvi" "$tmp/no-extension"
printf 'sample.jpg\r\n' >"$tmp/project.kvp"
for case in "$programs/sample.kvi:application/x-kovalindra-kvi" \
            "$tmp/no-extension:application/x-kovalindra-kvi" \
            "$tmp/project.kvp:application/x-kovasand-kvp"; do
  file=${case%:*}; want=${case##*:}
  got=$(desktop_query filetype "$file")
  [ "$got" = "$want" ] || fail "xdg-mime calls $file '$got', not $want"
done
got=$(desktop_query default application/x-kovalindra-kvi)
[ "$got" = kovalindra.desktop ] || fail "no application opens .kvi files (got '$got')"
got=$(desktop_query default application/x-kovasand-kvp)
[ "$got" = kovasand.desktop ] || fail "no application opens .kvp files (got '$got')"

[ $status -eq 0 ] && echo "installed tree is complete"
exit $status
