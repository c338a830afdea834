#!/usr/bin/env bash
# Installs the Debian packages that building and testing ZOF need.
# Does nothing when everything is already present.
set -euo pipefail

packages=(
  build-essential cmake ninja-build ccache pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  zlib1g-dev libisal-dev libgtest-dev libssl-dev openssl
  curl wget aria2 wrk slowhttptest goaccess python3 procps
  tar libarchive-tools unzip
  xvfb xauth
  desktop-file-utils
)
# Extra groups, asked for by name: "bench" (other servers to measure against),
# "browser" (headless browser tests, with the driver's node modules),
# "package" (the checks of the Debian package: about a minute to install).
browser_modules=0
for extra in "$@"; do
  case "$extra" in
    bench) packages+=(nginx-light lighttpd) ;;
    package) packages+=(dpkg-dev lintian desktop-file-utils systemd file) ;;
    # Some node builds bring their own npm, which Debian's npm conflicts with.
    browser) packages+=(chromium nodejs); command -v npm >/dev/null || packages+=(npm); browser_modules=1 ;;
    *) echo "setup: unknown group '$extra'" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "setup: installing ${missing[*]}" >&2
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
fi

# The browser driver's modules, as its lock file pins them; the system's
# chromium is used, so no browser is downloaded.
if [ "$browser_modules" -eq 1 ]; then
  driver="$(cd "$(dirname "$0")/.." && pwd)/tests/browser"
  if ! (cd "$driver" && npm ls --silent >/dev/null 2>&1); then
    echo "setup: installing the node modules of tests/browser" >&2
    (cd "$driver" && PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error >&2)
  fi
fi
