#!/usr/bin/env bash
# A large store and read through a relay that cuts the SMTP session every few
# MiB, with nobody at the keyboard: the command line's own store and read,
# against a private test mail server, the retries printed as they happen.
#
#   bench/transfer/cut_store.sh BUILD_DIR SMTP_PORT POP3_PORT IMAP_PORT [SIZE_MIB] [CUT_MIB] [PIECE]
#
# SIZE_MIB 100, CUT_MIB 5 and PIECE 3M unless given: a piece's mail must be
# shorter than the stretch between two cuts, or no try of it ever gets
# through (a 3 MiB piece is about 4.1 MiB on the wire). The server runs in
# /tmp/parvola-cut-SMTP_PORT and is stopped at the end, whatever happens.
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:?usage: cut_store.sh BUILD_DIR SMTP_PORT POP3_PORT IMAP_PORT [SIZE_MIB] [CUT_MIB]}" && pwd)
smtp=${2:?missing SMTP port}
pop3=${3:?missing POP3 port}
imap=${4:?missing IMAP port}
size=${5:-100}
cut=${6:-5}
piece=${7:-3M}
dir=/tmp/parvola-cut-$smtp
work=$(mktemp -d /tmp/parvola-cut-work.XXXXXX)
relay=
cleanup() {
  [ -n "$relay" ] && kill "$relay" 2>/dev/null && wait "$relay" 2>/dev/null || true
  bash "$here/tests/mailserver/fixture.sh" stop "$dir" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

bash "$here/tests/mailserver/fixture.sh" start "$dir" "$smtp" "$pop3" "$imap" >/dev/null
bash "$here/tests/mailserver/mailstack.sh" adduser "$dir" cutuser cutpw >/dev/null
"$build/bench/transfer/bench_fault_relay_run" "$smtp" $((cut * 1048576)) >"$work/port" 2>"$work/relay.log" &
relay=$!
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.1; done
port=$(cat "$work/port")

export PARVOLA_HOME=$work/home
mkdir -p "$PARVOLA_HOME"
printf '[tls]\nca_file=%s/tls/ca.pem\n' "$dir" >"$PARVOLA_HOME/deploy.ini"
cli=$build/cli/parvola-cli
echo cutpw | "$cli" login --direct cutuser@sina.test --password-stdin \
  --pop3 "pop3://127.0.0.1:$pop3" --smtp "smtp://127.0.0.1:$port" --allow-plaintext \
  --piece-size "$piece" >/dev/null
head -c $((size * 1048576)) /dev/urandom >"$work/big.bin"

echo "store of $size MiB in $piece pieces through a relay cutting every $cut MiB:"
start=$(date +%s.%N)
"$cli" store "$work/big.bin" --folder 我的文档 2>&1 | tr '\r' '\n' | grep -v '^ *$' >"$work/store.log" || {
  cat "$work/store.log"; exit 1; }
end=$(date +%s.%N)
grep -E 'retrying in' "$work/store.log" | sort | uniq -c | sed 's/^/  /'
echo "  $(grep -c 'relay: cut [0-9]' "$work/relay.log") cuts, $(grep -c 'retrying in' "$work/store.log" || true) retry lines," \
  "$(printf '%.1f' "$(echo "$end - $start" | bc)") s"
mkdir "$work/out"
"$cli" read 我的文档/big.bin --to "$work/out" >/dev/null 2>&1
cmp "$work/big.bin" "$work/out/big.bin" && echo "  read back byte for byte"
