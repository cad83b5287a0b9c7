#!/usr/bin/env bash
# Reads back the Debian package `make package` made in <build>/package, without installing
# it: its name and control fields, the files it installs, its launcher entry, AppStream
# data and manual page, and lintian's verdict (no error; warnings are printed).
set -euo pipefail
build=$1
fail() { echo "package check: $*" >&2; exit 1; }

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
deb=$build/package/kalvotune_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || fail "no $deb"

field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Package)" = kalvotune ] || fail "Package is $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version is $(field Version)"
[ "$(field Section)" = sound ] || fail "Section is $(field Section)"
[[ $(field Maintainer) == *@* ]] || fail "no maintainer address"
depends=$(field Depends)
for library in libmpv libqt6widgets6 libqt6dbus6 libavcodec libavformat libc6 qt6-qpa-plugins; do
    [[ $depends == *"$library"* ]] || fail "Depends lacks $library: $depends"
done

contents=$(dpkg-deb --fsys-tarfile "$deb" | tar -t | sed 's|^\./|/|; s|/$||')
has() { grep -qxF "$1" <<<"$contents" || fail "not in the package: $1"; }
has /usr/bin/kalvotune
for module in kalvotune-audio.so kalvotune-analysis.so kalvotune-video.so kalvotune-live.so; do
    has "/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/kalvotune/$module"
done
[ -z "$(dpkg-deb --ctrl-tarfile "$deb" | tar -t | grep -E 'post|pre')" ] || fail "the package has maintainer scripts"
for file in MassP1.kvt Lumbra12.kvt MassMF2.kvt SetGet.kvt Lists/MyLists ScreenShot/ScreenShot.BMP; do
    has "/usr/share/kalvotune/$file"
done
# The launcher entry names the program's id, which the AppStream data must carry too.
entries=$(grep -E '^/usr/share/applications/[^/]+\.desktop$' <<<"$contents" || true)
[ "$(wc -w <<<"$entries")" -eq 1 ] || fail "not one launcher entry: $entries"
id=$(basename "$entries" .desktop)
has "/usr/share/metainfo/$id.metainfo.xml"
has /usr/share/icons/hicolor/256x256/apps/kalvotune.png
has /usr/share/man/man1/kalvotune.1.gz
has /usr/share/doc/kalvotune/copyright
grep -q '^/usr/share/kalvotune/kalvotune$' <<<"$contents" && fail "the executable is in the program folder"
outside=$(grep -vE '^(/usr(/.*)?)?$' <<<"$contents" || true)
[ -z "$outside" ] || fail "files outside /usr: $outside"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
dpkg-deb --extract "$deb" "$work"
grep -q "<id>$id</id>" "$work/usr/share/metainfo/$id.metainfo.xml" || fail "the AppStream id is not $id"
appstreamcli validate --no-net --pedantic "$work/usr/share/metainfo/$id.metainfo.xml" >/dev/null \
    || appstreamcli validate --no-net --pedantic "$work/usr/share/metainfo/$id.metainfo.xml" || fail "AppStream data"
desktop-file-validate "$work/usr/share/applications/$id.desktop" || fail "launcher entry"
man_warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l "$work/usr/share/man/man1/kalvotune.1.gz" 2>&1 >/dev/null)
[ -z "$man_warnings" ] || fail "manual page: $man_warnings"

# Lintian runs as a user, not as root, and fails on errors only.
lintian_user=()
[ "$(id -u)" -ne 0 ] || lintian_user=(--allow-root)
lintian "${lintian_user[@]}" --fail-on error --display-info "$deb" || fail "lintian reports errors"
echo "package check passed: $deb"
