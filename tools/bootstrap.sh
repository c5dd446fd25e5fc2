#!/usr/bin/env bash
# Install what Tessivane needs on Debian 12, build it, then run it or its tests.
#   tools/bootstrap.sh run    build and start the program on the bundled sample
#   tools/bootstrap.sh test   build and run every test
set -euo pipefail
cd "$(dirname "$0")/.."

mode=${1:-run}
packages=(build-essential cmake pkg-config git
          qt6-base-dev qt6-base-dev-tools libgl-dev
          libtiff-dev libjpeg-dev zlib1g-dev liblcms2-dev
          libimage-exiftool-perl libtiff-tools dcraw xvfb xauth clang)

sudo=""
[ "$(id -u)" -ne 0 ] && sudo=sudo
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi

build=${BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j"$(nproc)"

case "$mode" in
test)
    cd "$build"
    ctest --output-on-failure -j"$(nproc)"
    ;;
run)
    sample="$build/resources/sample.dng"
    args=()
    [ -f "$sample" ] && args+=("$sample")
    if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
        echo "No display found: starting Tessivane under Xvfb (a virtual screen; nothing appears). Stop it with Ctrl+C."
        exec xvfb-run -a -s "-screen 0 1920x1080x24" "$build/app/tessivane" "${args[@]}"
    fi
    exec "$build/app/tessivane" "${args[@]}"
    ;;
*)
    echo "usage: $0 run|test" >&2
    exit 2
    ;;
esac
