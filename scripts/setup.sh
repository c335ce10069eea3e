#!/usr/bin/env bash
# Installs every Debian package that building, running and testing Parvola need.
# Idempotent: when everything is present it only checks and returns.
set -euo pipefail

PACKAGES=(
  # tool chain
  build-essential cmake ninja-build pkg-config clang-format
  # libraries
  zlib1g-dev libcurl4-openssl-dev libssl-dev libsqlite3-dev libcpp-httplib-dev
  libgtest-dev libgmock-dev libbenchmark-dev libpugixml-dev
  # encryption of an account's store
  libsodium-dev
  # the desktop keyring (Secret Service) for remembered passwords, and a
  # real one for its test in a private D-Bus session
  libsecret-1-dev gnome-keyring dbus-daemon dbus-bin
  # desktop client: Qt, its Chinese stock texts and the desktop's own file
  # dialogs (GTK, portal); a virtual display with a window manager and
  # xdotool for the real-window smoke test and the screenshots
  qt6-base-dev qt6-base-dev-tools libgl-dev fonts-wqy-microhei xvfb xauth
  qt6-translations-l10n qt6-gtk-platformtheme qt6-xdgdesktopportal-platformtheme
  openbox xdotool
  # the real mail server of the tests and the embedded default
  exim4-daemon-light dovecot-pop3d dovecot-imapd dovecot-lmtpd
  # independent peers the tests check our output with; the locale sources,
  # from which a test makes a locale with a decimal comma
  python3 zip unzip libxml2-utils curl swaks openssl locales
  # fuzzing and sanitizers
  clang-14 libclang-rt-14-dev
  # scripts
  util-linux procps iproute2
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "setup: these packages are missing and installing them needs root: ${missing[*]}" >&2
    exit 1
  fi
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# A machine whose init lets apt start services gets a system-wide Exim and
# Dovecot; the project runs its own on other ports, so stop those by their pids.
for pf in /run/exim4/exim.pid /run/dovecot/master.pid; do
  pid=$( { tr -dc '0-9' < "$pf"; } 2>/dev/null) || continue
  [ -n "$pid" ] && [ -r "/proc/$pid/comm" ] || continue
  case $(cat "/proc/$pid/comm") in
    exim4|dovecot) kill -TERM "$pid" 2>/dev/null || true ;;
  esac
done
exit 0
