#!/usr/bin/env bash
# Installs the Debian packages that building and testing ZOF need.
# Does nothing when everything is already present.
set -euo pipefail

packages=(
  build-essential cmake ninja-build ccache pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  zlib1g-dev libgtest-dev
  curl wget python3 procps
)
# Extra groups, asked for by name: "bench" (other servers and load tools),
# "browser" (headless browser tests).
for extra in "$@"; do
  case "$extra" in
    bench) packages+=(nginx-light lighttpd wrk) ;;
    browser) packages+=(chromium) ;;
    *) echo "setup: unknown group '$extra'" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "setup: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
