#!/usr/bin/env bash
# The test command: installs what is missing, builds with warnings as errors,
# and runs every test (unit and integration; the integration tests start the
# real mail server as a CTest fixture); then the same tests under the
# sanitizers (scripts/sanitize.sh) and a short run of every fuzz target
# (scripts/fuzz.sh smoke). Exits non-zero when any part fails; the main
# run's CTest line ("N% tests passed, ... out of M") closes the output.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh || exit 1

t0=$(date +%s)
build=${PARVOLA_BUILD_DIR:-build}
if ! cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPARVOLA_WERROR=ON >/dev/null ||
   ! cmake --build "$build" -j"$(nproc)"; then
  echo "test: the build FAILED"
  exit 1
fi

# Whatever happens, leave no mail server behind.
msdir=$(sed -n 's/^PARVOLA_MAILSTACK_DIR:INTERNAL=//p' "$build/CMakeCache.txt")
trap 'bash tests/mailserver/fixture.sh stop "$msdir" >/dev/null 2>&1 || true' EXIT

ctest --test-dir "$build" --output-on-failure -j"$(nproc)" --timeout 600 "$@" 2>&1 |
  tee "$build/ctest-main.log"
main_rc=${PIPESTATUS[0]}
bash tests/mailserver/fixture.sh stop "$msdir" >/dev/null 2>&1 || true
t1=$(date +%s)

bash scripts/sanitize.sh
sanitize_rc=$?
t2=$(date +%s)

bash scripts/fuzz.sh smoke 15
fuzz_rc=$?
t3=$(date +%s)

verdict() { [ "$1" -eq 0 ] && echo ok || echo FAILED; }
main_line=$(grep -E '^[0-9]+% tests passed, ' "$build/ctest-main.log" | tail -1)
echo
echo "== test command summary"
printf '  %-22s %-6s %5ss\n' "build + tests" "$(verdict $main_rc)" $(( t1 - t0 ))
printf '  %-22s %-6s %5ss\n' "sanitizer builds" "$(verdict $sanitize_rc)" $(( t2 - t1 ))
printf '  %-22s %-6s %5ss\n' "fuzz smoke" "$(verdict $fuzz_rc)" $(( t3 - t2 ))
printf '  %-22s %-6s %5ss\n' "all" "$(verdict $(( main_rc | sanitize_rc | fuzz_rc )))" $(( t3 - t0 ))
echo "${main_line:-no tests ran}"
exit $(( main_rc | sanitize_rc | fuzz_rc ))
