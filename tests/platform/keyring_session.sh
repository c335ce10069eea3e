#!/usr/bin/env bash
# Runs the keyring test program against a real Secret Service: a private
# D-Bus session (dbus-run-session) with gnome-keyring's secrets component,
# its login keyring created and unlocked in a scratch home of its own.
#   keyring_session.sh PROGRAM [ARGS...]
set -uo pipefail
if ! command -v dbus-run-session >/dev/null || ! command -v gnome-keyring-daemon >/dev/null; then
  echo "keyring test skipped: dbus-run-session or gnome-keyring-daemon is not installed" \
       "(scripts/setup.sh installs them)"
  exit 77
fi
if [ -z "${KEYRING_SESSION_INNER:-}" ]; then
  scratch=$(mktemp -d /tmp/parvola-keyring.XXXXXX)
  trap 'rm -rf "$scratch"' EXIT
  # Set before the bus starts, so that a service the bus starts on demand
  # keeps its files in the scratch home too.
  export HOME=$scratch/home XDG_DATA_HOME=$scratch/data XDG_CONFIG_HOME=$scratch/config \
         XDG_RUNTIME_DIR=$scratch/run
  mkdir -p "$HOME" "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
  chmod 700 "$XDG_RUNTIME_DIR"
  KEYRING_SESSION_INNER=1 PARVOLA_KEYRING_FILES=$scratch \
    dbus-run-session -- "$0" "$@" 2> >(grep -v -e 'Failed to set fd limit' -e 'Activat' >&2)
  exit $?
fi
# --unlock reads the login keyring's password on standard input.
if ! printf 'keyring-test' | gnome-keyring-daemon --unlock --components=secrets >/dev/null; then
  echo "keyring test skipped: gnome-keyring-daemon could not start in this session"
  exit 77
fi
# The daemon forks; wait (at most 10 s) until it owns the Secret Service name.
for _ in $(seq 100); do
  if dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
       org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null |
       grep -q 'boolean true'; then
    exec "$@"
  fi
  sleep 0.1
done
echo "keyring test skipped: gnome-keyring-daemon never took the Secret Service name"
exit 77
