#!/usr/bin/env bash
# The desktop client in a real window: Xvfb with a window manager, driven with
# xdotool against the test mail server and a fresh web service.
#   - a second start of the client ends at once (the first one is raised);
#   - a store runs, the exit is asked for, the question is answered with
#     Escape: the client keeps running and the store finishes;
#   - the exit asked for again ends the client.
# usage: xvfb_smoke_test.sh SOURCE_DIR BUILD_DIR MAILSTACK_DIR SMTP_PORT POP3_PORT
set -uo pipefail
root=$1 build=$2 msdir=$3 smtp_port=$4 pop3_port=$5

fail() { echo "xvfb smoke test: $*" >&2; exit 1; }
for tool in Xvfb openbox xdotool; do
  command -v "$tool" >/dev/null || fail "$tool is missing (scripts/setup.sh installs it)"
done

work=$(mktemp -d /tmp/parvola-smoke-XXXXXX)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do
    kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  done
  rm -rf "$work"
}
trap cleanup EXIT

# Waits until COMMAND succeeds, looking every 0.1 s, for at most SECONDS.
wait_until() {
  local seconds=$1; shift
  local deadline=$((SECONDS + seconds))
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.1
  done
}

# --- the servers ------------------------------------------------------------
user=smoke$$
address=$user@parvola.test
password=smoke-pw
bash "$root/tests/mailserver/mailstack.sh" adduser "$msdir" "$user" mailbox-pw ||
  fail "could not add the mailbox user"
"$build/site/parvola-site" add-user --db "$work/site.db" "$address" "$password" \
  "$user@sina.test" mailbox-pw --catalog >/dev/null || fail "could not add the web user"
"$build/site/parvola-site" serve --port 0 --db "$work/site.db" >"$work/site.out" 2>"$work/site.err" &
pids+=($!)
wait_until 10 grep -q 'listening on' "$work/site.out" || fail "the web service did not start"
site_url="http://$(sed -n 's/^listening on //p' "$work/site.out" | head -1)"
home=$work/home
mkdir -p "$home"
{
  printf '[site]\nbase=%s\ngroup=%s\n[ports]\nsmtp=%s\npop3=%s\n' "$site_url" "$site_url" "$smtp_port" "$pop3_port"
  for row in sina sohu tom 21cn sogou qq foxmail; do printf '[%s]\nsmtp=127.0.0.1\npop3=127.0.0.1\n' "$row"; done
} >"$home/deploy.ini"

# --- the display ------------------------------------------------------------
exec 9>"$work/display"
Xvfb -displayfd 9 -screen 0 1280x800x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
wait_until 10 test -s "$work/display" || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=:$(head -1 "$work/display")
openbox >"$work/openbox.log" 2>&1 &
pids+=($!)
wait_until 10 xdotool search --class openbox >/dev/null 2>&1 || true

export PARVOLA_HOME=$home XDG_RUNTIME_DIR=$work/run QT_QPA_PLATFORM=xcb LANG=C.UTF-8
mkdir -m 700 -p "$XDG_RUNTIME_DIR"
unset DBUS_SESSION_BUS_ADDRESS

window_named() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1; }
has_window() { [ -n "$(window_named "$1")" ]; }
running() { kill -0 "$client" 2>/dev/null; }

# --- one client, and a second start that does not stay ---------------------
"$build/shell/parvola" >"$work/client.log" 2>&1 &
client=$!
pids+=("$client")
wait_until 20 has_window '^登录$' || fail "the login dialog did not show: $(cat "$work/client.log")"
timeout 20 "$build/shell/parvola" >"$work/second.log" 2>&1
second=$?
[ "$second" -eq 0 ] || fail "the second start ended with $second (124: it stayed): $(cat "$work/second.log")"
running || fail "the first client ended when the second started"

# --- log in with the keyboard -----------------------------------------------
login=$(window_named '^登录$')
xdotool windowactivate --sync "$login" >/dev/null 2>&1 || xdotool windowfocus --sync "$login"
xdotool type --delay 20 "$address"
xdotool key Tab
xdotool type --delay 20 "$password"
xdotool key Return
wait_until 30 bash -c "! xdotool search --onlyvisible --name '^登录\$' >/dev/null 2>&1" ||
  fail "the login dialog did not close"
wait_until 30 test -f "$home/${address}_config" || fail "no catalog after the login"

# --- a store: tree, Tab to "存储", the store dialog ------------------------
frame=$(window_named '^parvolix 1.0$')
[ -n "$frame" ] || fail "no main window"
xdotool windowactivate --sync "$frame" >/dev/null 2>&1 || true
eval "$(xdotool getwindowgeometry --shell "$frame")"
# An empty place in the tree pane, then the keyboard: root, account, 我的文档.
xdotool mousemove --window "$frame" 100 400 click 1
xdotool key Home Down Down
# Tab: file list, task list, then the first toolbar button, "存储".
xdotool key Tab Tab Tab space
wait_until 10 has_window '^上传$' || fail "the store dialog did not open"
source_file=$work/smoke-video.bin
head -c $((60 * 1024 * 1024)) /dev/urandom >"$source_file"
xdotool type --delay 5 "$source_file"
xdotool key Return
wait_until 10 bash -c "! xdotool search --onlyvisible --name '^上传\$' >/dev/null 2>&1" ||
  fail "the store dialog did not close"
# The store has its record once it cuts its first piece.
wait_until 30 bash -c "ls -d '$home'/temp/smoke-video* >/dev/null 2>&1" || fail "the store did not start"
grep -q smoke-video.bin "$home/${address}_config" && fail "the store ended before the exit could be asked for"

# --- the exit, declined ------------------------------------------------------
xdotool windowactivate --sync "$frame" >/dev/null 2>&1 || true
xdotool key alt+a
xdotool key x
wait_until 10 has_window '^parvolix$' || fail "the exit did not ask about the running store"
question=$(window_named '^parvolix$')
xdotool windowactivate --sync "$question" >/dev/null 2>&1 || true
xdotool key Escape
wait_until 10 bash -c "! xdotool search --onlyvisible --name '^parvolix\$' >/dev/null 2>&1" ||
  fail "the question did not close on Escape"
running || fail "the client ended although the exit was declined"
wait_until 120 grep -q smoke-video.bin "$home/${address}_config" ||
  fail "the store did not finish after the declined exit"
running || fail "the client ended while the store finished"

# --- the exit, for good ------------------------------------------------------
xdotool windowactivate --sync "$frame" >/dev/null 2>&1 || true
xdotool key alt+a
xdotool key x
wait_until 20 bash -c "! kill -0 $client 2>/dev/null" || fail "the client did not end on the exit"
wait "$client"
rc=$?
[ "$rc" -eq 0 ] || fail "the client ended with $rc"
echo "xvfb smoke test: passed"
