#!/usr/bin/env bash
# The desk service's Debian package, checked as a machine would take it:
#   desk-package-test.sh BUILD_DIR
# packs bidder-desk_<version>_<arch>.deb from BUILD_DIR (building bidder-desk
# first), holds its file list and lintian (no errors; warnings shown), then
# in a copy of a clean Debian 12 root: installs it, verifies the user unit,
# finds it enabled for every user, runs the unit's ExecStart as a new user
# (it answers an allowed origin, refuses another, stops on SIGTERM with its
# work directory emptied), removes and purges it, comparing the root's files.
# No systemd runs as PID 1 here, so the unit is checked without one.
#
# The clean root is made once with mmdebstrap (network) and kept under
# $BIDDER_CACHE/desk-package, keyed by the package's dependencies; later runs
# copy it. Exit 77 (skipped) without root rights, the tools, or the network
# the first root needs.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=scripts/lib/paths.sh
. "$here/lib/paths.sh"

build=${1:?usage: desk-package-test.sh BUILD_DIR}
build=$(cd "$build" && pwd)
suite=bookworm
origin=https://tender.example.test

skip() { echo "SKIP: $*"; exit 77; }
fail() { echo "FAIL: $*"; exit 1; }
step() { echo "== $*"; }

[ "$(id -u)" = 0 ] || skip "installing into a root with chroot needs root rights"
for tool in cpack dpkg-deb lintian mmdebstrap systemctl chroot unshare setpriv flock curl gzip; do
  command -v "$tool" >/dev/null || skip "$tool is missing (scripts/install-deps.sh installs it)"
done

work=$(mktemp -d "${TMPDIR:-/tmp}/desk-package.XXXXXX")
service_pid=
cleanup() {
  if [ -n "$service_pid" ] && kill -0 "$service_pid" 2>/dev/null; then kill -KILL "$service_pid" || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

step "pack"
nice -n 19 cmake --build "$build" --target bidder-desk >"$work/build.log" 2>&1 || { cat "$work/build.log"; fail "building bidder-desk"; }
(cd "$build" && cpack -G DEB -B "$work/pack" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack"; }
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
deb="$work/pack/bidder-desk_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || { ls "$work/pack"; fail "no package named $(basename "$deb")"; }

# Exactly these files: anything else (a test, a tool, the stand-in token
# library) has no business on a bidder's machine.
dpkg-deb --fsys-tarfile "$deb" | tar -t | sed 's|^\./|/|; s|/$||' | grep -v '^/\?$' | sort >"$work/contents"
sort >"$work/expected" <<'EOF'
/etc
/etc/bidder-desk
/etc/bidder-desk/origins
/usr
/usr/bin
/usr/bin/bidder-desk
/usr/lib
/usr/lib/systemd
/usr/lib/systemd/user
/usr/lib/systemd/user/bidder-desk.service
/usr/share
/usr/share/bidder-desk
/usr/share/bidder-desk/bidder-desk.js
/usr/share/doc
/usr/share/doc/bidder-desk
/usr/share/doc/bidder-desk/bidder-desk.js
/usr/share/doc/bidder-desk/changelog.gz
/usr/share/doc/bidder-desk/copyright
/usr/share/doc/bidder-desk/example
/usr/share/doc/bidder-desk/example/example.css
/usr/share/doc/bidder-desk/example/example.js
/usr/share/doc/bidder-desk/example/index.html
/usr/share/man
/usr/share/man/man1
/usr/share/man/man1/bidder-desk.1.gz
EOF
diff -u "$work/expected" "$work/contents" || fail "the package's files differ from the list above"
dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./conffiles | grep -qx /etc/bidder-desk/origins || fail "the allow-list is no conffile"
changelog_version=$(dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/doc/bidder-desk/changelog.gz | gzip -dc \
  | sed -n '1s/^bidder-desk (\([^)]*\)).*/\1/p')
[ "$changelog_version" = "$version" ] || fail "desk/package/changelog's last entry is $changelog_version, the package $version"
echo "$(basename "$deb"): $(wc -l <"$work/contents") paths as listed"

step "lintian"
# lintian's remark on running as root says nothing about the package.
lintian --fail-on error "$deb" 2>&1 | grep -v '^running with root privileges' || true
lintian --fail-on error "$deb" >/dev/null 2>&1 || fail "lintian reports errors"

step "a clean Debian 12 root"
depends=$(dpkg-deb -f "$deb" Depends | tr ',' '\n' | sed 's/|.*//; s/(.*)//; s/[[:space:]]//g' | grep . | sort -u | paste -sd, -)
# systemd for systemd-analyze inside the root: the unit is verified against
# the root's files, which the host's systemd-analyze cannot do for user units.
include="systemd,$depends"
key=$(printf '%s minbase %s\n' "$suite" "$include" | sha256sum | cut -c1-16)
roots="$BIDDER_CACHE/desk-package"
clean_root="$roots/$suite-$key"
mkdir -p "$roots"
# One maker at a time; copies share the lock.
exec 9>"$roots/.lock"
flock 9
if [ ! -d "$clean_root" ]; then
  rm -rf "$roots"/*.part
  echo "making $clean_root (once; takes a minute or two): $include"
  if ! nice -n 19 mmdebstrap --variant=minbase --include="$include" "$suite" "$clean_root.part" >"$work/mmdebstrap.log" 2>&1; then
    tail -n 20 "$work/mmdebstrap.log"
    rm -rf "$clean_root.part"
    skip "mmdebstrap could not make the clean root (it downloads from deb.debian.org)"
  fi
  # Roots for other dependencies are of no more use.
  find "$roots" -mindepth 1 -maxdepth 1 -type d -name "$suite-*" ! -name "*.part" -exec rm -rf {} +
  mv "$clean_root.part" "$clean_root"
fi
flock -s 9
root="$work/root"
cp -a --reflink=auto "$clean_root" "$root"
exec 9>&-
# The user who runs the service later; made first, so that the comparisons
# below see the package's files only.
chroot "$root" useradd --create-home --shell /bin/sh bidder
uid=$(chroot "$root" id -u bidder)
gid=$(chroot "$root" id -g bidder)
home="$root/home/bidder"
mkdir -p "$home/.config/bidder-desk"
echo "$origin" >"$home/.config/bidder-desk/origins"
chown -R "$uid:$gid" "$home/.config"

# The root's files, without what changes with any package or belongs to users
# (their homes are theirs: no package removes a user's files).
snapshot() {
  (cd "$root" && find . \( -path ./var/lib/dpkg -o -path ./var/log -o -path ./var/cache -o -path ./home \
     -o -path ./tmp -o -path ./run -o -path ./proc -o -path ./dev -o -path ./sys \) -prune \
     -o -printf '%y %m %p %l\n' | sort)
}
snapshot >"$work/before"
allowed_after_remove="$work/allowed-after-remove"
cat >"$allowed_after_remove" <<'EOF'
^d 755 \./etc/bidder-desk $
^f 644 \./etc/bidder-desk/origins $
^d 755 \./etc/systemd/user/default\.target\.wants $
^l 777 \./etc/systemd/user/default\.target\.wants/bidder-desk\.service /
^l 777 \./etc/systemd/user/bidder-desk\.service /dev/null$
^[fd] [0-9]* \./var/lib/systemd/deb-systemd-user-helper-
EOF
# changes_since_clean: the lines of the root's listing that differ from before.
changes_since_clean() { snapshot | { diff "$work/before" - || true; } | sed -n 's/^[<>] //p'; }

step "install"
cp "$deb" "$root/tmp/"
chroot "$root" dpkg -i "/tmp/$(basename "$deb")" >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "dpkg -i"; }
enabled=$(systemctl --root="$root" --global is-enabled bidder-desk.service 2>&1 || true)
[ "$enabled" = enabled ] || fail "systemctl --global is-enabled bidder-desk: $enabled"
echo "enabled for every user"
# systemd-analyze needs a runtime directory for a user manager, not a running
# one; man pages are not checked: the root has no man.
mkdir -p "$root/tmp/runtime" && chmod 700 "$root/tmp/runtime"
chroot "$root" env XDG_RUNTIME_DIR=/tmp/runtime systemd-analyze --user --man=no verify \
  /usr/lib/systemd/user/bidder-desk.service >"$work/verify.log" 2>&1 \
  || { cat "$work/verify.log"; fail "systemd-analyze verify"; }
[ ! -s "$work/verify.log" ] || { cat "$work/verify.log"; fail "systemd-analyze verify has remarks"; }
echo "systemd-analyze verify: clean"

step "the unit's ExecStart as a new user"
unit="$root/usr/lib/systemd/user/bidder-desk.service"
exec_start=$(sed -n 's/^ExecStart=//p' "$unit")
[ -n "$exec_start" ] || fail "the unit has no ExecStart"
# The environment a user manager gives its services, and /proc, where the
# service reads who owns a connection's other end: mounted in a mount
# namespace of the service's own, so that it goes when the service ends.
# unshare, sh, chroot and env each exec the next: the pid is the service's.
# shellcheck disable=SC2016,SC2086  # the inner shell expands; ExecStart's words are split as systemd splits them
unshare --mount --propagation private sh -c 'mount -t proc proc "$1/proc" && shift && exec "$@"' sh "$root" \
  chroot --userspec="$uid:$gid" "$root" /usr/bin/env -i HOME=/home/bidder USER=bidder LOGNAME=bidder \
  SHELL=/bin/sh PATH=/usr/local/bin:/usr/bin:/bin LANG=C.UTF-8 $exec_start >"$work/service.log" 2>&1 &
service_pid=$!
port=
for _ in $(seq 1 300); do
  port=$(sed -n 's/.*listening on port \([0-9]*\).*/\1/p' "$work/service.log")
  [ -n "$port" ] && break
  kill -0 "$service_pid" 2>/dev/null || { cat "$work/service.log"; fail "the service ended before listening"; }
  sleep 0.1
done
[ -n "$port" ] || { cat "$work/service.log"; fail "the service did not listen within 30 seconds"; }
as_user() { setpriv --reuid="$uid" --regid="$gid" --clear-groups "$@"; }
hello=$(as_user curl -sS --max-time 5 -H "Origin: $origin" "http://127.0.0.1:$port/v1/hello") \
  || { cat "$work/service.log"; fail "GET /v1/hello from $origin"; }
case $hello in
  *'"service":"bidder-desk"'*"\"version\":\"$version\""*) echo "hello on port $port: $hello" ;;
  *) fail "hello: $hello" ;;
esac
# The installed allow-list holds comments only: nothing else is allowed.
refused=$(as_user curl -sS --max-time 5 -o /dev/null -w '%{http_code}' -H "Origin: https://elsewhere.example.test" \
  "http://127.0.0.1:$port/v1/hello")
[ "$refused" = 403 ] || fail "another origin got $refused, not 403"
work_dir="$home/.cache/bidder-desk"
[ "$(stat -c '%a %u' "$work_dir")" = "700 $uid" ] || fail "work directory: $(stat -c '%a %u' "$work_dir")"
# Something of a session's, left in the work directory: the stop removes it.
mkdir "$work_dir/left-over" && echo bytes >"$work_dir/left-over/page" && chown -R "$uid:$gid" "$work_dir/left-over"
kill -TERM "$service_pid"
status=
for _ in $(seq 1 100); do
  kill -0 "$service_pid" 2>/dev/null || { wait "$service_pid" && status=0 || status=$?; break; }
  sleep 0.1
done
[ -n "$status" ] || fail "the service still runs 10 seconds after SIGTERM"
service_pid=
[ "$status" = 0 ] || { cat "$work/service.log"; fail "exit status $status after SIGTERM"; }
left=$(cd "$work_dir" && find . -mindepth 1 ! -name .bidder-desk-work ! -name .lock)
[ -z "$left" ] || fail "the work directory still holds: $left"
echo "stopped by SIGTERM, exit status 0, work directory emptied"

step "remove and purge"
chroot "$root" dpkg --remove bidder-desk >>"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "dpkg --remove"; }
unexpected=$(changes_since_clean | grep -v -f "$allowed_after_remove" || true)
[ -z "$unexpected" ] || fail "left after removing, besides the conffile and the unit's state: $unexpected"
[ -e "$root/etc/bidder-desk/origins" ] || fail "removing took the conffile"
masked=$(systemctl --root="$root" --global is-enabled bidder-desk.service 2>&1 || true)
[ "$masked" = masked ] || fail "after removing, systemctl --global is-enabled bidder-desk: $masked, not masked"
chroot "$root" dpkg --purge bidder-desk >>"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "dpkg --purge"; }
left=$(changes_since_clean)
[ -z "$left" ] || fail "left after purging: $left"
echo "removed: the allow-list and the unit's disabled state stay; purged: nothing stays"
echo "PASS"
