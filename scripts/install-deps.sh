#!/usr/bin/env bash
# Installs every Debian package that building, running and testing Pindle needs. Safe to run again:
# it only calls apt-get when something is missing.
set -euo pipefail
source "$(dirname "$0")/debian-release.sh"

packages=(
    # build
    cmake ninja-build g++ pkg-config clang-format curl
    qt6-base-dev qt6-declarative-dev qt6-declarative-dev-tools qcoro-qt6-dev qtkeychain-qt6-dev
    qt6-tools-dev qt6-l10n-tools
    librestinio-dev libasio-dev libhttp-parser-dev libfmt-dev nlohmann-json3-dev
    libcurl4-openssl-dev libssl-dev libsqlite3-dev libsodium-dev libpq-dev openssl
    libxcb1-dev libxcb-xfixes0-dev libxcb-shm0-dev libxcb-damage0-dev libxcb-xtest0-dev
    libdbus-1-dev libpulse-dev
    libavcodec-dev libavformat-dev libswresample-dev libavutil-dev
    # run: QtKeychain loads libsecret when it first talks to the Secret Service; the QML modules
    # and the SVG plugins draw the windows and icons
    libsecret-1-0
    qml6-module-qtquick qml6-module-qtquick-controls qml6-module-qtquick-layouts
    qml6-module-qtquick-window qml6-module-qtquick-templates qml6-module-qtqml-workerscript
    qml6-module-qtqml qml6-module-qtqml-models
    libqt6svg6 qt6-translations-l10n
    # test: a private D-Bus session with GNOME Keyring, and a client to inspect it
    dbus dbus-bin gnome-keyring libsecret-tools
    # test: a throw-away PostgreSQL server for the shared store
    postgresql
    # test: the server behind Debian's nginx as a reverse proxy (tests/proxy), and its pages in
    # Debian's Chromium driven through WebDriver (tests/browser)
    nginx chromium chromium-driver python3-selenium
    # test: a virtual X display with a window manager, and tools to drive and inspect it
    xvfb openbox x11-utils x11-xkb-utils xdotool xterm trayer
    # test: the accessibility bus and its client library for Debian's Python, to read and use
    # the windows as a screen reader does (tests/a11y)
    at-spi2-core gir1.2-atspi-2.0 python3-gi
    # test: a compositing manager to start and stop under the overlay
    xcompmgr
    # test: the window managers of Xfce, KDE and GNOME with their default settings (with-x11.sh),
    # Xfce's panel for its tray, KWin's default window decoration, gjs for GNOME Shell's notification service, gdbus to talk
    # to them all
    xfwm4 xfce4-settings xfce4-panel kwin-x11 kwin-style-breeze gnome-shell gjs libglib2.0-bin
    # test: Wayland sessions without a screen: sway with XWayland, a Wayland program to type into,
    # a keyboard and a screenshot through the compositor, xhost to let the tests' user into
    # XWayland; KWin with the desktop portal and its KDE backend
    sway xwayland foot wtype grim x11-xserver-utils
    kwin-wayland xdg-desktop-portal xdg-desktop-portal-kde
    # test: a sound server with virtual devices, a voice to play into them, and tools to check files
    pulseaudio pulseaudio-utils espeak-ng ffmpeg
    # test: the same under PipeWire's PulseAudio server
    pipewire pipewire-pulse wireplumber
    # packages: manual pages and icon sizes at build time, and the tools that check what
    # scripts/package.sh built
    help2man librsvg2-bin lintian desktop-file-utils appstream systemd
    # test: minimal Debian roots to install the packages into (tests/install) and to run the
    # Debian 13 lane in (scripts/test-debian13.sh)
    debootstrap
    # test: libFuzzer and the sanitizers for the fuzz targets (scripts/fuzz.sh)
    "clang-$fuzz_clang" "libclang-rt-$fuzz_clang-dev"
)
if ((debian_release >= 13)); then
    packages+=(
        # Plasma 6: global shortcuts are a daemon of their own; KWin on Wayland loads Plasma's
        # Qt theme
        kglobalacceld plasma-integration
        # run: Debian 13 keeps Qt's SVG image plugin apart from the library
        qt6-svg-plugins
        # the overlay as a layer surface in Wayland sessions that offer it (KWin 6, sway)
        liblayershellqtinterface-dev layer-shell-qt qt6-wayland libwayland-dev
        # test: GNOME 48's own portal backend, with GTK's for what it lacks (with-wayland.sh);
        # no other package here depends on them
        xdg-desktop-portal-gnome xdg-desktop-portal-gtk
    )
fi

missing=()
for package in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$package")
done

if ((${#missing[@]} == 0)); then
    exit 0
fi

sudo=()
if ((EUID != 0)); then
    sudo=(sudo)
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
# Another apt run (an update at login, say) is waited for rather than failed on.
"${sudo[@]}" apt-get install -y -qq --no-install-recommends -o DPkg::Lock::Timeout=600 "${missing[@]}"
# The tests start nginx on ports of their own. One installed here must not go on serving port 80
# to the network from now on: only a service this run brought in is stopped and disabled.
if [[ " ${missing[*]} " == *" nginx "* && -d /run/systemd/system ]]; then
    "${sudo[@]}" systemctl disable --now nginx.service || true
fi
