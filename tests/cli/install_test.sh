#!/usr/bin/env bash
# cmake --install puts the command line's completion and manual page where
# bash-completion and man look for them; the manual renders without warnings
# and the completion offers every command the program knows, and their options.
set -uo pipefail
build=$1
prefix=$(mktemp -d /tmp/parvola-install-XXXXXX)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "install test: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null || fail "cmake --install failed"
cli=$prefix/bin/parvola-cli
completion=$prefix/share/bash-completion/completions/parvola-cli
manual=$prefix/share/man/man1/parvola-cli.1
for f in "$cli" "$completion" "$manual"; do [ -f "$f" ] || fail "$f is not installed"; done

warnings=$(LC_ALL=C.UTF-8 groff -man -Tutf8 -K utf8 -ww -z "$manual" 2>&1)
[ -z "$warnings" ] || fail "the manual page has warnings: $warnings"
rendered=$(MANWIDTH=100 man -l "$manual" 2>/dev/null)
grep -q 'backup DIR --folder FOLDER' <<<"$rendered" || fail "the manual page does not render its commands"

# Every command of the overview is offered, and nothing else but the help.
known=$("$cli" --help | sed -n '/^commands:/,/^$/p' | awk 'NF > 1 && $1 != "commands:" {print $1}' | sort)
[ -n "$known" ] || fail "no commands in the overview"
offered=$(bash -c '
  source "$1"
  COMP_WORDS=(parvola-cli ""); COMP_CWORD=1; COMP_LINE="parvola-cli "; _parvola_cli
  printf "%s\n" "${COMPREPLY[@]}"' _ "$completion" | grep -v '^-' | grep -vx help | sort)
[ "$known" = "$offered" ] || fail "completion offers $(echo $offered) but the program knows $(echo $known)"
for word in $known; do grep -q "^\.B.* $word\b\|^\.B $word\|^\.BI \"$word " "$manual" || fail "the manual page lacks the command $word"; done

complete_for() {
  bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _parvola_cli; printf "%s\n" "${COMPREPLY[@]}"' _ "$completion" "$@"
}
complete_for parvola-cli purge --y | grep -qx -- --yes || fail "purge --y does not complete to --yes"
complete_for parvola-cli login --direct me@example.org --store | grep -qx -- --store-with || fail "login --direct --store does not complete to --store-with"
complete_for parvola-cli login --direct me@example.org --store-with "" | grep -qx append || fail "--store-with offers no values"
complete_for parvola-cli --account a@b.c store -r --save-unfinished "" | grep -qx no || fail "--save-unfinished offers no values"
dir=$(mktemp -d /tmp/parvola-compl-XXXXXX)
touch "$dir/年度 报告.pdf"
complete_for parvola-cli store "$dir/年" | grep -qx "$dir/年度 报告.pdf" || { rm -rf "$dir"; fail "store does not complete a file name with a blank"; }
rm -rf "$dir"
echo "install test: passed"
