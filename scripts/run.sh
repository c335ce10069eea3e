#!/usr/bin/env bash
# The main job on the embedded default. Installs what is missing, builds, and
# starts the local mail server (Exim + Dovecot) and the stand-in web service in
# a run folder of the project with a demo account. With a display it launches
# the desktop client logged out; without one (or with --walk-through) it walks
# through the store with the command-line client: log in, store a file of
# several pieces, list, read it back, compare checksums, show the space line,
# delete, restore and purge. Every server it started is stopped when it ends
# or is interrupted.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
mode=auto
case "${1:-}" in
  --walk-through) mode=walk ;;
  --desktop) mode=desktop ;;
  "") ;;
  *) echo "usage: $0 [--walk-through|--desktop]" >&2; exit 2 ;;
esac
if [ "$mode" = auto ]; then
  if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then mode=desktop; else mode=walk; fi
fi

build=${PARVOLA_BUILD_DIR:-build}
# The tests run this job with the binaries they were built with.
if [ -z "${PARVOLA_SKIP_BUILD:-}" ]; then
  bash scripts/setup.sh
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" -j"$(nproc)"
fi

run=${PARVOLA_RUN_DIR:-$root/run}
# The mail server's folder must be reachable by the `mail` user its daemons run as.
smtp_port=${PARVOLA_RUN_SMTP_PORT:-2625}
imap_port=${PARVOLA_RUN_IMAP_PORT:-1313}
pop3_port=${PARVOLA_RUN_POP3_PORT:-1210}
msdir=/tmp/parvola-run-mail-$(id -u)-$smtp_port
demo_address=demo@parvola.test
demo_password=demo-2026
# A fresh run: only the folders and files this job makes are removed.
rm -rf "$run/home" "$run/files" "$run/read" "$run/site.db" "$run/site.out" "$run/site.err"
mkdir -p "$run/home" "$run/files" "$run/read"

site_pid=
cleanup() {
  if [ -n "$site_pid" ] && kill -0 "$site_pid" 2>/dev/null; then
    kill "$site_pid" 2>/dev/null || true
    wait "$site_pid" 2>/dev/null || true
  fi
  bash tests/mailserver/fixture.sh stop "$msdir" >/dev/null 2>&1 || true
  echo "run: servers stopped"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

step() { printf '\n== %s\n' "$*"; }

step "starting the mail server (SMTP 127.0.0.1:$smtp_port, POP3 127.0.0.1:$pop3_port)"
bash tests/mailserver/fixture.sh start "$msdir" "$smtp_port" "$pop3_port" "$imap_port"
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

# Every provider row points at the local mail server, each on a loopback
# address of its own (the server listens on 127.0.0.1 to 127.0.0.8): the piece
# size is chosen by comparing host texts, so rows that shared one address would
# all count as the first row tested ("qq", 49 MiB pieces).
{
  printf '[site]\nbase=%s\ngroup=%s\n[ports]\nsmtp=%s\npop3=%s\n' "$site_url" "$site_url" "$smtp_port" "$pop3_port"
  n=1
  for row in sina sohu tom 21cn sogou qq foxmail; do
    printf '[%s]\nsmtp=127.0.0.%s\npop3=127.0.0.%s\n' "$row" "$n" "$n"
    n=$((n + 1))
  done
} > "$run/home/deploy.ini"
export PARVOLA_HOME=$run/home

if [ "$mode" = desktop ]; then
  step "starting the desktop client"
  echo "log in with:  $demo_address   password: $demo_password"
  "$build/shell/parvola"
  exit 0
fi

cli=$build/cli/parvola-cli
step "logging in as $demo_address"
echo "$demo_password" | "$cli" login "$demo_address" --password-stdin

step "storing a generated 25 MiB file (three pieces of 10 MiB)"
head -c $((25 * 1024 * 1024)) /dev/urandom > "$run/files/年度报告.bin"
"$cli" store "$run/files/年度报告.bin" --folder 我的文档

step "listing 我的文档"
"$cli" ls 我的文档

step "reading it back into a fresh folder"
"$cli" read 我的文档/年度报告.bin --to "$run/read"

step "comparing checksums"
a=$(sha256sum < "$run/files/年度报告.bin" | cut -d' ' -f1)
b=$(sha256sum < "$run/read/年度报告.bin" | cut -d' ' -f1)
echo "stored: $a"
echo "read:   $b"
if [ "$a" != "$b" ]; then echo "run: checksums differ" >&2; exit 1; fi
echo "checksums equal"

step "space"
"$cli" space

step "deleting, restoring and purging"
"$cli" rm 我的文档/年度报告.bin
"$cli" bin
"$cli" restore 我的文档/年度报告.bin
"$cli" ls 我的文档
"$cli" rm 我的文档/年度报告.bin
"$cli" purge 我的文档/年度报告.bin --yes
"$cli" space
echo
echo "run: walk-through done (demo address $demo_address, password $demo_password)"
