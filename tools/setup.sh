#!/usr/bin/env bash
# Installs the Debian packages velmora needs to build, run and test, when missing.
set -euo pipefail

packages=(
    build-essential cmake pkg-config
    qt6-base-dev qt6-httpserver-dev qt6-websockets-dev libqrencode-dev libgl-dev libjpeg62-turbo-dev libx11-dev libxext-dev libxtst-dev
    fonts-ipafont-gothic qt6-translations-l10n
    libgtest-dev libgmock-dev libbenchmark-dev
    xvfb xauth xdotool x11-utils x11-apps openbox xdg-utils libglib2.0-bin dex
    weston xwayland qt6-wayland ibus gir1.2-ibus-1.0 python3-gi
    curl
    libssl-dev ca-certificates
    clang-format dpkg-dev fakeroot
    chromium
)
# Only the benchmarks need these, and "tools/setup.sh bench" adds them: ab and the two
# servers the web server is compared with (bench runs its own nginx on a free port).
if [ "${1:-}" = bench ]; then
    packages+=(apache2-utils nginx python3)
fi
# tools/fuzz.sh: clang with its libFuzzer runtime.
if [ "${1:-}" = fuzz ]; then
    packages+=(clang libclang-rt-14-dev)
fi
# Node.js runs the browser tests; any node of version 18 or later will do.
if ! command -v npm >/dev/null; then
    packages+=(nodejs npm)
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
    echo "setup: installing ${missing[*]}"
    sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get update -q
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# Playwright drives the Debian chromium; it downloads no browser of its own.
browser_tests="$(dirname "$0")/../tests/net/browser"
if [ ! -d "$browser_tests/node_modules/playwright-core" ]; then
    if ! (cd "$browser_tests" && PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm ci --no-audit --no-fund --silent); then
        # CI must run the browser test; elsewhere it is reported as skipped.
        echo "setup: npm ci failed in tests/net/browser; the browser test cannot run" >&2
        [ "${CI:-}" != true ] || exit 1
    fi
fi
