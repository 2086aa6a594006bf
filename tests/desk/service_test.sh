#!/bin/bash
# The real bidder-desk on loopback, seen from a page's side (curl, and
# desk_client.py for WebSocket and raw sockets). One group of checks per
# ctest entry:  service_test.sh GROUP BIDDER_DESK VERSION
# Every service started here has a test port range of its own, a temporary
# work directory, ends within a minute by itself (timeout), and is stopped
# and removed when the script exits. Exit 77: skipped.
set -u
group=$1 desk=$2 version=$3
here=$(cd "$(dirname "$0")" && pwd)
client="python3 $here/desk_client.py"
origin=http://127.0.0.1:8000
tmp=$(mktemp -d "${TMPDIR:-/tmp}/desk-test.XXXXXX")
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$tmp"
}
trap cleanup EXIT
# Below the kernel's ephemeral ports, so that no client's own port is in the way,
# and apart from the other desk tests' ports (desk_day.py 20000-25999,
# desk_server_test 26000-31999).
base=$((10000 + (RANDOM % 1000) * 10))
export XDG_CONFIG_HOME=$tmp/config
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# start NAME ARGS...: starts the service, waits for it to listen; sets $pid and $port.
start() {
  local name=$1; shift
  log=$tmp/$name.log
  timeout 60 "$desk" --work-dir "$tmp/$name.work" --log "$log" "$@" >"$tmp/$name.out" 2>&1 &
  pid=$!
  pids+=("$pid")
  for _ in $(seq 100); do
    port=$(sed -n 's/.*listening on port \([0-9]*\).*/\1/p' "$log" 2>/dev/null | tail -n 1)
    [ -n "$port" ] && return 0
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.05
  done
  echo "bidder-desk did not start:"; cat "$tmp/$name.out" "$log" 2>/dev/null
  exit 1
}
# stop [SIGNAL]: ends the service started last; sets $status.
stop() {
  kill -"${1:-TERM}" "$pid"
  wait "$pid"
  status=$?
}

# request ARGS...: curl against the service; headers (lower case) in $tmp/h, body in $tmp/b, status in $code.
request() {
  code=$(curl -s -o "$tmp/b" -D "$tmp/h" -w '%{http_code}' --max-time 5 "$@")
  tr 'A-Z' 'a-z' <"$tmp/h" | tr -d '\r' >"$tmp/hl"
  mv "$tmp/hl" "$tmp/h"
}
has_header() { grep -qx "$1" "$tmp/h"; }

group_http() {
  mkdir -p "$XDG_CONFIG_HOME/bidder-desk"
  printf '# the platform\nhttps://tender.example\nhttp://tender.example\n' >"$XDG_CONFIG_HOME/bidder-desk/origins"
  start http --first-port "$base" --allow-origin "$origin"
  local url=http://127.0.0.1:$port

  request -H "Origin: $origin" "$url/v1/hello"
  [ "$code" = 200 ] || fail "hello answered $code"
  for h in "access-control-allow-origin: $origin" "vary: origin" "cache-control: no-store" \
           "x-content-type-options: nosniff" "content-type: application/json"; do
    has_header "$h" || fail "hello lacks '$h'"
  done
  python3 - "$tmp/b" "$version" <<'PY' || fail "hello's JSON"
import json, sys
hello = json.load(open(sys.argv[1]))
want = {"service": "bidder-desk", "version": sys.argv[2], "api": 1, "scanners": 0, "token": False, "features": []}
assert all(hello[k] == v for k, v in want.items()), hello
assert len(hello["instance"]) == 32 and set(hello["limits"]) == {"blobBytes", "workBytes"}, hello
assert all(isinstance(v, int) and v > 0 for v in hello["limits"].values()), hello
PY

  # The user's list file counts; its plain-http line for a non-loopback host is refused and logged.
  request -H "Origin: https://tender.example" "$url/v1/hello"
  [ "$code" = 200 ] && has_header "access-control-allow-origin: https://tender.example" || fail "the user's origin list"
  grep -q "origin refused (.*origins:3) http://tender.example" "$log" || fail "the refused list line is not logged"

  # Refusals: 403, and nothing that lets the page read it.
  while IFS='|' read -r why args; do
    eval "request $args \"\$url/v1/hello\""
    [ "$code" = 403 ] || fail "$why: answered $code"
    grep -q '^access-control-' "$tmp/h" && fail "$why: a 403 with CORS headers"
    has_header "cache-control: no-store" || fail "$why: a 403 without no-store"
  done <<LIST
no origin|
another origin|-H 'Origin: https://evil.example'
null origin|-H 'Origin: null'
another host name|-H "Origin: $origin" -H "Host: evil.example:$port"
host on another port|-H "Origin: $origin" -H "Host: 127.0.0.1:1"
a navigation|-H "Origin: $origin" -H 'Sec-Fetch-Mode: navigate'
a repeated origin|-H "Origin: $origin" -H 'Origin: https://evil.example'
LIST

  request -X OPTIONS -H "Origin: $origin" -H 'Access-Control-Request-Method: POST' \
    -H 'Access-Control-Request-Private-Network: true' "$url/v1/hello"
  [ "$code" = 204 ] || fail "preflight answered $code"
  for h in "access-control-allow-origin: $origin" "access-control-allow-private-network: true" \
           "access-control-allow-methods: get, post" "access-control-allow-headers: authorization, content-type"; do
    has_header "$h" || fail "preflight lacks '$h'"
  done

  request -H "Origin: $origin" "$url/v1/elsewhere"
  [ "$code" = 404 ] && has_header "access-control-allow-origin: $origin" || fail "an unknown path: $code"
  request -H "Origin: $origin" "$url/v1/session"
  [ "$code" = 426 ] || fail "the session path without an upgrade: $code"

  if curl -s -g -o /dev/null --max-time 2 "http://[::1]:$port/"; then
    request -g -H "Origin: $origin" "http://[::1]:$port/v1/hello"
    [ "$code" = 200 ] || fail "hello over [::1] answered $code"
  elif ! grep -q "IPv4 only" "$log"; then
    fail "no [::1] listener, and the log does not say why"
  fi

  # Headers beyond the bound: closed unanswered.
  curl -s -o /dev/null --max-time 5 -H "Origin: $origin" -H "X-Padding: $(head -c 20000 /dev/zero | tr '\0' a)" "$url/v1/hello"
  [ $? = 52 ] || fail "an oversized header was answered"

  $client connection-limit "$port" "$origin" 64 || fail "the connection limit"

  grep -q "GET /v1/hello 200 hello" "$log" || fail "no log line for a served request"
  grep -q "GET /v1/hello 403 host" "$log" || fail "no log line naming the refusal's rule"
  stop
  [ "$status" = 0 ] || fail "SIGTERM ended the service with status $status"
}

group_session() {
  start session --first-port "$base" --allow-origin "$origin"
  request -H "Origin: $origin" "http://127.0.0.1:$port/v1/hello"
  local instance key
  instance=$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["instance"])' "$tmp/b")
  key=$($client session "$port" "$origin" "$instance") || fail "the session: $key"
  $client upgrade-refused "$port" https://evil.example || fail "an upgrade from a refused origin"
  $client upgrade-refused "$port" null || fail "an upgrade from the null origin"
  stop INT
  [ "$status" = 0 ] || fail "SIGINT ended the service with status $status"
  [ -n "$key" ] && grep -q "$key" "$log" && fail "the session key is in the log"
  grep -q "session .* opened for $origin" "$log" || fail "no log line for the session"
}

group_blobs() {
  local other=https://tender.example
  start blobs --first-port "$base" --allow-origin "$origin" --allow-origin "$other"
  local service
  service=$(pgrep -P "$pid" -x bidder-desk) || { fail "no bidder-desk under timeout"; return; }
  $client blobs "$port" "$origin" "$other" "$tmp/blobs.work" "$service" 15 || fail "blobs"
  grep -q "POST /v1/blobs 201 blob" "$log" || fail "no log line for an upload"
  grep -q "POST /v1/blobs broken off" "$log" || fail "no log line for a broken-off upload"
  stop
  [ "$status" = 0 ] || fail "stop: status $status"
}

group_slow_headers() {
  start slow --first-port "$base" --allow-origin "$origin"
  $client slow-headers "$port" 10 || fail "headers sent slowly"
  stop
}

group_ports() {
  # The first port taken (another user's service): the next one.
  coproc HOLD { exec python3 "$here/desk_client.py" hold "$base"; }
  read -r _ <&"${HOLD[0]}"
  start next --first-port "$base" --allow-origin "$origin"
  [ "$port" = $((base + 1)) ] || fail "with $base taken the service took $port"
  stop
  # --port fixes it: taken is taken.
  timeout 20 "$desk" --port "$base" --work-dir "$tmp/fixed.work" --log "$tmp/fixed.log" >"$tmp/fixed.out" 2>&1
  status=$?
  [ "$status" = 3 ] || fail "--port on a taken port: status $status"
  grep -q "port $base is taken" "$tmp/fixed.out" || fail "--port on a taken port: $(cat "$tmp/fixed.out")"
  exec {HOLD[1]}>&-
  wait "$HOLD_PID" 2>/dev/null

  # All ten taken: a clear message and its own status.
  coproc HOLD { exec python3 "$here/desk_client.py" hold $(seq "$base" $((base + 9))); }
  read -r _ <&"${HOLD[0]}"
  timeout 20 "$desk" --first-port "$base" --work-dir "$tmp/all.work" --log "$tmp/all.log" >"$tmp/all.out" 2>&1
  status=$?
  [ "$status" = 3 ] || fail "all ports taken: status $status"
  grep -q "ports $base-$((base + 9)) are all taken" "$tmp/all.out" || fail "all ports taken: $(cat "$tmp/all.out")"
  exec {HOLD[1]}>&-
}

group_instance() {
  start first --first-port "$base" --allow-origin "$origin"
  local first_pid=$pid
  echo page >"$tmp/first.work/in-use"
  timeout 20 "$desk" --first-port $((base + 10)) --work-dir "$tmp/first.work" --log "$tmp/second.log" >"$tmp/second.out" 2>&1
  status=$?
  [ "$status" = 4 ] || fail "a second instance: status $status"
  grep -q "another bidder-desk already runs" "$tmp/second.out" || fail "a second instance: $(cat "$tmp/second.out")"
  [ -f "$tmp/first.work/in-use" ] || fail "the second instance emptied the first one's work directory"
  request -H "Origin: $origin" "http://127.0.0.1:$port/v1/hello"
  [ "$code" = 200 ] || fail "the first instance stopped serving"
  pid=$first_pid
  stop
}

group_work_dir() {
  local work=$tmp/wd.work
  # Left over from a run that crashed: emptied at start.
  mkdir -p "$work/blobs" && touch "$work/.bidder-desk-work" "$work/blobs/old" && chmod 755 "$work"
  echo keep >"$tmp/outside"
  ln -s "$tmp/outside" "$work/link"
  start wd --first-port "$base" --allow-origin "$origin"
  [ "$(stat -c %a "$work")" = 700 ] || fail "the work directory's mode is $(stat -c %a "$work")"
  [ -e "$work/blobs/old" ] && fail "left-overs survived the start"
  mkdir "$work/scan" && echo page >"$work/scan/page.tif" && echo x >"$work/sealed.enc"
  stop
  [ "$status" = 0 ] || fail "stop: status $status"
  [ -z "$(ls -A "$work" | grep -v -e '^\.bidder-desk-work$' -e '^\.lock$')" ] || fail "not emptied at exit: $(ls -A "$work")"
  [ "$(cat "$tmp/outside")" = keep ] || fail "emptying followed a link"

  # A stop signal sent twice (timeout(1) sends it to the service and to the
  # whole group): the second must not end the service before it has emptied
  # its work directory.
  for round in 1 2 3 4 5 6 7 8 9 10 11 12; do
    start "twice$round" --first-port "$base" --allow-origin "$origin"  # a log of its own: start waits for its line
    echo x >"$tmp/twice$round.work/sealed.enc"
    child=$(pgrep -P "$pid" -x bidder-desk || true)
    [ -n "$child" ] && kill -TERM "$child"
    stop
    [ "$status" = 0 ] || { fail "stopped twice (round $round): status $status"; break; }
    [ -e "$tmp/twice$round.work/sealed.enc" ] && { fail "stopped twice (round $round): not emptied"; break; }
  done

  # A folder with files that is not the service's: refused, untouched.
  mkdir -p "$tmp/home" && echo mine >"$tmp/home/letter.txt"
  timeout 20 "$desk" --first-port "$base" --work-dir "$tmp/home" >"$tmp/home.out" 2>&1
  status=$?
  [ "$status" = 1 ] || fail "someone else's folder: status $status"
  [ "$(cat "$tmp/home/letter.txt")" = mine ] || fail "someone else's folder was touched"
  grep -q "not the service's work directory" "$tmp/home.out" || fail "no message: $(cat "$tmp/home.out")"
}

group_other_user() {
  if [ "$(id -u)" != 0 ] || ! command -v setpriv >/dev/null || ! id nobody >/dev/null 2>&1; then
    echo "skipped: needs root, setpriv and the user nobody"
    exit 77
  fi
  start other --first-port "$base" --allow-origin "$origin"
  setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups \
    curl -s -o /dev/null --max-time 5 -H "Origin: $origin" "http://127.0.0.1:$port/v1/hello"
  case $? in 52|56) ;; *) fail "another user's connection was answered (or not closed)" ;; esac  # empty reply, or reset
  grep -q "closed unanswered: another user (uid $(id -u nobody))" "$log" || fail "no log line for another user"
  request -H "Origin: $origin" "http://127.0.0.1:$port/v1/hello"
  [ "$code" = 200 ] || fail "the service's own user was refused afterwards"
  stop
}

"group_${group//-/_}"
[ "$failures" = 0 ] || exit 1
echo "ok: $group"
