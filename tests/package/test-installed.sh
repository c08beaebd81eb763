#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Debian package as a user gets it: builds the source and binary
# packages (scripts/package.sh, dpkg-buildpackage), checks them with lintian
# (no errors or warnings), desktop-file-validate, appstreamcli and
# systemd-analyze (the units' exposure must be 3.0 or lower), installs the
# package with apt-get, runs the installed programs (a check that mails a
# zip made by the installed zip component, which unzip opens; autostart by
# the user's choice; one data folder found through --dir, TESSALY_DIR and
# tessaly.conf alike; the headless mode started from the user unit's
# command line and, as another user, from the system unit's, each reached
# by tessalyctl balloon; where a user service manager answers systemd-run
# --user, the headless mode under the unit's sandbox, mailing a document
# dropped into a watched folder; manual pages; bash completion), and
# removes and purges it again, also when something failed. Needs root.
#
#   tests/package/test-installed.sh [PACKAGE.deb]
#
# Prints "package: ok" or "package: FAILED" as its last line.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
version=$(sed -nE 's/^project\(Tessaly VERSION ([0-9.]+).*/\1/p' "$root/CMakeLists.txt")

failures=0
note() { echo "package-test: $*" >&2; }
fail() {
  echo "package-test: FAILED: $*" >&2
  failures=$((failures + 1))
}
finish() {
  if [ "$failures" -eq 0 ]; then echo "package: ok"; else echo "package: FAILED ($failures)"; fi
  exit $((failures > 0))
}

[ "$(id -u)" -eq 0 ] || { echo "package-test: must run as root (it installs the package)" >&2; failures=1; finish; }

deb=${1:-}
if [ -z "$deb" ]; then
  deb=$("$root/scripts/package.sh" | tail -n 1) || { fail "the package could not be built"; finish; }
fi
deb=$(realpath "$deb")
note "$deb"

work=$(mktemp -d /tmp/tessaly-package.XXXXXX)
installed=0
headless_pid=
sink_pid=
sandbox_unit=
sandbox=
service_user=
cleanup() {
  [ -n "$headless_pid" ] && kill "$headless_pid" 2>/dev/null
  [ -n "$service_user" ] && pkill -u "$service_user" 2>/dev/null && sleep 0.2
  [ -n "$service_user" ] && userdel "$service_user" 2>/dev/null
  [ -n "$sandbox_unit" ] && systemctl --user stop "$sandbox_unit" 2>/dev/null
  [ -n "$sink_pid" ] && kill "$sink_pid" 2>/dev/null
  if [ "$installed" -eq 1 ]; then dpkg --purge tessaly >/dev/null 2>&1; fi
  rm -rf "$work" ${sandbox:+"$sandbox"}
}
trap cleanup EXIT

# --- The packages: lintian, the menu entry, the metainfo -----------------
# The .changes names the source package (.dsc) and the binary ones.
changes=$(ls "$(dirname "$deb")"/tessaly_*_source*.changes "$(dirname "$deb")"/tessaly_*.changes 2>/dev/null | head -n 1)
[ -n "$changes" ] && grep -q '\.dsc$' "$changes" || fail "no source package beside $deb"
lintian --fail-on error,warning ${changes:-"$deb"} >&2 || fail "lintian reports errors or warnings"
dpkg-deb -x "$deb" "$work/content"
[ ! -e "$work/content/etc/xdg/autostart" ] || fail "the package starts the program for every user"
desktop-file-validate "$work"/content/usr/share/applications/*.desktop >&2 || fail "desktop-file-validate"
appstreamcli validate --no-net "$work"/content/usr/share/metainfo/*.metainfo.xml >&2 || fail "appstreamcli validate"
for size in 16 32 48 64 128 256; do
  [ -s "$work/content/usr/share/icons/hicolor/${size}x${size}/apps/tessaly.png" ] || fail "no ${size}x${size} icon"
done
grep -q '<svg' "$work/content/usr/share/icons/hicolor/scalable/apps/tessaly.svg" || fail "no scalable icon"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "the package's version is not $version"
zcat "$work/content/usr/share/doc/tessaly/changelog.gz" | head -n 1 | grep -qF "tessaly ($version)" ||
  fail "the change log has no entry for $version"
grep -qF "<release version=\"$version\"" "$work"/content/usr/share/metainfo/*.metainfo.xml ||
  fail "the metainfo has no release $version"
for needed in libqt6widgets6 qt6-qpa-plugins ca-certificates; do
  dpkg-deb -f "$deb" Depends | grep -q "$needed" || fail "Depends lacks $needed: $(dpkg-deb -f "$deb" Depends)"
done

# --- Install -------------------------------------------------------------
if dpkg-query -W -f='${Status}' tessaly 2>/dev/null | grep -q 'ok installed'; then
  note "purging a tessaly package left installed"
  dpkg --purge tessaly >/dev/null
fi
if DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >&2; then
  installed=1
else
  fail "apt-get install"
  finish
fi

[ "$(command -v tessaly)" = /usr/bin/tessaly ] || fail "tessaly is not /usr/bin/tessaly on the PATH"
[ "$(command -v tessalyctl)" = /usr/bin/tessalyctl ] || fail "tessalyctl is not on the PATH"
[ "$(tessalyctl --version)" = "tessalyctl $version" ] || fail "tessalyctl --version: $(tessalyctl --version 2>&1)"
[ "$(tessaly --version)" = "Tessaly Ver  $version" ] || fail "tessaly --version: $(tessaly --version 2>&1)"
tessaly --help | grep -q -- '--headless' || fail "tessaly --help"
tessalyctl --help | grep -q 'balloon TITLE TEXT' || fail "tessalyctl --help"
# Every page renders without a warning; the section-1 pages say how they
# end, where they look and what they read.
for page in 1:tessaly 1:tessalyctl 5:tessaly-settings 5:tessaly-files; do
  warnings=$(MANWIDTH=80 LC_ALL=C.UTF-8 man --warnings "${page%%:*}" "${page#*:}" 2>&1 >"$work/page.txt")
  [ -z "$warnings" ] && [ -s "$work/page.txt" ] || fail "man ${page#*:}: ${warnings:-no page}"
  if [ "${page%%:*}" = 1 ]; then
    for section in 'EXIT STATUS' ENVIRONMENT FILES; do
      grep -q "^$section" "$work/page.txt" || fail "man ${page#*:} has no $section"
    done
  fi
done
user_unit=/usr/lib/systemd/user/tessaly-headless.service
system_unit=$(dpkg -L tessaly | grep '/systemd/system/tessaly@\.service$')
mkdir -m 0700 "$work/runtime"
XDG_RUNTIME_DIR="$work/runtime" systemd-analyze --user verify "$user_unit" >&2 ||
  fail "systemd-analyze --user verify $user_unit"
# A template is verified as an instance of it.
cp "$system_unit" "$work/tessaly@root.service"
systemd-analyze verify "$work/tessaly@root.service" >&2 || fail "systemd-analyze verify tessaly@root.service"
for unit in "$user_unit" "$work/tessaly@root.service"; do
  exposure=$(systemd-analyze security --offline=true "$unit" 2>/dev/null |
    sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\).*/\1/p')
  note "systemd-analyze security --offline=true $(basename "$unit"): exposure ${exposure:-unknown}"
  awk -v level="$exposure" 'BEGIN { exit !(level != "" && level <= 3.0) }' ||
    fail "the exposure of $(basename "$unit") is ${exposure:-unknown}, above 3.0"
done

# --- tessalyctl check through the installed components --------------------
data="$work/data"
watched="$work/watched"
mkdir -m 0700 "$data" "$work/mail" "$work/zip"
mkdir "$watched"
printf 'Quarterly report\n四半期報告\n' >"$watched/報告書.txt"
python3 "$here/smtp_sink.py" "$work/port" "$work/mail" &
sink_pid=$!
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.1; done
ctl() { tessalyctl --dir "$data" "$@" >&2 || fail "tessalyctl $*"; }
ctl subs set 1 Name 報告
ctl subs set 1 Folder "$watched"
ctl subs set 1 MailTo reader@example.test
for setting in Conf_Mail=1 Conf_MailAdd=1 Conf_zip=1 Conf_zipPasswd=pkg-secret Conf_MaxSize=10 \
  Conf_SmtpSrv=127.0.0.1 "Conf_SmtpPort=$(cat "$work/port")" Conf_SmtpAddr=tessaly@example.test Conf_Interval=1; do
  ctl settings set "${setting%%=*}" "${setting#*=}"
done
tessalyctl --dir "$data" check >"$work/check.out" 2>"$work/check.err" || fail "tessalyctl check: $(cat "$work/check.err")"
grep -q '報告' "$work/check.out" || fail "the check found nothing: $(cat "$work/check.out" "$work/check.err")"
mail=$(ls "$work"/mail/*.eml 2>/dev/null | head -n 1)
if [ -z "$mail" ]; then
  fail "no mail arrived: $(cat "$work/check.err")"
else
  names=$(python3 "$here/attachment.py" "$mail" "$work/zip")
  grep -q '報告書.txt.zip' <<<"$names" || fail "the mail has no zip of the document: $names"
  (cd "$work/zip" && unzip -q -P pkg-secret 報告書.txt.zip -d out) || fail "unzip cannot open the installed component's zip"
  cmp -s "$watched/報告書.txt" "$work/zip/out/報告書.txt" || fail "the zip does not hold the document"
  note "the installed check mailed $names; unzip opened it"
fi

# --- Completion: commands, every setting key the program knows, fields ---
complete_words() {
  bash -c 'source /usr/share/bash-completion/bash_completion
    source /usr/share/bash-completion/completions/tessalyctl
    COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
    _tessalyctl; printf "%s\n" "${COMPREPLY[@]}"' completion tessalyctl "$@" | sort | tr '\n' ' '
}
keys=$(tessalyctl --dir "$data" settings show --json | grep -oE '"Conf_[A-Za-z0-9]+"' | tr -d '"' | sort | tr '\n' ' ')
completed=$(complete_words settings set Conf_)
[ -n "$keys" ] && [ "$keys" = "$completed" ] || fail "completion keys differ: program [$keys] completion [$completed]"
# The installed page itself (-l): a formatted copy that man-db cached for
# an earlier build of the same version would look as new as this one.
settings_page=$(MANWIDTH=80 man -l "$(man -w 5 tessaly-settings)" 2>/dev/null)
for key in $keys; do
  grep -q "^ *$key " <<<"$settings_page" || fail "tessaly-settings(5) does not explain $key"
done
[ "$(complete_words --dir /tmp s)" = "settings subs " ] || fail "completion of commands: $(complete_words s)"
[ "$(complete_words subs set 3 F)" = "FileName Folder " ] || fail "completion of fields: $(complete_words subs set 3 F)"

# --- Autostart by the user's choice ---------------------------------------
export XDG_CONFIG_HOME="$work/config"
entry="$XDG_CONFIG_HOME/autostart/tessaly.desktop"
[ "$(tessalyctl autostart)" = off ] || fail "autostart is on before the user asked"
tessalyctl autostart on >&2 || fail "tessalyctl autostart on"
desktop-file-validate "$entry" >&2 || fail "the autostart entry is not valid"
[ "$(tessalyctl autostart)" = on ] || fail "tessalyctl autostart does not say on"
tessalyctl autostart off >&2 || fail "tessalyctl autostart off"
[ ! -e "$entry" ] && [ "$(tessalyctl autostart)" = off ] || fail "tessalyctl autostart off left the entry"

# --- One data folder: --dir, TESSALY_DIR, tessaly.conf --------------------
subs_of() { "$@" subs show 2>&1 | grep -c '報告'; }
[ "$(TESSALY_DIR="$data" subs_of tessalyctl)" = 1 ] || fail "tessalyctl with TESSALY_DIR does not act on $data"
mkdir -p "$XDG_CONFIG_HOME/tessaly"
printf '# the service folder\ndir = %s\n' "$data" >"$XDG_CONFIG_HOME/tessaly/tessaly.conf"
[ "$(subs_of tessalyctl)" = 1 ] || fail "tessalyctl with tessaly.conf does not act on $data"
status=0
tessalyctl --dir "$work/missing" settings show >/dev/null 2>"$work/missing.err" || status=$?
[ "$status" -eq 1 ] && grep -q "$work/missing" "$work/missing.err" && [ ! -e "$work/missing" ] ||
  fail "settings show on a missing folder: status $status, $(cat "$work/missing.err"), created: $([ -e "$work/missing" ] && echo yes)"

# --- The headless mode from the user unit's command line ------------------
# With tessaly.conf naming the folder, as a user sets the service up.
command=$(sed -n 's/^ExecStart=//p' "$user_unit")
(eval "exec $command") >"$work/headless.out" 2>"$work/headless.err" &
headless_pid=$!
for _ in $(seq 100); do grep -q 'running headless' "$work/headless.err" && break; sleep 0.1; done
grep -q "running headless on $data" "$work/headless.err" || fail "the unit's command did not start: $(cat "$work/headless.err")"
tessalyctl balloon 'Package test' 'Installed and running' >&2 || fail "tessalyctl balloon to the headless program"
grep -q 'Installed and running' "$work/headless.out" || fail "the headless program did not print the balloon"
kill -TERM "$headless_pid"
wait "$headless_pid" || fail "the headless program did not end cleanly on SIGTERM: $(cat "$work/headless.err")"
headless_pid=
grep -q 'tessaly: stopped' "$work/headless.err" || fail "no clean stop: $(cat "$work/headless.err")"
note "headless from the unit's command line: $(tr '\n' ' ' <"$work/headless.out")"

# --- The system unit's command, as the user it names ----------------------
# The service manager runs it as User=%i with that user's home and the
# runtime folder it makes; here runuser does the same for a user of the test.
service_user=tessaly-pkg-$$
service_home="$work/home-$service_user"
if useradd --home-dir "$service_home" --create-home --shell /usr/sbin/nologin "$service_user"; then
  as_user() { runuser -u "$service_user" -- env -i HOME="$service_home" PATH=/usr/bin:/bin "$@"; }
  chmod 0711 "$work"
  runtime=/run/tessaly-$service_user
  install -d -m 0700 -o "$service_user" "$runtime"
  as_user mkdir -p "$service_home/.config/tessaly"
  as_user sh -c "echo dir=$service_home/served >$service_home/.config/tessaly/tessaly.conf"
  as_user tessalyctl subs set 1 Name 配信 >&2 || fail "tessalyctl subs set as $service_user"
  command=$(sed -n 's/^ExecStart=//p' "$system_unit")
  environment=$(sed -n 's/^Environment=//p' "$system_unit" | sed "s|%t|/run|g; s|%i|$service_user|g")
  as_user $environment $command >"$work/system.out" 2>"$work/system.err" &
  headless_pid=$!
  for _ in $(seq 100); do grep -q 'running headless' "$work/system.err" && break; sleep 0.1; done
  grep -q "running headless on $service_home/served" "$work/system.err" ||
    fail "the system unit's command did not start on the user's folder: $(cat "$work/system.err")"
  as_user $environment tessalyctl balloon 'System service' 'Served' >&2 || fail "tessalyctl balloon to the system service"
  grep -q 'Served' "$work/system.out" || fail "the system service did not print the balloon"
  pkill -TERM -u "$service_user" -x tessaly
  wait "$headless_pid" || fail "the system service did not end cleanly: $(cat "$work/system.err")"
  headless_pid=
  rm -rf "$runtime"
  note "the system unit's command as $service_user: $(tr '\n' ' ' <"$work/system.out")"
else
  fail "useradd $service_user"
fi

# --- The headless mode under the user unit's sandbox ----------------------
# The unit's [Service] settings on a transient service of the user's service
# manager: the program must still take a balloon from tessalyctl, see a
# document dropped into a watched folder (live watching) and mail it. Its
# folders are in the home folder, since the unit gives the program a /tmp of
# its own.
if systemd-run --user --quiet --wait true 2>/dev/null; then
  sandbox=$(mktemp -d "$HOME/.tessaly-package.XXXXXX")
  sdata="$sandbox/data"
  swatched="$sandbox/watched"
  mkdir -m 0700 "$sdata" "$swatched"
  sctl() { tessalyctl --dir "$sdata" "$@" >&2 || fail "tessalyctl $*"; }
  sctl subs set 1 Name 報告
  sctl subs set 1 Folder "$swatched"
  sctl subs set 1 MailTo reader@example.test
  for setting in Conf_Mail=1 Conf_MailAdd=1 Conf_zip=1 Conf_zipPasswd=pkg-secret Conf_MaxSize=10 Conf_Instant=1 \
    Conf_Settle=1 Conf_SmtpSrv=127.0.0.1 "Conf_SmtpPort=$(cat "$work/port")" Conf_SmtpAddr=tessaly@example.test; do
    sctl settings set "${setting%%=*}" "${setting#*=}"
  done
  properties=()
  while IFS= read -r line; do properties+=(-p "$line"); done < <(sed -n '/^\[Service\]/,/^\[/p' "$user_unit" |
    grep -E '^[A-Za-z]+=' | grep -vE '^(ExecStart|EnvironmentFile|Restart|RestartSec)=')
  sandbox_unit=tessaly-package-test-$$
  mails_before=$(ls "$work"/mail/*.eml 2>/dev/null | wc -l)
  systemd-run --user --quiet --unit="$sandbox_unit" "${properties[@]}" \
    -p "StandardOutput=file:$sandbox/headless.out" -p "StandardError=file:$sandbox/headless.err" \
    /usr/bin/tessaly --headless --dir "$sdata" || fail "systemd-run --user with the unit's settings"
  for _ in $(seq 100); do grep -q 'running headless' "$sandbox/headless.err" 2>/dev/null && break; sleep 0.1; done
  grep -q "running headless on $sdata" "$sandbox/headless.err" ||
    fail "the sandboxed program did not start: $(cat "$sandbox/headless.err" 2>&1)"
  tessalyctl --dir "$sdata" balloon 'Package test' 'Sandboxed' >&2 || fail "tessalyctl balloon to the sandboxed program"
  grep -q 'Sandboxed' "$sandbox/headless.out" || fail "the sandboxed program did not print the balloon"
  printf 'Sandboxed report\n' >"$swatched/sandboxed.txt"
  for _ in $(seq 600); do [ "$(ls "$work"/mail/*.eml 2>/dev/null | wc -l)" -gt "$mails_before" ] && break; sleep 0.1; done
  if [ "$(ls "$work"/mail/*.eml 2>/dev/null | wc -l)" -gt "$mails_before" ]; then
    names=$(python3 "$here/attachment.py" "$(ls -t "$work"/mail/*.eml | head -n 1)" "$sandbox")
    grep -q 'sandboxed.txt.zip' <<<"$names" || fail "the sandboxed program's mail has no zip of the document: $names"
  else
    fail "the sandboxed program mailed nothing: $(cat "$sandbox/headless.err")"
  fi
  systemctl --user stop "$sandbox_unit" || fail "systemctl --user stop $sandbox_unit"
  sandbox_unit=
  grep -q 'tessaly: stopped' "$sandbox/headless.err" || fail "no clean stop in the sandbox: $(cat "$sandbox/headless.err")"
  note "headless under the unit's sandbox: $(tr '\n' ' ' <"$sandbox/headless.out")"
else
  note "skipped: the headless mode under the unit's sandbox (no user service manager answers systemd-run --user)"
fi

# --- Remove: the programs go, the data folder stays; purge leaves nothing -
if apt-get remove -y -qq tessaly >&2; then
  [ ! -e /usr/bin/tessaly ] && [ ! -e /usr/bin/tessalyctl ] || fail "the programs are still there after removal"
  [ -s "$data/sysconfig.dat" ] && [ -s "$data/subscription.dat" ] || fail "removal touched the data folder"
else
  fail "apt-get remove tessaly"
fi
dpkg --purge tessaly >&2 || fail "dpkg --purge tessaly"
installed=0
left=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\./, "", $6); print $6 }' |
  while read -r path; do [ -e "$path" ] && echo "$path"; done)
[ -z "$left" ] || fail "purge left files behind: $left"
finish
