#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang (ASan + UBSan, in
# build-fuzz/) and runs them.
#
#   scripts/fuzz.sh smoke [SECONDS]          every target: its seed corpus once,
#                                            then SECONDS (15) of fuzzing
#   scripts/fuzz.sh run SECONDS [TARGET...]  longer runs; new inputs are kept in
#                                            build-fuzz/corpus/<target>/
#   scripts/fuzz.sh list                     the target names
#
# Findings (crash, leak, time-out, out-of-memory inputs) are written to
# build-fuzz/findings/; the script exits non-zero when any target found one.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

build=${PARVOLA_FUZZ_BUILD_DIR:-build-fuzz}
mode=${1:-smoke}
case $mode in
  smoke) seconds=${2:-15}; shift $(( $# > 1 ? 2 : $# )) ;;
  run) seconds=${2:?"usage: scripts/fuzz.sh run SECONDS [TARGET...]"}; shift 2 ;;
  list) ;;
  *) echo "usage: scripts/fuzz.sh smoke [SECONDS] | run SECONDS [TARGET...] | list" >&2; exit 2 ;;
esac

all_targets=()
for f in fuzz/*_fuzz.cpp; do
  n=$(basename "$f" _fuzz.cpp)
  all_targets+=("$n")
done
if [ "$mode" = list ]; then
  printf '%s\n' "${all_targets[@]}"
  exit 0
fi
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=("${all_targets[@]}")

# Ports of the fuzz build's own (unused) mail server fixture, apart from the
# other build folders'.
mkdir -p "$build"
if ! { cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
         -DCMAKE_CXX_COMPILER=clang++-14 -DPARVOLA_FUZZ=ON -DPARVOLA_BUILD_GUI=OFF \
         -DPARVOLA_TEST_SMTP_PORT=2745 -DPARVOLA_TEST_POP3_PORT=1330 \
         -DPARVOLA_TEST_IMAP_PORT=1363 &&
       cmake --build "$build" --target fuzz_all -j"$(nproc)"; } >"$build/build.log" 2>&1; then
  tail -n 40 "$build/build.log"
  echo "fuzz: FAILED to build the fuzz targets (log: $build/build.log)"
  exit 1
fi

findings=$build/findings
mkdir -p "$findings"
logs=$build/fuzz-logs
mkdir -p "$logs"
# Scratch files of the readers (mail bodies, sandboxes) go to memory.
export TMPDIR=${TMPDIR:-/dev/shm}

failed=0
summary=()
for t in "${targets[@]}"; do
  exe=$build/fuzz/fuzz_$t
  seeds=fuzz/corpus/$t
  if [ ! -x "$exe" ] || [ ! -d "$seeds" ]; then
    summary+=("$(printf '%-20s MISSING (no executable or no seed corpus)' "$t")")
    failed=1
    continue
  fi
  log=$logs/$t.log
  # 1. Every seed once, whole (seeds may exceed the fuzzing length limit).
  if ! "$exe" -timeout=60 -rss_limit_mb=3072 -artifact_prefix="$findings/$t-" \
        "$seeds"/* >"$log" 2>&1; then
    summary+=("$(printf '%-20s FINDING in the seed corpus (see %s)' "$t" "$log")")
    failed=1
    continue
  fi
  # 2. Fuzzing for the time given. Smoke runs start from the seeds in a
  #    scratch corpus; longer runs keep what they find.
  if [ "$mode" = smoke ]; then
    corpus=$(mktemp -d "${TMPDIR}/parvola-fuzz-corpus.XXXXXX")
  else
    corpus=$build/corpus/$t
    mkdir -p "$corpus"
  fi
  start=$(date +%s)
  "$exe" -max_total_time="$seconds" -max_len=4096 -timeout=25 -rss_limit_mb=3072 \
    -print_final_stats=1 -artifact_prefix="$findings/$t-" "$corpus" "$seeds" >>"$log" 2>&1
  rc=$?
  took=$(( $(date +%s) - start ))
  [ "$mode" = smoke ] && rm -rf "$corpus"
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1)
  if [ $rc -eq 0 ]; then
    summary+=("$(printf '%-20s ok       %5ss  %10s execs  %s' "$t" "$took" "${execs:-?}" "$cov")")
  else
    summary+=("$(printf '%-20s FINDING  %5ss  %10s execs  (exit %s, see %s)' "$t" "$took" "${execs:-?}" "$rc" "$log")")
    failed=1
  fi
done

echo "fuzz ($mode, ${seconds}s each):"
printf '  %s\n' "${summary[@]}"
exit $failed
