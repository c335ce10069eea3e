#!/usr/bin/env bash
# The tests under the sanitizers (g++):
#   build-asan/  AddressSanitizer + UndefinedBehaviorSanitizer: every unit and
#                integration test;
#   build-tsan/  ThreadSanitizer: the concurrency tests, chosen by name
#                (PARVOLA_TSAN_TESTS, a ctest -R regular expression).
# Each build has its own mail server fixture on its own ports, so nothing
# clashes with the main build's tests. Only the test executables (and the
# programs they start) are built. Exits non-zero when either build or any
# test fails.
#
#   scripts/sanitize.sh [asan|tsan]...   (both when none is named)
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

jobs=$(nproc)
# Tests that run threads or processes against each other: the task list and
# catalog from many threads, locks and settings across processes, concurrent
# downloads and notifications, the worker and resume threads.
tsan_tests=${PARVOLA_TSAN_TESTS:-'Thread|Concurren|Process|Parallel|Lock|Worker|Resume'}

# Stop at the first error, with a stack, for both sanitizers of the ASan build.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:strict_string_checks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
# The suppressions file says why each entry is there.
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1:suppressions=$root/scripts/tsan-suppressions.txt}

build_tests() {  # dir, flags, smtp port, pop3 port, imap port
  local dir=$1 flags=$2 smtp=$3 pop3=$4 imap=$5
  mkdir -p "$dir"
  # -O1 with line tables only: the usual level for sanitizers (reports keep
  # their file and line) and much less to compile than -O2 -g.
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPARVOLA_WERROR=ON \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" \
    -DPARVOLA_BUILD_GUI=OFF -DCMAKE_CXX_FLAGS="$flags -fno-omit-frame-pointer" \
    -DCMAKE_EXE_LINKER_FLAGS="$flags" \
    -DPARVOLA_TEST_SMTP_PORT="$smtp" -DPARVOLA_TEST_POP3_PORT="$pop3" \
    -DPARVOLA_TEST_IMAP_PORT="$imap" >"$dir/build.log" 2>&1 ||
    return 1
  # The test programs: *_unit, *_integration, and the checks that run inside
  # a session a script sets up (the keyring's private D-Bus session).
  local targets
  targets=$(ninja -C "$dir" -t targets all 2>/dev/null |
    sed -n 's/^\([A-Za-z0-9_]*_\(unit\|integration\|session_check\)\): .*/\1/p' | sort -u)
  [ -n "$targets" ] || return 1
  # shellcheck disable=SC2086
  cmake --build "$dir" --target $targets -j"$jobs" >>"$dir/build.log" 2>&1
}

run_ctest() {  # dir, ctest arguments...
  local dir=$1
  shift
  local msdir
  msdir=$(sed -n 's/^PARVOLA_MAILSTACK_DIR:INTERNAL=//p' "$dir/CMakeCache.txt")
  ctest --test-dir "$dir" --output-on-failure -j"$jobs" --timeout 900 "$@" >"$dir/ctest.log" 2>&1
  local rc=$?
  bash tests/mailserver/fixture.sh stop "$msdir" >/dev/null 2>&1 || true
  return $rc
}

kinds=("$@")
[ ${#kinds[@]} -gt 0 ] || kinds=(asan tsan)
failed=0
summary=()
for kind in "${kinds[@]}"; do
  start=$(date +%s)
  case $kind in
    asan)
      dir=build-asan
      # g++ 12 with ASan at -O2 reports -Wmaybe-uninitialized inside
      # libstdc++'s std::regex (std::function members of its state machine),
      # a false positive the main build does not show; it stays a warning here.
      flags="-fsanitize=address,undefined -fno-sanitize-recover=undefined -Wno-error=maybe-uninitialized"
      ports=(2745 1330 1363)
      filter=(-L 'unit|integration')
      ;;
    tsan)
      dir=build-tsan
      flags="-fsanitize=thread"
      ports=(2755 1340 1373)
      filter=(-L 'unit|integration' -R "$tsan_tests")
      ;;
    *)
      echo "sanitize: unknown build '$kind' (asan or tsan)" >&2
      exit 2
      ;;
  esac
  if ! build_tests "$dir" "$flags" "${ports[@]}"; then
    tail -n 40 "$dir/build.log"
    summary+=("$(printf '%-5s BUILD FAILED after %ss (log: %s/build.log)' "$kind" $(( $(date +%s) - start )) "$dir")")
    failed=1
    continue
  fi
  built=$(( $(date +%s) - start ))
  run_ctest "$dir" "${filter[@]}"
  rc=$?
  # "N% tests passed, F tests failed out of T" said in other words, so that
  # only the main run's line has ctest's wording.
  line=$(sed -n 's/^[0-9]*% tests passed, \([0-9]*\) tests\{0,1\} failed out of \([0-9]*\).*/\2 tests, \1 failed/p' \
    "$dir/ctest.log" | tail -1)
  took=$(( $(date +%s) - start ))
  if [ $rc -eq 0 ]; then
    summary+=("$(printf '%-5s ok      build %4ss, total %4ss: %s' "$kind" "$built" "$took" "$line")")
  else
    sed -n '/The following tests FAILED:/,$p' "$dir/ctest.log"
    summary+=("$(printf '%-5s FAILED  build %4ss, total %4ss: %s (log: %s/ctest.log)' "$kind" "$built" "$took" "${line:-no tests ran}" "$dir")")
    failed=1
  fi
done

echo "sanitizers:"
printf '  %s\n' "${summary[@]}"
exit $failed
