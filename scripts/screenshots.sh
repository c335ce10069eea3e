#!/usr/bin/env bash
# Screenshots of the desktop client: starts the local mail server and the
# stand-in web service with a demo account (as scripts/run.sh does), starts a
# virtual X display, and lets the screenshot tour log in, store a file and
# read it back, writing docs/screenshots/login.png, tasks.png, question.png and
# main.png.
# Every server and display it started is stopped when it ends.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

build=${PARVOLA_BUILD_DIR:-build}
if [ ! -d "$build" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" --target parvola-site parvola-screenshot-tour -j"$(nproc)"

out=${PARVOLA_SCREENSHOTS_DIR:-$root/docs/screenshots}
work=$(mktemp -d /tmp/parvola-shots-XXXXXX)
msdir=/tmp/parvola-shots-mail-$(id -u)
smtp_port=${PARVOLA_SHOTS_SMTP_PORT:-2645}
imap_port=${PARVOLA_SHOTS_IMAP_PORT:-1323}
pop3_port=${PARVOLA_SHOTS_POP3_PORT:-1230}
display=${PARVOLA_SHOTS_DISPLAY:-:94}
demo_address=demo@parvola.test
demo_password=demo-2026
mkdir -p "$work/home"

site_pid=
xvfb_pid=
cleanup() {
  for pid in $site_pid $xvfb_pid; do
    if kill -0 "$pid" 2>/dev/null; then kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; fi
  done
  bash tests/mailserver/fixture.sh stop "$msdir" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

bash tests/mailserver/fixture.sh start "$msdir" "$smtp_port" "$pop3_port" "$imap_port"
bash tests/mailserver/mailstack.sh adduser "$msdir" demo demo-mailbox-pw

"$build/site/parvola-site" add-user --db "$work/site.db" "$demo_address" "$demo_password" \
    demo@sina.test demo-mailbox-pw --catalog
"$build/site/parvola-site" serve --port 0 --db "$work/site.db" > "$work/site.out" 2> "$work/site.err" &
site_pid=$!
for _ in $(seq 1 100); do
  grep -q 'listening on' "$work/site.out" 2>/dev/null && break
  kill -0 "$site_pid" 2>/dev/null || { cat "$work/site.err" >&2; exit 1; }
  sleep 0.05
done
site_url="http://$(sed -n 's/^listening on //p' "$work/site.out" | head -1)"
# The pages the client shows in its panes.
{
  printf '[site]\nbase=%s\ngroup=%s\n[ports]\nsmtp=%s\npop3=%s\n' "$site_url" "$site_url" "$smtp_port" "$pop3_port"
  for row in sina sohu tom 21cn sogou qq foxmail; do printf '[%s]\nsmtp=127.0.0.1\npop3=127.0.0.1\n' "$row"; done
} > "$work/home/deploy.ini"

Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp > "$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 1 100); do
  [ -e "/tmp/.X11-unix/X${display#:}" ] && break
  kill -0 "$xvfb_pid" 2>/dev/null || { cat "$work/xvfb.log" >&2; exit 1; }
  sleep 0.05
done

mkdir -p "$out"
PARVOLA_HOME=$work/home DISPLAY=$display QT_QPA_PLATFORM=xcb LANG=C.UTF-8 \
  "$build/tests/shell/parvola-screenshot-tour" "$out" "$demo_address" "$demo_password"
echo "screenshots: $out"
