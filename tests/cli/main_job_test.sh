#!/usr/bin/env bash
# Runs the README's main job in its walk-through mode with the binaries of this
# build (no set-up, no rebuild while the tests run) and checks its outcome.
set -uo pipefail
root=$1
build=$2
run=$(mktemp -d /tmp/parvola-mainjob-XXXXXX)
log=$run.log
trap 'rm -rf "$run" "$log"' EXIT

PARVOLA_SKIP_BUILD=1 PARVOLA_BUILD_DIR=$build PARVOLA_RUN_DIR=$run \
PARVOLA_RUN_SMTP_PORT=2685 PARVOLA_RUN_POP3_PORT=1280 PARVOLA_RUN_IMAP_PORT=1383 \
  bash "$root/scripts/run.sh" --walk-through > "$log" 2>&1
rc=$?
cat "$log"
fail() { echo "main job test: $*" >&2; exit 1; }
[ "$rc" -eq 0 ] || fail "the main job exited with $rc"
grep -q '^checksums equal$' "$log" || fail "no equal checksum comparison"
# The walk-through says it stores three pieces of 10 MiB: the demo's rows must pick that size.
grep -q '^年度报告.bin: piece 3/3 done$' "$log" || fail "the 25 MiB file did not go in three pieces"
grep -q 'run: servers stopped' "$log" || fail "the servers were not stopped"
msdir=$(sed -n 's/^mailstack: up in \([^ ]*\) .*/\1/p' "$log" | head -1)
[ -n "$msdir" ] || fail "no mail server folder in the log"
if bash "$root/tests/mailserver/mailstack.sh" status "$msdir" >/dev/null 2>&1; then fail "a mail server is still running in $msdir"; fi
site_pid=$(sed -n 's/^web service at .* (pid \([0-9]*\))$/\1/p' "$log" | head -1)
[ -n "$site_pid" ] || fail "no web service pid in the log"
if kill -0 "$site_pid" 2>/dev/null && grep -q parvola-site "/proc/$site_pid/cmdline" 2>/dev/null; then
  fail "the web service (pid $site_pid) is still running"
fi
echo "main job test: passed"
