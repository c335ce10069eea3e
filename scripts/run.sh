#!/usr/bin/env bash
# The main job on the embedded default: installs what is missing, builds, and
# brings up the local servers the client talks to, with a demo account.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh

build=${PARVOLA_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)"

msdir=/tmp/parvola-run-mail
trap 'bash tests/mailserver/fixture.sh stop "$msdir" >/dev/null 2>&1 || true' EXIT INT TERM
bash tests/mailserver/fixture.sh start "$msdir" 2625 1210
bash tests/mailserver/mailstack.sh adduser "$msdir" demo demo-pass
echo "run: mail server up (SMTP 127.0.0.1:2625, POP3 127.0.0.1:1210), mailbox demo@sina.test"
