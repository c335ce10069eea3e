#!/usr/bin/env bash
# The test mail server as a CTest fixture: `start DIR SMTP_PORT POP3_PORT [IMAP_PORT]` brings up
# Exim and Dovecot on the loopback addresses of the seven provider rows, with
# TLS listeners beside the plaintext ones (SMTPS on SMTP_PORT+1, STARTTLS on
# SMTP_PORT+2, POP3S on POP3_PORT+1, STLS on POP3_PORT, IMAP (1143 unless given)
# with STARTTLS, IMAPS on IMAP_PORT+1; test CA in DIR/tls),
# `stop DIR` stops them by pid and removes DIR. The test command also calls
# stop from its EXIT trap, so an interrupted run leaves nothing behind.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cmd=${1:?usage: fixture.sh start DIR SMTP_PORT POP3_PORT [IMAP_PORT] | stop DIR}
dir=${2:?missing DIR}

case $cmd in
  start)
    if [ -d "$dir" ]; then bash "$here/mailstack.sh" stop "$dir" >/dev/null 2>&1 || true; rm -rf "$dir"; fi
    mkdir -p "$dir"
    MAILSTACK_TLS=yes \
    MAILSTACK_SMTP_PORT=${3:?missing SMTP port} MAILSTACK_POP3_PORT=${4:?missing POP3 port} \
    MAILSTACK_IMAP_PORT=${5:-1143} \
    MAILSTACK_ADDRESSES="127.0.0.1 127.0.0.2 127.0.0.3 127.0.0.4 127.0.0.5 127.0.0.6 127.0.0.7 127.0.0.8" \
    MAILSTACK_DOMAINS="sina.test:sohu.test:tom.test:21cn.test:sogou.test:qq.test:foxmail.test:other.test" \
      bash "$here/mailstack.sh" start "$dir"
    ;;
  stop)
    if [ -d "$dir" ]; then
      bash "$here/mailstack.sh" stop "$dir"
      rm -rf "$dir"
    fi
    ;;
  *) echo "usage: fixture.sh start DIR SMTP_PORT POP3_PORT [IMAP_PORT] | stop DIR" >&2; exit 2 ;;
esac
