#!/usr/bin/env bash
# mailstack.sh - a throw-away real mail server on loopback, for tests.
#
#   SMTP  127.0.0.1:$MAILSTACK_SMTP_PORT (2525)  Exim: EHLO, AUTH LOGIN/PLAIN in plain text
#   POP3  127.0.0.1:$MAILSTACK_POP3_PORT (1110)  Dovecot: USER/PASS in plain text
#   IMAP  127.0.0.1:$MAILSTACK_IMAP_PORT (1143)  Dovecot: LOGIN/AUTHENTICATE in plain text,
#                                                the same users and Maildir as POP3
#   Exim hands every accepted message over LMTP (a unix socket) to Dovecot,
#   which files it in DIR/mail/<user>/Maildir.
#
# Everything (configs, users, mail, Exim's queue, logs, pid files, sockets) lives
# under DIR. Nothing outside DIR is written. Both daemons run as the caller, or
# as the 'mail' user when the caller is root (neither daemon will handle mail as
# uid 0); so DIR and its parents must be reachable by that user (e.g. under /tmp).
#
#   mailstack.sh install                          apt-get the packages (root), stop any system
#                                                 daemon that apt's post-install started
#   mailstack.sh start   DIR [user:password ...]  write configs, start, wait until both answer
#   mailstack.sh stop    DIR                      stop both by pid, wait until they are gone
#   mailstack.sh adduser DIR USER PASSWORD        add a user or change its password (live)
#   mailstack.sh status  DIR                      exit 0 when both daemons are up
#
# Environment (read by start; stop/adduser/status need nothing):
#   MAILSTACK_SMTP_PORT (2525)  MAILSTACK_POP3_PORT (1110)  MAILSTACK_IMAP_PORT (1143)
#   MAILSTACK_DOMAINS   (sina.test; colon-separated, the first is the host name)
#   MAILSTACK_MAX_SIZE  (200M; Exim's message_size_limit)
#   MAILSTACK_ADDRESSES (127.0.0.1; blank-separated loopback addresses both daemons
#                        listen on, so that provider rows can be told apart by host)
#   MAILSTACK_RUN_USER  (mail; only used when the caller is root)
#   MAILSTACK_TLS       (no; "yes" adds TLS with a test CA made in DIR/tls:
#                        SMTPS on SMTP+1, SMTP with STARTTLS on SMTP+2, POP3S on
#                        POP3+1, STLS on the POP3 port, IMAPS on IMAP+1, STARTTLS
#                        on the IMAP port; the plaintext listeners
#                        behave as before. Clients trust DIR/tls/ca.pem; the
#                        server's certificate names mail.<first domain> and the
#                        listening addresses, and no other name)
#
# A user logs in (SMTP AUTH, POP3 USER, IMAP LOGIN) with the bare name, e.g. "alice"
# (or the whole address, alice@sina.test, read as the bare name),
# and has the address alice@<any of MAILSTACK_DOMAINS>.
set -euo pipefail
export LC_ALL=C

die() { echo "mailstack: $*" >&2; exit 1; }

# ---------------------------------------------------------------- helpers ---
resolve_dir() {  # DIR [create] -> absolute, symlink-free path
  [ -n "${1:-}" ] || die "missing DIR"
  if [ "${2:-}" = create ]; then mkdir -p "$1"; fi
  [ -d "$1" ] || die "no such directory: $1"
  (cd "$1" && pwd -P)
}

run_identity() {  # sets RUN_USER RUN_GROUP RUNAS (command prefix)
  if [ "$(id -u)" -eq 0 ]; then
    RUN_USER=${MAILSTACK_RUN_USER:-mail}
    id -u "$RUN_USER" >/dev/null 2>&1 || die "no such user: $RUN_USER"
    RUN_GROUP=$(id -gn "$RUN_USER")
    RUNAS=(setpriv --reuid="$RUN_USER" --regid="$RUN_GROUP" --clear-groups --)
  else
    RUN_USER=$(id -un)
    RUN_GROUP=$(id -gn)
    RUNAS=()
  fi
}

# pid of a daemon from its pid file, only if that process is alive, not a
# zombie, and really ours (its command line names our DIR).
live_pid() {  # PIDFILE DIR
  local pid state
  [ -s "$1" ] || return 1
  pid=$(tr -dc '0-9' < "$1")
  [ -n "$pid" ] && [ -r "/proc/$pid/stat" ] || return 1
  state=$(sed 's/.*) //' "/proc/$pid/stat" 2>/dev/null | cut -d' ' -f1) || return 1
  [ "$state" != Z ] || return 1
  tr '\0' ' ' < "/proc/$pid/cmdline" 2>/dev/null | grep -qF -- "$2/etc/" || return 1
  echo "$pid"
}

port_open() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

# First line of a server's greeting; QUIT (LOGOUT for IMAP) politely so nothing
# logs an error.
greeting() {  # PORT
  local line
  { exec 3<>"/dev/tcp/127.0.0.1/$1"; } 2>/dev/null || return 1
  if IFS= read -r -t 3 line <&3; then
    case $line in
      '* OK'*) printf 'a LOGOUT\r\n' >&3 2>/dev/null || true ;;
      *) printf 'QUIT\r\n' >&3 2>/dev/null || true ;;
    esac
    exec 3<&- 3>&-
    printf '%s\n' "${line%$'\r'}"
  else
    exec 3<&- 3>&-
    return 1
  fi
}

wait_ready() {  # NAME PORT PATTERN PIDFILE DIR LOG
  local i line
  for ((i = 0; i < START_TIMEOUT * 20; i++)); do
    if line=$(greeting "$2") && [[ $line =~ $3 ]]; then
      live_pid "$4" "$5" >/dev/null && return 0
    fi
    sleep 0.05
  done
  echo "mailstack: $1 did not come up on 127.0.0.1:$2 within ${START_TIMEOUT}s; end of $6:" >&2
  tail -n 20 "$6" >&2 2>/dev/null || true
  return 1
}

stop_one() {  # NAME PIDFILE DIR
  local pid i
  if ! pid=$(live_pid "$2" "$3"); then rm -f "$2"; return 0; fi
  kill -TERM "$pid" 2>/dev/null || true
  for ((i = 0; i < 200; i++)); do          # up to 10 s for a clean exit
    live_pid "$2" "$3" >/dev/null || break
    sleep 0.05
  done
  if live_pid "$2" "$3" >/dev/null; then
    echo "mailstack: $1 (pid $pid) ignored SIGTERM; killing it" >&2
    kill -KILL "$pid" 2>/dev/null || true
  fi
  # Children left in its process group (an SMTP session or delivery still
  # running): the group id is the daemon's pid, as start ran it under setsid.
  kill -TERM -- "-$pid" 2>/dev/null || true
  rm -f "$2"
}

valid_user() { [[ $1 =~ ^[a-z0-9][a-z0-9._-]{0,63}$ ]]; }
# ':' ends the field in both daemons' user file; blanks, quotes, backslashes and
# a leading '{' (a Dovecot scheme prefix) would be read differently by one of them.
valid_password() { [[ $1 =~ ^[[:graph:]]{1,128}$ && $1 != *[:\"\\]* && $1 != \{* ]]; }

set_user() {  # DIR USER PASSWORD
  local dir=$1 user=$2 pass=$3 tmp old
  valid_user "$user" || die "bad user name '$user' (want [a-z0-9][a-z0-9._-]*)"
  valid_password "$pass" || die "bad password for $user (printable ASCII, no blank : \" \\ or leading {)"
  (
    flock 9
    tmp=$(mktemp "$dir/etc/users.XXXXXX")
    { grep -v "^$user:" "$dir/etc/users" 2>/dev/null || true; printf '%s:%s\n' "$user" "$pass"; } > "$tmp"
    chmod 600 "$tmp"
    # owned like DIR/etc: the daemons' user, even when root adds to a stack
    # that a plain user started
    if [ "$(id -u)" -eq 0 ]; then chown --reference="$dir/etc" "$tmp"; fi
    # Dovecot reloads the file when its mtime (in seconds) or size changed:
    # make sure the mtime does change, even within the same second.
    old=$(stat -c %Y "$dir/etc/users" 2>/dev/null || echo 0)
    if [ "$(stat -c %Y "$tmp")" -le "$old" ]; then touch -d "@$((old + 1))" "$tmp"; fi
    mv -f "$tmp" "$dir/etc/users"      # atomic: both daemons re-read it per login
  ) 9>"$dir/etc/users.lock"
  # Exim reads the file afresh for every connection; Dovecot looks at it at
  # most once a second, so wait until Dovecot takes the new password.
  if live_pid "$dir/run/dovecot/master.pid" "$dir" >/dev/null; then
    local i
    for ((i = 0; i < 10; i++)); do
      doveadm -c "$dir/etc/dovecot.conf" auth test -x service=pop3 "$user" "$pass" >/dev/null 2>&1 && return 0
      sleep 0.2
    done
    die "dovecot does not accept the new password of $user (see $dir/log/dovecot.log)"
  fi
}

# ---------------------------------------------------------------- configs ---
write_dovecot_conf() {  # DIR
  cat > "$1/etc/dovecot.conf" <<EOF
# Generated by mailstack.sh. POP3 on 127.0.0.1:$POP3_PORT, IMAP on 127.0.0.1:$IMAP_PORT,
# LMTP on a unix socket. POP3 and IMAP read the same Maildir.
base_dir = $1/run/dovecot
state_dir = $1/state
instance_name = mailstack
protocols = pop3 imap lmtp
listen = $LISTEN_COMMA
log_path = $1/log/dovecot.log
log_timestamp = "%Y-%m-%d %H:%M:%S "
$DOVECOT_SSL
disable_plaintext_auth = no
auth_mechanisms = plain login
auth_verbose = yes
auth_failure_delay = 0
# A login by the whole address (alice@sina.test), as accounts that name their
# own servers log in, is the user alice; the bare name still works.
auth_username_format = %Ln
default_internal_user = $RUN_USER
default_internal_group = $RUN_GROUP
default_login_user = $RUN_USER
first_valid_uid = 1
mail_temp_dir = $1/tmp
mail_location = maildir:~/Maildir
mail_max_userip_connections = 50
passdb {
  driver = passwd-file
  args = scheme=PLAIN $1/etc/users
}
# static userdb checks the passdb, so unknown users are still refused
userdb {
  driver = static
  args = home=$1/mail/%n
}
# LMTP gets alice@domain from Exim; the user name is the part before the '@'
protocol lmtp {
  auth_username_format = %Ln
}
# No growing delay after failed logins (tests try wrong passwords on purpose):
# an auth process that cannot reach this socket skips the penalty.
service anvil {
  chroot =
  unix_listener anvil-auth-penalty {
    mode = 0
  }
}
service pop3-login {
  chroot =
  inet_listener pop3 {
    address = $LISTEN_COMMA
    port = $POP3_PORT
  }
  inet_listener pop3s {
    address = $LISTEN_COMMA
    port = $POP3S_PORT
    $POP3S_SSL
  }
}
# With ssl = yes the plaintext IMAP port offers STARTTLS; IMAPS only then.
service imap-login {
  chroot =
  inet_listener imap {
    address = $LISTEN_COMMA
    port = $IMAP_PORT
  }
  inet_listener imaps {
    address = $LISTEN_COMMA
    port = $IMAPS_PORT
    $POP3S_SSL
  }
}
service lmtp {
  unix_listener lmtp {
    mode = 0600
  }
}
EOF
}

write_exim_conf() {  # DIR
  cat > "$1/etc/exim.conf" <<EOF
# Generated by mailstack.sh. SMTP on 127.0.0.1:$SMTP_PORT, delivery by LMTP to Dovecot.
MS_DIR = $1
MS_USER = $RUN_USER
MS_GROUP = $RUN_GROUP
MS_PORT = $SMTP_PORT
MS_DOMAINS = $DOMAINS
MS_HOST = ${DOMAINS%%:*}
MS_MAX_SIZE = $MAX_SIZE
MS_INTERFACES = $LISTEN_COLON
MS_LISTEN_PORTS = $EXIM_PORTS
MS_TLS_ADVERTISE = $EXIM_TLS_ADVERTISE
EOF
  if [ "$TLS" = yes ]; then
    cat >> "$1/etc/exim.conf" <<EOF
tls_certificate = $1/tls/server.pem
tls_privatekey = $1/tls/server.key
tls_on_connect_ports = $SMTPS_PORT
EOF
  fi
  cat >> "$1/etc/exim.conf" <<'EOF'

primary_hostname = MS_HOST
qualify_domain = MS_HOST
domainlist local_domains = MS_DOMAINS
exim_user = MS_USER
exim_group = MS_GROUP
spool_directory = MS_DIR/spool
pid_file_path = MS_DIR/run/exim.pid
# Exim started with -C by a non-root uid logs to stderr (DIR/log/exim.log);
# this path would only be used by a privileged Exim.
log_file_path = MS_DIR/log/exim-%slog
log_selector = -queue_run
daemon_smtp_ports = MS_LISTEN_PORTS
local_interfaces = MS_INTERFACES
message_size_limit = MS_MAX_SIZE
# STARTTLS is offered on its own port only: the plaintext port's EHLO reply
# stays as it always was.
tls_advertise_hosts = MS_TLS_ADVERTISE
smtp_accept_max = 100
# default 10: later messages of one connection would wait for a queue run
smtp_accept_queue_per_connection = 0
keep_environment =
# Undeliverable bounces are dropped, stuck messages cleared, so that a broken
# delivery never lingers into later tests.
ignore_bounce_errors_after = 0s
timeout_frozen_after = 1m
acl_smtp_mail = acl_mail
acl_smtp_rcpt = acl_rcpt
acl_smtp_data = acl_data
acl_smtp_quit = acl_quit

begin acl

# Exim delivers each accepted message in its own process right after the final
# 250, so two messages sent back to back could reach the mailbox swapped.
# The next MAIL and the QUIT of the same connection therefore wait (at most
# ~5 s) until the connection's previous message has left the queue: POP3
# numbering follows sending order, and after 221 the mail is in the mailbox.
acl_data:
  warn    set acl_c_last = $message_exim_id
  accept

acl_quit:
  warn    condition = ${if def:acl_c_last}
          set acl_c_last = ${run{/bin/sh MS_DIR/etc/wait-delivered MS_DIR/spool/input/${acl_c_last}-H}{}{}}
  accept

acl_mail:
  warn    condition = ${if def:acl_c_last}
          set acl_c_last = ${run{/bin/sh MS_DIR/etc/wait-delivered MS_DIR/spool/input/${acl_c_last}-H}{}{}}
  deny    message = 530 5.7.0 Authentication required
          !authenticated = *
  deny    message = 553 5.7.1 <$sender_address> is not owned by user $authenticated_id
          condition = ${if or{ {!eqi{$sender_address_local_part}{$authenticated_id}} \
                               {!match_domain{$sender_address_domain}{+local_domains}} }}
  accept

acl_rcpt:
  deny    message = 550 5.7.1 Relaying denied
          !domains = +local_domains
  require message = 550 5.1.1 <$local_part@$domain>: no such user
          verify = recipient
  accept

begin routers

mailbox:
  driver = accept
  domains = +local_domains
  local_parts = lsearch;MS_DIR/etc/users
  transport = dovecot_lmtp

begin transports

dovecot_lmtp:
  driver = lmtp
  socket = MS_DIR/run/dovecot/lmtp
  user = MS_USER
  batch_max = 100

begin retry

*   *   F,1h,5s

begin authenticators

login:
  driver = plaintext
  public_name = LOGIN
  server_prompts = Username:: : Password::
  server_condition = ${if and{ {!eq{$auth2}{}} \
                               {eq{$auth2}{${lookup{${sg{$auth1}{@.*}{}}}lsearch{MS_DIR/etc/users}}}} }}
  server_set_id = ${sg{$auth1}{@.*}{}}

plain:
  driver = plaintext
  public_name = PLAIN
  server_prompts = :
  server_condition = ${if and{ {!eq{$auth3}{}} \
                               {eq{$auth3}{${lookup{${sg{$auth2}{@.*}{}}}lsearch{MS_DIR/etc/users}}}} }}
  server_set_id = ${sg{$auth2}{@.*}{}}
EOF
}

write_wait_script() {  # DIR
  cat > "$1/etc/wait-delivered" <<'EOF'
# Called by Exim's ACLs: wait until Exim's spool header $1 is gone (the message
# was delivered or given up), for at most about 5 seconds.
i=0
while [ -e "$1" ] && [ "$i" -lt 1000 ]; do sleep 0.005; i=$((i + 1)); done
EOF
}

# A test CA and a server certificate signed by it, for the TLS listeners.
make_test_certificates() {  # DIR ADDRESSES
  local tls=$1/tls san="DNS:mail.${DOMAINS%%:*}" a
  command -v openssl >/dev/null || die "openssl not installed (needed for MAILSTACK_TLS=yes)"
  for a in $2; do san="$san,IP:$a"; done
  mkdir -p "$tls"
  (
    cd "$tls"
    umask 077
    openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 30 \
      -keyout ca.key -out ca.pem -subj "/CN=mailstack test CA" \
      -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign
    openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes \
      -keyout server.key -out server.csr -subj "/CN=mail.${DOMAINS%%:*}"
    printf 'subjectAltName=%s\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' "$san" > server.ext
    openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 30 \
      -extfile server.ext -out server.pem
    chmod 644 ca.pem server.pem
  ) >/dev/null 2>&1 || die "could not make the test certificates in $tls"
}

# --------------------------------------------------------------- commands ---
cmd_start() {
  local dir=$1; shift
  SMTP_PORT=${MAILSTACK_SMTP_PORT:-2525}
  POP3_PORT=${MAILSTACK_POP3_PORT:-1110}
  IMAP_PORT=${MAILSTACK_IMAP_PORT:-1143}
  DOMAINS=${MAILSTACK_DOMAINS:-sina.test}
  MAX_SIZE=${MAILSTACK_MAX_SIZE:-200M}
  START_TIMEOUT=${MAILSTACK_START_TIMEOUT:-20}
  local addresses=${MAILSTACK_ADDRESSES:-127.0.0.1} a
  for a in $addresses; do
    [[ $a =~ ^127\.[0-9]+\.[0-9]+\.[0-9]+$ ]] || die "only loopback addresses may be listened on: $a"
  done
  LISTEN_COMMA=$(echo $addresses | tr ' ' ',')
  LISTEN_COLON=$(echo $addresses | sed 's/ / : /g')
  TLS=${MAILSTACK_TLS:-no}
  SMTPS_PORT=$((SMTP_PORT + 1))
  STARTTLS_PORT=$((SMTP_PORT + 2))
  POP3S_PORT=$((POP3_PORT + 1))
  IMAPS_PORT=$((IMAP_PORT + 1))
  if [ "$TLS" = yes ]; then
    DOVECOT_SSL="ssl = yes
ssl_cert = <$dir/tls/server.pem
ssl_key = <$dir/tls/server.key"
    EXIM_PORTS="$SMTP_PORT : $SMTPS_PORT : $STARTTLS_PORT"
    EXIM_TLS_ADVERTISE="\${if eq{\$received_port}{$STARTTLS_PORT}{*}{}}"
    POP3S_SSL="ssl = yes"
  else
    POP3S_SSL=""
    DOVECOT_SSL="ssl = no"
    POP3S_PORT=0  # no POP3S listener
    IMAPS_PORT=0  # nor IMAPS
    EXIM_PORTS=$SMTP_PORT
    EXIM_TLS_ADVERTISE=
  fi
  command -v dovecot >/dev/null || die "dovecot not installed (apt-get install dovecot-pop3d dovecot-imapd dovecot-lmtpd)"
  command -v exim4 >/dev/null || die "exim4 not installed (apt-get install exim4-daemon-light)"
  # Dovecot's sockets live under DIR/run/dovecot; a unix socket path has 107 bytes.
  [ ${#dir} -le 64 ] || die "DIR path too long for unix sockets (${#dir} > 64): $dir"
  [[ $dir =~ ^/[A-Za-z0-9._/+-]+$ ]] || die "DIR may hold only letters, digits and ._/+-: $dir"
  # start chowns and chmods DIR: never do that to a directory that is not ours.
  if [ -n "$(ls -A "$dir")" ] && [ ! -f "$dir/etc/dovecot.conf" ]; then
    die "$dir is not empty and not a mailstack directory"
  fi
  if live_pid "$dir/run/exim.pid" "$dir" >/dev/null || live_pid "$dir/run/dovecot/master.pid" "$dir" >/dev/null; then
    die "already running in $dir (use stop first)"
  fi
  local port
  for port in "$SMTP_PORT" "$POP3_PORT" "$IMAP_PORT"; do
    if port_open "$port"; then die "127.0.0.1:$port is already in use"; fi
  done
  if [ "$TLS" = yes ]; then
    for port in "$SMTPS_PORT" "$STARTTLS_PORT" "$POP3S_PORT" "$IMAPS_PORT"; do
      if port_open "$port"; then die "127.0.0.1:$port is already in use"; fi
    done
  fi

  mkdir -p "$dir"/{etc,run,log,spool,mail,state,tmp}
  rm -f "$dir/run/exim.pid" "$dir/run/dovecot/master.pid"
  if [ "$TLS" = yes ]; then make_test_certificates "$dir" "$addresses"; fi
  write_dovecot_conf "$dir"
  write_exim_conf "$dir"
  write_wait_script "$dir"
  touch "$dir/etc/users"
  chmod 700 "$dir"
  chmod 600 "$dir/etc/users"
  if [ "$(id -u)" -eq 0 ]; then
    chown -R "$RUN_USER:$RUN_GROUP" "$dir"
    # Exim refuses a -C file that its (dropped) uid could not have written.
    "${RUNAS[@]}" test -w "$dir/spool" ||
      die "$RUN_USER cannot reach $dir (a parent directory is closed to it; use e.g. /tmp)"
  fi
  local up
  for up in "$@"; do set_user "$dir" "${up%%:*}" "${up#*:}"; done

  setsid -f "${RUNAS[@]}" dovecot -F -c "$dir/etc/dovecot.conf" \
    </dev/null >>"$dir/log/dovecot.stderr" 2>&1
  if ! wait_ready dovecot "$POP3_PORT" '^\+OK' "$dir/run/dovecot/master.pid" "$dir" "$dir/log/dovecot.log"; then
    tail -n 5 "$dir/log/dovecot.stderr" >&2 || true
    cmd_stop "$dir"; exit 1
  fi
  if ! wait_ready dovecot-imap "$IMAP_PORT" '^\* OK' "$dir/run/dovecot/master.pid" "$dir" "$dir/log/dovecot.log"; then
    cmd_stop "$dir"; exit 1
  fi
  setsid -f "${RUNAS[@]}" exim4 -C "$dir/etc/exim.conf" -bdf -q5s \
    </dev/null >>"$dir/log/exim.log" 2>&1
  if ! wait_ready exim "$SMTP_PORT" '^220 ' "$dir/run/exim.pid" "$dir" "$dir/log/exim.log"; then
    cmd_stop "$dir"; exit 1
  fi
  if [ "$TLS" = yes ]; then
    for port in "$SMTPS_PORT" "$STARTTLS_PORT" "$POP3S_PORT" "$IMAPS_PORT"; do
      port_open "$port" || { echo "mailstack: nothing listens on TLS port $port" >&2; cmd_stop "$dir"; exit 1; }
    done
    echo "mailstack: TLS: smtps $SMTPS_PORT, smtp+starttls $STARTTLS_PORT, pop3s $POP3S_PORT," \
         "stls on $POP3_PORT, imaps $IMAPS_PORT, starttls on $IMAP_PORT; CA $dir/tls/ca.pem"
  fi
  echo "mailstack: up in $dir as $RUN_USER: smtp 127.0.0.1:$SMTP_PORT pop3 127.0.0.1:$POP3_PORT" \
       "imap 127.0.0.1:$IMAP_PORT" \
       "(exim pid $(live_pid "$dir/run/exim.pid" "$dir"), dovecot pid $(live_pid "$dir/run/dovecot/master.pid" "$dir"))"
}

PACKAGES=(exim4-daemon-light dovecot-pop3d dovecot-imapd dovecot-lmtpd)

cmd_install() {
  [ "$(id -u)" -eq 0 ] || die "install needs root"
  if ! command -v exim4 >/dev/null || ! command -v dovecot >/dev/null ||
     [ ! -x /usr/lib/dovecot/pop3 ] || [ ! -x /usr/lib/dovecot/imap ] ||
     [ ! -x /usr/lib/dovecot/lmtp ]; then
    export DEBIAN_FRONTEND=noninteractive
    apt-cache show "${PACKAGES[@]}" >/dev/null 2>&1 || apt-get update -qq
    apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${PACKAGES[@]}" >/dev/null
  fi
  # A machine whose init lets apt start services gets system-wide Exim (port 25)
  # and Dovecot (110, ...) running from /etc. The stack does not use them; stop
  # them by the pid in their own pid files so that nothing else answers there.
  local pf pid
  for pf in /run/exim4/exim.pid /run/dovecot/master.pid; do
    pid=$( { tr -dc '0-9' < "$pf"; } 2>/dev/null) || continue
    [ -n "$pid" ] && [ -r "/proc/$pid/comm" ] || continue
    case $(cat "/proc/$pid/comm") in
      exim4|dovecot) echo "mailstack: stopping system $(cat "/proc/$pid/comm") (pid $pid) that apt started"
                     kill -TERM "$pid" ;;
    esac
  done
}

cmd_stop() {
  local dir=$1
  stop_one exim "$dir/run/exim.pid" "$dir"              # first: no delivery in flight
  stop_one dovecot "$dir/run/dovecot/master.pid" "$dir"
}

cmd_status() {
  local dir=$1 rc=0 pid
  if pid=$(live_pid "$dir/run/exim.pid" "$dir"); then echo "exim: running, pid $pid"; else echo "exim: stopped"; rc=1; fi
  if pid=$(live_pid "$dir/run/dovecot/master.pid" "$dir"); then echo "dovecot: running, pid $pid"; else echo "dovecot: stopped"; rc=1; fi
  return $rc
}

case "${1:-}" in
  install) cmd_install ;;
  start)   [ $# -ge 2 ] || die "usage: $0 start DIR [user:password ...]"
           run_identity; d=$(resolve_dir "$2" create); shift 2; cmd_start "$d" "$@" ;;
  stop)    [ $# -eq 2 ] || die "usage: $0 stop DIR"
           d=$(resolve_dir "$2"); cmd_stop "$d" ;;
  adduser) [ $# -eq 4 ] || die "usage: $0 adduser DIR USER PASSWORD"
           run_identity; d=$(resolve_dir "$2"); [ -d "$d/etc" ] || die "$d was never started"
           set_user "$d" "$3" "$4" ;;
  status)  [ $# -eq 2 ] || die "usage: $0 status DIR"
           d=$(resolve_dir "$2"); cmd_status "$d" ;;
  *)       die "usage: $0 install | start|stop|adduser|status DIR ..." ;;
esac
