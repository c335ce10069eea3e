#!/usr/bin/env bash
# The main job on the embedded default: installs what is missing, builds, starts
# the local mail server and the stand-in web service in a run folder of the
# project with a demo account, and logs the demo user in from the command line.
# Every server it started is stopped when it ends or is interrupted.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh

build=${PARVOLA_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)"

run=${PARVOLA_RUN_DIR:-$root/run}
# The mail server's folder must be reachable by the `mail` user its daemons run as.
msdir=/tmp/parvola-run-mail-$(id -u)
smtp_port=${PARVOLA_RUN_SMTP_PORT:-2625}
pop3_port=${PARVOLA_RUN_POP3_PORT:-1210}
demo_address=demo@parvola.test
demo_password=demo-2026
mkdir -p "$run"
rm -rf "$run/home" "$run/site.db"
mkdir -p "$run/home"

site_pid=
cleanup() {
  if [ -n "$site_pid" ] && kill -0 "$site_pid" 2>/dev/null; then kill "$site_pid" 2>/dev/null || true; wait "$site_pid" 2>/dev/null || true; fi
  bash tests/mailserver/fixture.sh stop "$msdir" >/dev/null 2>&1 || true
  echo "run: servers stopped"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

step() { printf '\n== %s\n' "$*"; }

step "starting the mail server (SMTP 127.0.0.1:$smtp_port, POP3 127.0.0.1:$pop3_port)"
bash tests/mailserver/fixture.sh start "$msdir" "$smtp_port" "$pop3_port"
bash tests/mailserver/mailstack.sh adduser "$msdir" demo demo-mailbox-pw

step "starting the web service"
"$build/site/parvola-site" add-user --db "$run/site.db" "$demo_address" "$demo_password" \
    demo@sina.test demo-mailbox-pw --catalog
"$build/site/parvola-site" serve --port 0 --db "$run/site.db" > "$run/site.out" 2> "$run/site.err" &
site_pid=$!
for _ in $(seq 1 100); do
  grep -q 'listening on' "$run/site.out" 2>/dev/null && break
  kill -0 "$site_pid" 2>/dev/null || { cat "$run/site.err" >&2; exit 1; }
  sleep 0.05
done
site_url="http://$(sed -n 's/^listening on //p' "$run/site.out" | head -1)"
echo "web service at $site_url (pid $site_pid)"

# Every provider row points at the local mail server.
{
  printf '[site]\nbase=%s\n[ports]\nsmtp=%s\npop3=%s\n' "$site_url" "$smtp_port" "$pop3_port"
  for row in sina sohu tom 21cn sogou qq foxmail; do printf '[%s]\nsmtp=127.0.0.1\npop3=127.0.0.1\n' "$row"; done
} > "$run/home/deploy.ini"
export PARVOLA_HOME=$run/home

step "logging in as $demo_address"
echo "$demo_password" | "$build/cli/parvola-cli" login "$demo_address" --password-stdin
echo "run: done (demo address $demo_address, password $demo_password)"
