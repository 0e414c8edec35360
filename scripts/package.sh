#!/usr/bin/env bash
# Builds the two Debian packages (pindle, pindle-server) from a Release build in build/package,
# then checks what it built: lintian, desktop-file-validate, appstreamcli and systemd-analyze on
# the files as installed, and each package's contents against packaging/contents/debian<N> for
# the release it runs on (--update-contents writes that list anew). The packages
# land in build/package/packages, versioned for the Debian release they were built on
# (0.1.0~deb12). $PINDLE_BUILD moves the build folder (build/debian13 in the Debian 13 lane).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
source scripts/debian-release.sh
build=${PINDLE_BUILD:-build}/package
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DPINDLE_PACKAGING=ON -DPINDLE_BUILD_TESTS=OFF -DPINDLE_BUILD_BENCH=OFF >/dev/null
cmake --build "$build"
rm -rf "$build/packages"
(cd "$build" && cpack -G DEB >/dev/null)

upstream_version=$(sed -n 's/^project(Pindle VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
version=$upstream_version~deb$debian_release
arch=$(dpkg --print-architecture)
failed=0
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
contents_of() { # DEB: its paths, one per line, the architecture's library folder written generically
    dpkg-deb --contents "$1" | awk '{print $6}' | sed 's|^\.||; s|/$||' | grep -v '^$' |
        sed -E "s#/$multiarch(/|\$)#/<multiarch>\1#" | sort
}
fail() {
    echo "package check failed: $*" >&2
    failed=1
}

for package in pindle pindle-server; do
    deb="$build/packages/${package}_${version}_${arch}.deb"
    [[ -f "$deb" ]] || { fail "$deb was not built"; continue; }
    # Errors fail; each warning still reported is explained in packaging/lintian-overrides.
    lintian --fail-on error --suppress-tags-from-file packaging/lintian-overrides "$deb" ||
        fail "lintian found errors in $package"
    # What the package installs, against the list the README promises ("--update-contents"
    # writes the list anew, for review in the commit).
    contents=packaging/contents/debian$debian_release/$package
    if [[ "${1:-}" == --update-contents ]]; then
        mkdir -p "$(dirname "$contents")"
        contents_of "$deb" >"$contents"
    fi
    diff -u "$contents" <(contents_of "$deb") || fail "$package installs other files than $contents lists"
done

# The configuration the package installs is one the server accepts (its database is only
# reachable where the package is installed).
PINDLE_DATABASE="sqlite:$build/check-config.db" "$build/server/pindle-server" \
    --config packaging/pindle-server/server.json check-config >/dev/null ||
    fail "pindle-server does not accept packaging/pindle-server/server.json"
rm -f "$build"/check-config.db*

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
for deb in "$build"/packages/*.deb; do
    dpkg-deb --extract "$deb" "$root"
done
desktop-file-validate "$root/usr/share/applications/com.pindle.app.desktop" ||
    fail "desktop-file-validate"
appstreamcli validate --no-net --pedantic "$root/usr/share/metainfo/com.pindle.app.metainfo.xml" ||
    fail "appstreamcli validate"
grep -q "<release version=\"$upstream_version\"" "$root/usr/share/metainfo/com.pindle.app.metainfo.xml" ||
    fail "the metainfo has no release $upstream_version"
units=/lib/systemd/system
((debian_release < 13)) || units=/usr/lib/systemd/system
unit="$root$units/pindle-server.service"
# Verified in the packages' root, with systemd's own targets beside it.
mkdir -p "$root$units"
cp -an "$units"/*.target "$units"/*.slice "$root$units/"
systemd-analyze verify --man=no --root="$root" "$unit" || fail "systemd-analyze verify"
# Exposure 0 (safe) to 10 (unsafe): 1.9 and below is "OK", the band the service must stay in.
exposure=$(systemd-analyze security --offline=true --root="$root" "$unit" 2>/dev/null |
    sed -n 's/.*Overall exposure level for pindle-server.service: \([0-9.]*\).*/\1/p')
echo "pindle-server.service exposure: ${exposure:-unknown}"
awk -v e="${exposure:-99}" 'BEGIN { exit !(e <= 1.9) }' ||
    fail "systemd-analyze security puts the service at ${exposure:-unknown}, above 1.9"

if ((failed)); then
    exit 1
fi
echo "packages built and checked: $build/packages"
