#!/usr/bin/env bash
# check_deb.sh BUILD_DIR: makes the Debian package from a built tree with
# cpack and checks it: its control fields and dependencies, the files it
# installs and where, that the packaged program runs, lintian without
# errors, the systemd unit and the desktop entry. Changes nothing on the
# machine: everything happens in a temporary folder. Exits 77 (skipped)
# when a tool it needs is missing.
set -uo pipefail
build=$(cd "${1:?usage: check_deb.sh BUILD_DIR}" && pwd)

missing=()
for t in cpack dpkg-deb lintian systemd-analyze desktop-file-validate; do
  command -v "$t" >/dev/null || missing+=("$t")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "SKIPPED: ${missing[*]} not installed (bash scripts/setup.sh package installs them)"
  exit 77
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

echo "== cpack"
if ! (cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1); then
  cat "$work/cpack.log"
  echo "FAIL: cpack could not make the package"
  exit 1
fi
debs=("$work"/out/*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
  echo "FAIL: expected one .deb, found: ${debs[*]}"
  exit 1
fi
deb=${debs[0]}
echo "package: $(basename "$deb")"

echo "== control fields"
info=$(dpkg-deb --info "$deb")
echo "$info" | sed -n '/^ [A-Z][A-Za-z-]*: /,$p'
field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Package)" = zof ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$(sed -n 's/^inline QString zofVersion() { return QStringLiteral("\(.*\)"); }/\1/p' \
    "$(dirname "$0")/../../src/config/version.h")" ] || fail "Version '$(field Version)' is not the program's"
[ "$(field Section)" = httpd ] || fail "Section is '$(field Section)'"
[ "$(field Priority)" = optional ] || fail "Priority is '$(field Priority)'"
[[ "$(field Maintainer)" =~ ^[^\<]+\ \<[^@\>]+@[^\>]+\>$ ]] || fail "Maintainer '$(field Maintainer)' is not 'Name <address>'"
depends=$(field Depends)
for lib in libc6 libqt6core6 libqt6network6 zlib1g; do
  [[ ", $depends," == *", $lib "* || ", $depends," == *", $lib,"* ]] || fail "Depends lacks $lib: $depends"
done
[ -n "$(field Description | sed -n 2p)" ] || fail "the description has no long text"

echo "== contents"
contents=$(dpkg-deb --contents "$deb")
for path in ./usr/bin/zof ./usr/share/applications/zof.desktop \
    ./usr/share/icons/hicolor/scalable/apps/zof.svg ./usr/share/man/man1/zof.1.gz \
    ./usr/lib/systemd/system/zof.service ./usr/share/doc/zof/copyright ./usr/share/doc/zof/changelog.gz; do
  grep -q " $path\$" <<<"$contents" || fail "the package lacks $path"
done
odd_owner=$(awk '$2 != "root/root"' <<<"$contents")
[ -z "$odd_owner" ] || fail "entries not owned by root: $odd_owner"
grep -q '^-rwxr-xr-x .* ./usr/bin/zof$' <<<"$contents" || fail "/usr/bin/zof is not mode 0755"

root="$work/root"
dpkg-deb -x "$deb" "$root"

echo "== the packaged program"
version=$("$root/usr/bin/zof" --version 2>&1)
[ "$version" = "ZOF $(field Version) (build $(sed -n 's/.*zofBuild() { return QStringLiteral("\(.*\)"); }/\1/p' \
    "$(dirname "$0")/../../src/config/version.h"))" ] || fail "packaged zof --version printed '$version'"
file "$root/usr/bin/zof" | grep -q ', stripped' || fail "the packaged program is not stripped"
man=$(zcat "$root/usr/share/man/man1/zof.1.gz")
grep -q '^\.TH ZOF 1 ' <<<"$man" || fail "the manual page has no .TH line"
grep -q -- '--root' <<<"$man" && fail "the manual page has unescaped hyphens in --root"
grep -q '^\\fB\\-\\-root\\fR \\fIDIR\\fR$' <<<"$man" || fail "the manual page does not describe --root"

echo "== lintian"
lintian --tag-display-limit 0 "$deb" >"$work/lintian.log" 2>&1
cat "$work/lintian.log"
if grep -q '^E:' "$work/lintian.log"; then
  fail "lintian reports errors"
fi

echo "== systemd-analyze verify"
unit="$root/usr/lib/systemd/system/zof.service"
grep -q '^ExecStart=/usr/bin/zof --headless -i /var/lib/zof$' "$unit" || fail "ExecStart is not the packaged program"
# Checked as a copy that runs the unpacked program (systemd insists that
# the command exists); any remark, a misspelt or unknown setting too, fails.
mkdir -p "$work/unit"
sed "s|^ExecStart=/usr/bin/zof |ExecStart=$root/usr/bin/zof |" "$unit" >"$work/unit/zof.service"
if ! systemd-analyze verify --man=no "$work/unit/zof.service" >"$work/verify.log" 2>&1; then
  cat "$work/verify.log"
  fail "systemd-analyze verify refuses the unit"
elif [ -s "$work/verify.log" ]; then
  cat "$work/verify.log"
  fail "systemd-analyze verify has remarks on the unit"
fi
for setting in DynamicUser=yes StateDirectory=zof ProtectSystem=strict NoNewPrivileges=yes Restart=on-failure; do
  grep -qx "$setting" "$unit" || fail "the unit lacks $setting"
done
grep -q '^ExecReload=' "$unit" && fail "the unit has an ExecReload (SIGHUP quits the program)"

echo "== desktop-file-validate"
if ! desktop-file-validate "$root/usr/share/applications/zof.desktop"; then
  fail "the desktop entry does not validate"
fi
grep -q '^Exec=zof %F$' "$root/usr/share/applications/zof.desktop" || fail "the desktop entry does not run 'zof %F'"

if [ "$failures" -gt 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "package checks passed"
