#!/usr/bin/env bash
# make-package.sh TARGET DIST_DIR PACKAGE_DIR VERSION [ICON]
# Builds, from the programs in DIST_DIR, the installer
# PACKAGE_DIR/Quandril-VERSION-TARGET-setup.exe (NSIS) and the portable
# PACKAGE_DIR/Quandril-VERSION-TARGET-portable.zip. Does nothing when the
# staged files are those of the last run and both packages exist.
set -euo pipefail
target=${1:?target}
dist=${2:?dist dir}
pkg=${3:?package dir}
version=${4:?version}
icon=${5:-}
here=$(cd "$(dirname "$0")" && pwd)

case $target in win32|win64) ;; *) echo "make-package: unknown target $target" >&2; exit 1 ;; esac
for f in Quandril.exe brivaneupdate.dll; do
  [ -f "$dist/$f" ] || { echo "make-package: $dist/$f is missing; build it first" >&2; exit 1; }
done

mkdir -p "$pkg"
pkg=$(cd "$pkg" && pwd)
setup=$pkg/Quandril-$version-$target-setup.exe
portable=$pkg/Quandril-$version-$target-portable.zip
stage=$pkg/stage/Quandril
converter=$dist/core/mirovex.exe
licences=(/usr/share/common-licenses/GPL-2 /usr/share/common-licenses/GPL-3 /usr/share/doc/mingw-w64-common/copyright)

# Nothing to do when the inputs are those of the packages already built.
stamp=$pkg/.inputs
inputs=$( (sha256sum "$dist/Quandril.exe" "$dist/brivaneupdate.dll" "$here/NOTICE.txt" "$here/Quandril.nsi" \
             "$here/make-package.sh" "${licences[@]}"
           [ -f "$converter" ] && sha256sum "$converter"
           [ -n "$icon" ] && [ -f "$icon" ] && sha256sum "$icon"
           echo "$target $version") | sha256sum)
if [ -f "$setup" ] && [ -f "$portable" ] && [ "$(cat "$stamp" 2>/dev/null)" = "$inputs" ]; then
  exit 0
fi
rm -f "$stamp"

rm -rf "$pkg/stage"
mkdir -p "$stage/core" "$stage/licences"

cp "$dist/Quandril.exe" "$dist/brivaneupdate.dll" "$stage/"
if [ -f "$converter" ]; then
  cp "$converter" "$stage/core/"
else
  echo "make-package: note: $dist/core/mirovex.exe is not built yet; packaging without the converter" >&2
fi
# Debug symbols stay in the build tree; users get the stripped programs.
case $target in win64) strip=x86_64-w64-mingw32-strip ;; win32) strip=i686-w64-mingw32-strip ;; esac
find "$stage" -name '*.exe' -o -name '*.dll' | while read -r f; do "$strip" -s "$f"; done
# Licence texts with Windows line ends, so that every editor shows them right.
crlf() { sed 's/\r*$/\r/' "$1" > "$2"; }
crlf "$here/NOTICE.txt" "$stage/licences/NOTICE.txt"
crlf "${licences[0]}" "$stage/licences/COPYING.GPL-2.txt"
crlf "${licences[1]}" "$stage/licences/COPYING.GPL-3.txt"
crlf "${licences[2]}" "$stage/licences/MinGW-w64-runtime.txt"

# Each package is written beside its final name and renamed when complete.
icon_define=()
[ -n "$icon" ] && [ -f "$icon" ] && icon_define=(-DICON="$icon")
makensis -V2 -NOCD -DARCH="$target" -DSTAGE="$stage" -DOUTFILE="$setup.tmp" -DVERSION="$version" \
  "${icon_define[@]}" "$here/Quandril.nsi"
mv -f "$setup.tmp" "$setup"

rm -f "$portable.tmp"
(cd "$pkg/stage" && TZ=UTC zip -q -r -X -9 "$portable.tmp" Quandril)
mv -f "$portable.tmp" "$portable"

echo "$inputs" > "$stamp"
echo "make-package: $setup"
echo "make-package: $portable"
