#!/usr/bin/env bash
# Installs, on Debian 12 as root, every package the driver needs to build and to be tested.
set -euo pipefail

packages=(
  at-spi2-core          # end-to-end tests: the accessibility bus and registry of the virtual desktop
  chromium              # toolkit tests: Chromium showing a local form
  clang                 # the fuzzer build (libFuzzer)
  clang-format          # the formatting check
  cmake                 # build
  dbus-bin              # end-to-end tests: dbus-send, the accessibility bus readiness check
  dbus-daemon           # end-to-end tests: the session bus of the virtual desktop
  debootstrap           # package check: a fresh minimal Debian root to install the package into
  dpkg-dev              # the Debian package: dpkg-shlibdeps finds its dependencies
  firefox-esr           # toolkit tests: Firefox showing a local form
  g++                   # build
  googletest            # unit and process tests (GoogleTest sources)
  gtk-3-examples        # end-to-end tests: gtk3-widget-factory and gtk3-demo, the applications driven
  gtk-4-examples        # toolkit tests: gtk4-widget-factory
  gir1.2-gtk-3.0        # toolkit tests: GTK 3 for python3-gi, the large applications of tests/e2e/apps
  libgmock-dev          # unit tests
  libgtest-dev          # unit tests
  libdbus-1-dev         # accessibility: AT-SPI spoken over D-Bus (libdbus)
  libclang-rt-14-dev    # libFuzzer and the sanitizer runtimes for clang
  libicu-dev            # grapheme clusters and Unicode upper-casing
  libpng-dev            # quorvel-capture: the screenshots' PNG encoding
  libreoffice-gtk3      # toolkit tests: LibreOffice drawn by GTK 3, the plugin with accessibility
  libreoffice-writer    # toolkit tests: LibreOffice Writer
  libxcb-randr0-dev     # the monitors' areas (RandR): a pointer is never sent off every monitor
  libxcb-res0-dev       # window owners' pids (X-Resource)
  libxcb-xkb-dev        # typing: the keyboard's XKB events (state, keymap changes)
  libxcb-xtest0-dev     # synthesized input (XTEST)
  libxkbcommon-x11-dev  # typing: the server's XKB keymap read and its levels simulated (libxkbcommon)
  libxcb1-dev           # the X11 desktop: windows, focus, keyboard mapping
  make                  # build
  python3-jsonschema    # process and desktop tests: every reply checked against schema/
  python3-gi            # toolkit tests: the large GTK 3 applications of tests/e2e/apps
  python3-xlib          # end-to-end tests: small X clients that grab, pop up, remap and switch layouts
  python3-pyatspi       # benchmark: the pyatspi walk that the driver's observation is timed against
  pyqt6-examples        # toolkit tests: a Qt 6 application (PyQt6's dialogs)
  python3-pyqt6         # toolkit tests: PyQt6 itself, on Debian's Qt 6
  qtbase5-examples      # toolkit tests: a Qt 5 widgets application (line edits)
  nlohmann-json3-dev    # JSON requests and replies
  openbox               # end-to-end tests: the window manager of the virtual desktop
  pkg-config            # finding the libraries above
  valgrind              # memcheck of the driver on the virtual desktop
  x11-utils             # end-to-end tests: xprop and xwininfo for the desktop's readiness checks
  xkb-data              # Linux tests: the us and de layouts that the key look-up tables compile
  x11-xkb-utils         # end-to-end tests: setxkbmap and xkbcomp, layouts set and compared
  xclip                 # end-to-end tests: reading back the text selected in a GTK entry
  xterm                 # end-to-end tests: the terminal that records the bytes it receives
  xvfb                  # end-to-end tests: the virtual X server
)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
if [ "${#missing[@]}" -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
