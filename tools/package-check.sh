#!/usr/bin/env bash
# Makes the two Debian packages from build/ (cpack -G DEB) and checks them:
# lintian finds no errors, each description reads as written (a summary and
# a long text, no stray ";" from a CMake list), the AppStream metainfo and
# the desktop file validate, and the program unpacked into a scratch root
# starts (--version).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build}

cd "$build"
rm -f ./*.deb
cpack -G DEB >/dev/null
debs=(ondrix_*.deb ondrix-demo-site_*.deb)
for deb in "${debs[@]}"; do
    [ -f "$deb" ] || { echo "package missing: $deb" >&2; exit 1; }
done

echo "-- lintian"
# Root in CI; lintian wants to be told that is fine.
lintian_as=()
[ "$(id -u)" -eq 0 ] && lintian_as=(--allow-root)
lintian "${lintian_as[@]}" --fail-on error --tag-display-limit 0 "${debs[@]}"

echo "-- descriptions"
for deb in "${debs[@]}"; do
    description=$(dpkg-deb -f "$deb" Description)
    # The summary, then the long text, each of its lines indented by one space.
    if [ "$(printf '%s\n' "$description" | wc -l)" -lt 2 ]; then
        echo "$deb: no long description" >&2
        exit 1
    fi
    if printf '%s\n' "$description" | grep -q '^ *;'; then
        echo "$deb: a description line starts with \";\":" >&2
        printf '%s\n' "$description" >&2
        exit 1
    fi
    printf '%s\n' "$description" | head -1
done

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
for deb in "${debs[@]}"; do
    dpkg -x "$deb" "$root"
done

echo "-- appstreamcli validate"
appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml
echo "-- desktop-file-validate"
desktop-file-validate "$root"/usr/share/applications/*.desktop && echo "ok"

echo "-- unpacked program"
version=$("$root/usr/bin/ondrix" --version)
expected="ondrix $(dpkg-deb -f "${debs[0]}" Version)"
[ "$version" = "$expected" ] || { echo "ondrix --version said '$version', not '$expected'" >&2; exit 1; }
echo "$version"
"$root/usr/bin/ondrix-demo-site" --help >/dev/null
[ -f "$root/usr/share/ondrix-demo-site/catalogue.tsv" ]
for icon in 16 22 24 32 48 64 128 256; do
    [ -f "$root/usr/share/icons/hicolor/${icon}x${icon}/apps/ondrix.png" ] || { echo "no ${icon} px icon" >&2; exit 1; }
done
[ -f "$root/usr/share/man/man1/ondrix.1.gz" ]

echo "-- what the program runs comes with its dependencies"
# The engine's helper process: the engine's core library does not bring it.
needs=$(dpkg-deb -f "${debs[0]}" Depends)
for file in /usr/lib/qt6/libexec/QtWebEngineProcess; do
    owner=$(dpkg -S "$file" | cut -d: -f1)
    printf '%s\n' "$needs" | tr ',' '\n' | grep -qE "^ *$owner( |$)" || { echo "$file ($owner) is not a dependency" >&2; exit 1; }
    echo "$file: $owner"
done

echo "-- packages"
for deb in "${debs[@]}"; do
    printf '%s  %s bytes, installed %s KiB\n' "$deb" "$(stat -c %s "$deb")" "$(dpkg-deb -f "$deb" Installed-Size)"
done
