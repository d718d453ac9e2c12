#!/usr/bin/env bash
# Checks the Debian package without installing it: what it holds, lintian, the AppStream data, the
# watch service, the manual pages and boardctl's completion, and the programs run from a read-only
# unpacked copy as an ordinary user would meet them: Kestrel keeps its names in the user's own
# folder and boardctl finds them there, boardsim links port 1 there, and boardctl, Kestrel and
# Kestrel Overview open port 1 through it; the overview writes its history there.
# Usage: check-package.sh kestrel_<version>_<arch>.deb
set -euo pipefail
deb=$(realpath "$1")
# shellcheck source=tools/xvfb-lib.sh
source "$(dirname "$0")/../../tools/xvfb-lib.sh"
work=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" ${XVFB_PID:-} 2>/dev/null || true; wait; chmod -R u+w "$work"; rm -rf "$work"' EXIT
fail() { echo "check-package: $*" >&2; exit 1; }

listing=$(dpkg-deb -c "$deb")
for path in bin/{kestrel,wrenfield,kestrel-overview,boardsim,boardctl} \
  share/applications/{kestrel,wrenfield,kestrel-overview}.desktop \
  share/icons/hicolor/{16x16/apps/kestrel.png,32x32/apps/kestrel.png,48x48/apps/kestrel.png,scalable/apps/kestrel.svg} share/metainfo/org.example.kestrel.metainfo.xml \
  share/doc/kestrel/{README.md,copyright,changelog.gz} share/doc/kestrel/docs/{kestrel,wrenfield,overview,timeline}.png \
  share/man/man1/{kestrel,wrenfield,kestrel-overview,boardsim,boardctl}.1.gz \
  share/bash-completion/completions/boardctl; do
  grep -q " \./usr/$path\$" <<<"$listing" || fail "usr/$path is missing from the package"
done
dpkg-deb -f "$deb" Depends | grep -q libqt6widgets6 || fail "Depends was not worked out from the programs"
# Qt loads its SQLite driver as a plugin, which no library dependency brings.
dpkg-deb -f "$deb" Depends | grep -qw libqt6sql6-sqlite || fail "Depends lacks Qt's SQLite driver"
# --allow-root only silences lintian's warning about running as root. Warnings count too: a program
# without a manual page is one, and so is every warning of man rendering a page.
lintian --allow-root --fail-on error,warning "$deb" || fail "lintian reports errors or warnings"

dpkg-deb -x "$deb" "$work/root"
bin=$work/root/usr/bin share=$work/root/usr/share
appstreamcli validate --no-net "$share"/metainfo/*.xml || fail "the AppStream data is not valid"
for entry in "$share"/applications/*.desktop; do
  [ -x "$bin/$(sed -n 's/^Exec=//p' "$entry")" ] || fail "$entry starts no packaged program"
  [ -e "$share/icons/hicolor/48x48/apps/$(sed -n 's/^Icon=//p' "$entry").png" ] || fail "$entry: no such icon"
done
# The watch service as systemd reads it, which also wants the program it starts and the manual
# page it names: a copy starts the unpacked boardctl. A wrong setting is said, yet exits 0.
unit=lib/systemd/system/boardctl-watch@.service
mkdir "$work/units" && sed "s|/usr/bin/boardctl|$bin/boardctl|" "$work/root/$unit" >"$work/units/${unit##*/}"
said=$(MANPATH=$share/man SYSTEMD_UNIT_PATH=$work/units: systemd-analyze verify boardctl-watch@1.service 2>&1) &&
  [ -z "$said" ] || fail "$unit does not pass systemd-analyze verify: $said"

# The completion as bash calls it, in an empty folder, so that only serial devices can be offered,
# with the package's boardctl on PATH, whose help gives the options.
complete_words() {
  (mkdir -p "$work/empty" && cd "$work/empty" && PATH=$bin:$PATH bash -c 'source "$0"; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _boardctl
    printf "%s\n" "${COMPREPLY[@]}"' "$share/bash-completion/completions/boardctl" "$@" 2>/dev/null)
}
[ "$(complete_words boardctl --de)" = --device ] || fail "boardctl --de does not complete to --device"
devices=$(ls -d /dev/serial/by-id/* /dev/tty{USB,ACM,S}* 2>/dev/null || true)
[ "$(complete_words boardctl --device '' | sort)" = "$(sort <<<"$devices")" ] ||
  fail "boardctl --device does not complete to the serial devices: $(complete_words boardctl --device '')"
[[ $(complete_words boardctl scan --) == *--from*--retries* && $(complete_words boardctl scan --) != *--expect* ]] ||
  fail "boardctl scan -- does not offer scan's options alone: $(complete_words boardctl scan --)"
mkdir -p "$work/data/kestrel" && ln -s /dev/null "$work/data/kestrel/com7"
XDG_DATA_HOME=$work/data complete_words boardctl --port '' | grep -qx 7 || fail "boardctl --port does not offer a com7"

# The programs run as an ordinary user from a folder they cannot write, as when installed. Root
# could write anywhere, so under root they run as nobody.
home=$work/home
mkdir "$home"
chmod -R a-w "$work/root" && chmod 755 "$work"
as_user=(env)
if [ "$(id -u)" -eq 0 ]; then
  chown nobody "$home"
  as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups env)
fi
# It execs, so that a program started with & is $! itself and the exit trap ends it: call it in
# a subshell, ( ), $( ) or &.
user() { exec "${as_user[@]}" -u XDG_DATA_HOME -u XDG_CONFIG_HOME HOME="$home" "$@"; }
(user test ! -w "$bin") || fail "the program folder can be written: the check would prove nothing"

start_xvfb "$work"
user "$bin/kestrel" >"$work/kestrel.log" 2>&1 & pids+=($!)
box=$(wait_window '^File Not Found') || fail "Kestrel did not say the name file was missing"
xdotool windowfocus --sync "$box" key Return
names=$home/.local/share/kestrel/name.txt
box=$(wait_window '^Kestrel 通道监视$') || fail "Kestrel did not say it made $names"
xdotool windowfocus --sync "$box" key Return
[ -s "$names" ] || fail "Kestrel made no $names"

# A name written into the user's file (GBK, like every name file) must show in boardctl's output.
gbk() { printf '%s' "$1" | iconv -t GBK; }
LC_ALL=C sed -i "/^\[$(gbk 地址码1)\]/,/^\[/ s/^\($(gbk 第1路名称=)\)[^[:cntrl:]]*/\1$(gbk 水泵七)/" "$names"
LC_ALL=C grep -q "$(gbk 水泵七)" "$names" || fail "could not put a name into $names"
# Without --dir, boardsim from the read-only folder links port 1 in the user's folder.
user "$bin/boardsim" >"$work/sim.log" 2>&1 </dev/null & pids+=($!)
for _ in $(seq 200); do grep -q ' -> ' "$work/sim.log" && break; sleep 0.05; done
grep -qF "(link $home/.local/share/kestrel/com1)" "$work/sim.log" ||
  fail "boardsim did not link port 1 in the user's folder: $(cat "$work/sim.log")"
out=$(user "$bin/boardctl" --port 1 --json status) || fail "boardctl status on port 1 failed: $out"
grep -q '"name": *"水泵七"' <<<"$out" || fail "boardctl did not show the name from $names: $out"

# Kestrel opens port 1 too: 打开串口, then lamp 1 turns red (channel 1 is off in boardsim's pattern).
window=$(wait_window '^Kestrel$') || fail "Kestrel showed no window"
xdotool mousemove --window "$window" 305 20 click 1
lamp_red() { [[ $(import -window "$window" -crop 1x1+220+143 -depth 8 txt:-) == *'#FF0000'* ]]; }
for _ in $(seq 100); do lamp_red && break; sleep 0.05; done
lamp_red || fail "Kestrel's lamp 1 did not turn red on port 1: $(cat "$work/kestrel.log")"
# 关闭串口, then Kestrel ends: a port left open by a killed program would stay exclusive to it on
# the simulator's terminal, which holds it open.
xdotool mousemove --window "$window" 305 20 click 1
for _ in $(seq 100); do lamp_red || break; sleep 0.05; done
! lamp_red || fail "Kestrel did not close port 1"
kill "${pids[0]}"
wait "${pids[0]}" 2>/dev/null || true

# The overview from the application menu's entry, as a wall screen starts it: board 1 on port 1.
# Its first lamp turns red, and the history in the user's folder holds the line opened and closed
# and channel 1 under the name the user gave it.
exec_line=$(sed -n 's/^Exec=//p' "$share/applications/kestrel-overview.desktop")
LC_ALL=C user "$bin/$exec_line" --port 1 --address 1 >"$work/overview.log" 2>&1 & pids+=($!)
window=$(wait_window '^Kestrel Overview$') || fail "Kestrel Overview showed no window: $(cat "$work/overview.log")"
lamp_red() { [[ $(import -window "$window" -crop 1x1+457+97 -depth 8 txt:-) == *'#FF0000'* ]]; }
for _ in $(seq 100); do lamp_red && break; sleep 0.05; done
lamp_red || fail "the overview's lamp 1 of board 1 did not turn red on port 1: $(cat "$work/overview.log")"
kill "${pids[-1]}" # SIGTERM: the pending rows and the closed line are written first
wait "${pids[-1]}" || fail "Kestrel Overview did not end with 0 on SIGTERM: $(cat "$work/overview.log")"
history=$home/.local/share/kestrel/history.sqlite
rows=$(user sqlite3 "$history" "SELECT group_concat(event || ':' || coalesce(name, ''), ' ') FROM
  (SELECT * FROM events WHERE address IS NULL OR channel = 1 ORDER BY rowid)") ||
  fail "the overview's history $history cannot be read"
[ "$rows" = "opened: off:水泵七 closed:" ] || fail "the overview's history $history holds: $rows"

# Every program started here ends with the check, and nothing of the package is left running.
kill "${pids[@]}" 2>/dev/null || true
wait "${pids[@]}" 2>/dev/null || true
if left=$(pgrep -af -- "$bin/"); then
  cut -d' ' -f1 <<<"$left" | xargs kill
  fail "still running after the check: $left"
fi
echo "check-package: $(basename "$deb") passed"
