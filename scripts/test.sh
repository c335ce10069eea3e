#!/usr/bin/env bash
# The test command: installs what is missing, builds with warnings as errors,
# and runs every test (unit and integration; the integration tests start the
# real mail server as a CTest fixture). Exits non-zero when any test fails.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh

build=${PARVOLA_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPARVOLA_WERROR=ON >/dev/null
cmake --build "$build" -j"$(nproc)"

# Whatever happens, leave no mail server behind.
msdir=$(sed -n 's/^PARVOLA_MAILSTACK_DIR:INTERNAL=//p' "$build/CMakeCache.txt")
trap 'bash tests/mailserver/fixture.sh stop "$msdir" >/dev/null 2>&1 || true' EXIT

ctest --test-dir "$build" --output-on-failure -j"$(nproc)" --timeout 600 "$@"
