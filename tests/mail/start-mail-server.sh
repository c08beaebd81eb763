#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Starts a private Postfix (submission with SASL through Dovecot, STARTTLS,
# virtual Maildirs), a Dovecot POP3 server and an OAuth 2.0 token service
# (token_service.py, whose introspection endpoint Dovecot asks about bearer
# tokens) on loopback, in a fresh run folder under /tmp, without systemd.
# Writes what the tests need (ports, folders, users, process ids, the token
# service's address) as KEY=VALUE lines to ENV_FILE.
#
#   start-mail-server.sh ENV_FILE
#
# Nothing can leave the host: every transport but virtual delivery is an
# error transport, and the daemons listen on loopback addresses only.
set -euo pipefail
env_file=${1:?usage: start-mail-server.sh ENV_FILE}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

for tool in postfix postconf dovecot openssl /usr/bin/python3; do
  if ! command -v "$tool" >/dev/null 2>&1 && [ ! -x "/usr/sbin/$tool" ]; then
    echo "start-mail-server: $tool is missing; run scripts/install-deps.sh test-mail" >&2
    exit 1
  fi
done
[ "$(id -u)" -eq 0 ] || { echo "start-mail-server: must run as root" >&2; exit 1; }
export PATH=$PATH:/usr/sbin

# A run left behind by an interrupted test goes first.
if [ -f "$env_file" ]; then
  "$here/stop-mail-server.sh" "$env_file" || true
fi

domain=tessaly.test
run=$(mktemp -d /tmp/tsmail.XXXXXX)
chmod 0755 "$run"
echo "RUN_DIR=$run" >"$env_file"

# The process ids go into the environment file as soon as they exist, so
# that a failed start is cleaned up as a finished run is.
record_pids() {
  [ -f "$run/queue/pid/master.pid" ] && echo "POSTFIX_PID=$(tr -d ' \n' <"$run/queue/pid/master.pid")" >>"$env_file"
  [ -f "$run/dovecot/master.pid" ] && echo "DOVECOT_PID=$(tr -d ' \n' <"$run/dovecot/master.pid")" >>"$env_file"
  return 0
}
trap 'status=$?; if [ $status -ne 0 ]; then record_pids; "$here/stop-mail-server.sh" "$env_file" >/dev/null 2>&1; fi' EXIT

mkdir -p "$run/conf" "$run/queue" "$run/log" "$run/data" "$run/mail/$domain" "$run/dovecot-state"
chown postfix "$run/data"
chown -R mail:mail "$run/mail"
log="$run/log/server.log"
: >"$log"

read -r submit_port auth_port pop_port < <(/usr/bin/python3 - <<'EOF'
import socket
socks = [socket.socket() for _ in range(3)]
for s in socks:
    s.bind(("127.0.0.1", 0))
print(*(s.getsockname()[1] for s in socks))
EOF
)

# Implicit TLS has its own port, 465, which every run can have on a
# loopback address of its own.
tls_host=127.$((RANDOM % 250 + 1)).$((RANDOM % 250 + 1)).$((RANDOM % 250 + 1))

# Users: name:password. The sender submits and logs in to POP3; the others
# only receive.
users=(sender:sender-secret alice:alice-secret bob:bob-secret carol:carol-secret)
: >"$run/conf/vmailbox"
: >"$run/conf/users"
for entry in "${users[@]}"; do
  name=${entry%%:*}
  echo "$name@$domain $domain/$name/" >>"$run/conf/vmailbox"
  echo "$name@$domain:{PLAIN}${entry#*:}::::::" >>"$run/conf/users"
done
chmod 0640 "$run/conf/users"
chgrp dovecot "$run/conf/users"

# The token service first: Dovecot's configuration names its port.
addresses=()
for entry in "${users[@]}"; do
  addresses+=("${entry%%:*}@$domain")
done
setsid /usr/bin/python3 "$here/token_service.py" "$run/token.port" "${addresses[@]}" \
  </dev/null >>"$run/log/token.log" 2>&1 &
token_pid=$!
echo "TOKEN_PID=$token_pid" >>"$env_file"
for _ in $(seq 200); do
  [ -s "$run/token.port" ] && break
  kill -0 "$token_pid" 2>/dev/null || break
  sleep 0.05
done
[ -s "$run/token.port" ] || {
  echo "start-mail-server: the token service did not start:" >&2
  cat "$run/log/token.log" >&2
  exit 1
}
token_port=$(cat "$run/token.port")

# Bearer tokens (XOAUTH2, OAUTHBEARER) are good while the token service's
# introspection calls them active, for the user they were issued to.
cat >"$run/conf/dovecot-oauth2.conf.ext" <<EOF
introspection_mode = post
introspection_url = http://127.0.0.1:$token_port/introspect
force_introspection = yes
username_attribute = username
active_attribute = active
active_value = true
EOF

openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 \
  -subj "/CN=mail.$domain" -addext "subjectAltName=DNS:mail.$domain" \
  -keyout "$run/conf/key.pem" -out "$run/conf/cert.pem" >/dev/null 2>&1
chmod 0600 "$run/conf/key.pem"

# Mail from reject-content@ is refused after DATA, as a content
# filter would.
echo '/^From: reject-content@/ REJECT 5.7.1 message content refused by policy' >"$run/conf/header_checks"

mail_uid=$(id -u mail)
mail_gid=$(id -g mail)
cat >"$run/conf/main.cf" <<EOF
compatibility_level = 3.6
queue_directory = $run/queue
data_directory = $run/data
maillog_file = $log
maillog_file_prefixes = $run
myhostname = mail.$domain
mydomain = $domain
myorigin = \$myhostname
mydestination =
# Every listener in master.cf names its loopback address; "all" only spares
# Postfix from checking 127.x.y.z against the configured interfaces.
inet_interfaces = all
inet_protocols = ipv4
mynetworks = 127.0.0.0/8
alias_maps =
alias_database =
biff = no
smtpd_relay_restrictions = permit_sasl_authenticated, reject_unauth_destination
smtpd_sasl_auth_enable = yes
smtpd_sasl_type = dovecot
smtpd_sasl_path = private/auth
smtpd_tls_security_level = may
smtpd_tls_cert_file = $run/conf/cert.pem
smtpd_tls_key_file = $run/conf/key.pem
header_checks = regexp:$run/conf/header_checks
virtual_mailbox_domains = $domain
virtual_mailbox_base = $run/mail
virtual_mailbox_maps = texthash:$run/conf/vmailbox
virtual_minimum_uid = $mail_uid
virtual_uid_maps = static:$mail_uid
virtual_gid_maps = static:$mail_gid
local_transport = error:local delivery is disabled
default_transport = error:delivery outside the test host is disabled
relay_transport = error:delivery outside the test host is disabled
EOF

cat >"$run/conf/master.cf" <<EOF
127.0.0.1:$submit_port inet n - n - - smtpd
127.0.0.1:$auth_port inet n - n - - smtpd -o smtpd_client_restrictions=permit_sasl_authenticated,reject
$tls_host:465 inet n - n - - smtpd -o smtpd_tls_wrappermode=yes
pickup    unix  n - n 60 1 pickup
cleanup   unix  n - n - 0 cleanup
qmgr      unix  n - n 300 1 qmgr
tlsmgr    unix  - - n 1000? 1 tlsmgr
rewrite   unix  - - n - - trivial-rewrite
bounce    unix  - - n - 0 bounce
defer     unix  - - n - 0 bounce
trace     unix  - - n - 0 bounce
verify    unix  - - n - 1 verify
flush     unix  n - n 1000? 0 flush
proxymap  unix  - - n - - proxymap
showq     unix  n - n - - showq
error     unix  - - n - - error
retry     unix  - - n - - error
discard   unix  - - n - - discard
virtual   unix  - n n - - virtual
anvil     unix  - - n - 1 anvil
scache    unix  - - n - 1 scache
postlog   unix-dgram n - n - 1 postlogd
EOF

cat >"$run/conf/dovecot.conf" <<EOF
instance_name = tsmail-${run##*.}
base_dir = $run/dovecot
state_dir = $run/dovecot-state
log_path = $log
protocols = pop3
listen = 127.0.0.1
ssl = yes
ssl_cert = <$run/conf/cert.pem
ssl_key = <$run/conf/key.pem
disable_plaintext_auth = no
auth_mechanisms = plain login cram-md5 xoauth2 oauthbearer
auth_failure_delay = 0
auth_verbose = yes
first_valid_uid = $mail_uid
mail_location = maildir:$run/mail/%d/%n
passdb {
  driver = passwd-file
  mechanisms = plain login cram-md5
  args = scheme=PLAIN username_format=%u $run/conf/users
}
passdb {
  driver = oauth2
  mechanisms = xoauth2 oauthbearer
  args = $run/conf/dovecot-oauth2.conf.ext
}
userdb {
  driver = static
  args = uid=$mail_uid gid=$mail_gid home=$run/mail/%d/%n
}
service pop3-login {
  inet_listener pop3 {
    address = 127.0.0.1
    port = $pop_port
  }
  inet_listener pop3s {
    port = 0
  }
}
service auth {
  unix_listener $run/queue/private/auth {
    mode = 0660
    user = postfix
    group = postfix
  }
}
# Tests try wrong passwords on purpose: no growing penalty.
service anvil {
  unix_listener anvil-auth-penalty {
    mode = 0
  }
}
EOF

# Postfix re-reads configuration files younger than a second until they
# settle, which costs seconds at start.
touch -d '-2 minutes' "$run"/conf/*

cat >"$env_file" <<EOF
RUN_DIR=$run
DOMAIN=$domain
SUBMIT_PORT=$submit_port
AUTH_PORT=$auth_port
POP_PORT=$pop_port
TLS_HOST=$tls_host
MAIL_BASE=$run/mail/$domain
SERVER_LOG=$log
TOKEN_URL=http://127.0.0.1:$token_port
TOKEN_PID=$token_pid
EOF
for entry in "${users[@]}"; do
  echo "PASSWORD_${entry%%:*}=${entry#*:}" >>"$env_file"
done

postfix -c "$run/conf" start >>"$run/log/start.log" 2>&1 || {
  echo "start-mail-server: postfix did not start:" >&2
  cat "$run/log/start.log" "$log" >&2
  exit 1
}
dovecot -c "$run/conf/dovecot.conf" >>"$run/log/start.log" 2>&1 </dev/null || {
  echo "start-mail-server: dovecot did not start:" >&2
  cat "$run/log/start.log" "$log" >&2
  exit 1
}

# Dovecot writes its process id only after it has gone to the background.
for _ in $(seq 100); do
  [ -s "$run/queue/pid/master.pid" ] && [ -s "$run/dovecot/master.pid" ] && break
  sleep 0.05
done
record_pids

# Ready when every port takes connections.
/usr/bin/python3 - "127.0.0.1:$submit_port" "127.0.0.1:$auth_port" "127.0.0.1:$pop_port" "$tls_host:465" <<'EOF'
import socket, sys, time
deadline = time.monotonic() + 15
for address in sys.argv[1:]:
    host, port = address.rsplit(":", 1)
    while True:
        try:
            with socket.create_connection((host, int(port)), timeout=2):
                pass
            break
        except OSError:
            if time.monotonic() > deadline:
                sys.exit(f"start-mail-server: {address} does not answer")
            time.sleep(0.05)
EOF
echo "start-mail-server: running in $run (submission $submit_port, auth $auth_port, pop3 $pop_port, tls $tls_host:465, tokens $token_port)"
