#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Stops the mail servers and the token service that start-mail-server.sh
# recorded in ENV_FILE, by their process ids, and removes their run folder.
#
#   stop-mail-server.sh ENV_FILE
set -uo pipefail
env_file=${1:?usage: stop-mail-server.sh ENV_FILE}
[ -f "$env_file" ] || exit 0

value() { sed -n "s/^$1=//p" "$env_file" | head -n 1; }
run=$(value RUN_DIR)
# The ids recorded at start, and those in the daemons' own pid files in
# case a start was cut short before it could record them.
candidates=("$(value POSTFIX_PID)" "$(value DOVECOT_PID)")
for file in "$run/queue/pid/master.pid" "$run/dovecot/master.pid"; do
  [ -n "$run" ] && [ -f "$file" ] && candidates+=("$(tr -d ' \n' <"$file")")
done
# A recorded id is used only while it still names a Postfix or Dovecot
# master: after a reboot it may belong to anything.
is_mail_master() {
  case "$(readlink "/proc/$1/exe" 2>/dev/null)" in
    /usr/lib/postfix/sbin/master | /usr/sbin/dovecot) return 0 ;;
  esac
  return 1
}
pids=()
for pid in "${candidates[@]}"; do
  [[ "$pid" =~ ^[0-9]+$ ]] && is_mail_master "$pid" && [[ " ${pids[*]} " != *" $pid "* ]] && pids+=("$pid")
done

# The token service, while its id still names it.
token=$(value TOKEN_PID)
if [[ "$token" =~ ^[0-9]+$ ]] && tr '\0' ' ' <"/proc/$token/cmdline" 2>/dev/null | grep -q "token_service.py $run/"; then
  pids+=("$token")
fi

[ ${#pids[@]} -eq 0 ] || kill -TERM "${pids[@]}" 2>/dev/null
# Both masters take their children down with them; wait up to 10 s.
for _ in $(seq 100); do
  alive=()
  for pid in "${pids[@]}"; do
    kill -0 "$pid" 2>/dev/null && alive+=("$pid")
  done
  [ ${#alive[@]} -eq 0 ] && break
  sleep 0.1
done
if [ ${#alive[@]} -gt 0 ]; then
  echo "stop-mail-server: forcing ${alive[*]}" >&2
  kill -KILL "${alive[@]}" 2>/dev/null
fi

case "$run" in
  /tmp/tsmail.*) rm -rf "$run" ;;
esac
rm -f "$env_file"
echo "stop-mail-server: stopped"
