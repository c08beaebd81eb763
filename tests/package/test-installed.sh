#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Debian package as a user gets it: builds it (scripts/package.sh),
# checks it with lintian, desktop-file-validate, appstreamcli and
# systemd-analyze (the user unit's exposure must be 3.0 or lower), installs
# it with apt-get, runs the installed programs (a check that mails a zip made
# by the installed zip component, which unzip opens; the headless mode
# started from the user unit's command line and reached by tessalyctl
# balloon; where a user service manager answers systemd-run --user, the
# headless mode under the unit's sandbox, mailing a document dropped into a
# watched folder; manual pages; bash completion), and removes it again, also
# when something failed. Needs root.
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
cleanup() {
  [ -n "$headless_pid" ] && kill "$headless_pid" 2>/dev/null
  [ -n "$sandbox_unit" ] && systemctl --user stop "$sandbox_unit" 2>/dev/null
  [ -n "$sink_pid" ] && kill "$sink_pid" 2>/dev/null
  if [ "$installed" -eq 1 ]; then dpkg --purge tessaly >/dev/null 2>&1; fi
  rm -rf "$work" ${sandbox:+"$sandbox"}
}
trap cleanup EXIT

# --- The package file: lintian, the menu entry, the metainfo -------------
lintian --fail-on error "$deb" >&2 || fail "lintian reports errors"
dpkg-deb -x "$deb" "$work/content"
desktop-file-validate "$work"/content/usr/share/applications/*.desktop \
  "$work/content/etc/xdg/autostart/tessaly.desktop" >&2 || fail "desktop-file-validate"
appstreamcli validate --no-net "$work"/content/usr/share/metainfo/*.metainfo.xml >&2 || fail "appstreamcli validate"
for size in 16 32 48 64 128 256; do
  [ -s "$work/content/usr/share/icons/hicolor/${size}x${size}/apps/tessaly.png" ] || fail "no ${size}x${size} icon"
done
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "the package's version is not $version"
zcat "$work/content/usr/share/doc/tessaly/changelog.gz" | head -n 1 | grep -qF "tessaly ($version)" ||
  fail "the change log has no entry for $version"
grep -qF "<release version=\"$version\"" "$work"/content/usr/share/metainfo/*.metainfo.xml ||
  fail "the metainfo has no release $version"
dpkg-deb -f "$deb" Depends | grep -q 'libqt6widgets6' || fail "Depends lacks the Qt libraries: $(dpkg-deb -f "$deb" Depends)"

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
for page in tessaly tessalyctl; do
  MANWIDTH=80 man "$page" 2>/dev/null | grep -q 'EXIT STATUS' || fail "man $page"
done
unit=/usr/lib/systemd/user/tessaly-headless.service
mkdir -m 0700 "$work/runtime"
XDG_RUNTIME_DIR="$work/runtime" systemd-analyze --user verify "$unit" >&2 || fail "systemd-analyze --user verify $unit"
exposure=$(systemd-analyze security --offline=true "$unit" 2>/dev/null |
  sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\).*/\1/p')
note "systemd-analyze security --offline=true: exposure ${exposure:-unknown}"
awk -v level="$exposure" 'BEGIN { exit !(level != "" && level <= 3.0) }' ||
  fail "the user unit's exposure is ${exposure:-unknown}, above 3.0"

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
[ "$(complete_words --dir /tmp s)" = "settings subs " ] || fail "completion of commands: $(complete_words s)"
[ "$(complete_words subs set 3 F)" = "FileName Folder " ] || fail "completion of fields: $(complete_words subs set 3 F)"

# --- The headless mode from the user unit's command line ------------------
command=$(sed -n 's/^ExecStart=//p' "$unit" | sed 's/\$\$/$/g')
(export TESSALY_DIR="$data" && eval "exec $command") >"$work/headless.out" 2>"$work/headless.err" &
headless_pid=$!
for _ in $(seq 100); do grep -q 'running headless' "$work/headless.err" && break; sleep 0.1; done
grep -q "running headless on $data" "$work/headless.err" || fail "the unit's command did not start: $(cat "$work/headless.err")"
tessalyctl --dir "$data" balloon 'Package test' 'Installed and running' >&2 || fail "tessalyctl balloon to the headless program"
grep -q 'Installed and running' "$work/headless.out" || fail "the headless program did not print the balloon"
kill -TERM "$headless_pid"
wait "$headless_pid" || fail "the headless program did not end cleanly on SIGTERM: $(cat "$work/headless.err")"
headless_pid=
grep -q 'tessaly: stopped' "$work/headless.err" || fail "no clean stop: $(cat "$work/headless.err")"
note "headless from the unit's command line: $(tr '\n' ' ' <"$work/headless.out")"

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
  while IFS= read -r line; do properties+=(-p "$line"); done < <(sed -n '/^\[Service\]/,/^\[/p' "$unit" |
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
[ ! -e /etc/xdg/autostart/tessaly.desktop ] || fail "purge left the autostart entry"
finish
