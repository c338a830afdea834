#!/usr/bin/env bash
# Sets up, builds and runs ZOF headless. Arguments go to zof as they are:
# folders and files to publish, and switches such as "-c port=8080".
# Without arguments the current folder is published.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh" "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >&2
[ $# -eq 0 ] && set -- "$PWD"
exec "$root/build/src/app/zof" --headless "$@"
