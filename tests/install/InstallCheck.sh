#!/usr/bin/env bash
# Installs the package into this machine, uses it as a new user would (the window from an
# empty home folder with the emulated unit, then v770 there), removes it and checks that no
# installed file is left. Usage: InstallCheck.sh PACKAGE.deb SCREENSHOT.png TWMRC
set -euo pipefail
deb=$(realpath "$1") shot=$2 twmrc=$3
fail() { printf '[install] FAILED: %s\n' "$*" >&2; exit 1; }
say() { printf '[install] %s\n' "$*" >&2; }

export DEBIAN_FRONTEND=noninteractive
if dpkg-query -W v770 >/dev/null 2>&1; then apt-get purge -y -qq v770 >/dev/null; fi
apt-get install -y -qq "$deb" >/dev/null || fail "apt-get install $deb"
mapfile -t installed < <(dpkg -L v770 | while read -r path; do [[ -f $path ]] && echo "$path"; done)
say "installed ${#installed[@]} files"
bash -c '. /usr/share/bash-completion/bash_completion; _completion_loader v770; complete -p v770' >/dev/null ||
  fail "bash does not complete v770"

home=$(mktemp -d /tmp/v770-home.XXXXXX) pids=()
finish() {
  kill "${pids[@]}" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$home"
  if dpkg-query -W v770 >/dev/null 2>&1; then apt-get purge -y -qq v770 >/dev/null; fi
}
trap finish EXIT
mkdir -m 700 "$home/run"
# A user's session: an empty home and nothing of the build's environment.
user=(env -i HOME="$home" XDG_RUNTIME_DIR="$home/run" PATH=/usr/bin:/bin LANG=C.UTF-8
      DISPLAY=:$((150 + RANDOM % 50)) QTWEBENGINE_DISABLE_SANDBOX=1)
display=${user[6]#DISPLAY=}
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 & pids+=($!)
for _ in $(seq 50); do [[ -e /tmp/.X11-unix/X${display#:} ]] && break; sleep 0.1; done
"${user[@]}" twm -f "$twmrc" >/dev/null 2>&1 & pids+=($!)
cp /usr/share/v770/demo/demo-unit-state.json "$home/run/unit.json"
"${user[@]}" v770-unit serve --state "$home/run/unit.json" >"$home/run/unit.log" 2>&1 & pids+=($!)
for _ in $(seq 50); do [[ -S $home/run/v770-unit.sock ]] && break; sleep 0.1; done

# The window, as a menu starts it: in the home folder.
mkdir -p "$(dirname "$shot")"
rm -f "$shot"
(cd "$home" && "${user[@]}" V770_SCREENSHOT="$shot" V770_SCREENSHOT_DELAY_MS=6000 \
  QTWEBENGINE_CHROMIUM_FLAGS="--no-sandbox --disable-gpu" timeout 120 V770PCSoft) >"$home/run/window.log" 2>&1 ||
  fail "V770PCSoft: $(cat "$home/run/window.log")"
[[ -s $shot ]] || fail "no screenshot"
! grep '^message:' "$home/run/window.log" || fail "the window showed a message"
own=$home/.local/share/V770PCSoft
for file in V770UIText_New_v12.txt V770UIText_Extra_v12.txt V770_VersionInfo_v12.txt V770_manualPack.PCK; do
  [[ -f $own/$file ]] || fail "$file not laid into $own"
done
"${user[@]}" v770-unit ctl status | grep -qF 'version reply' || fail "the window did not ask the unit its versions"

# The command line in the same home folder and the same working folder.
status=$(cd "$home" && "${user[@]}" v770 status) || fail "v770 status: $status"
for line in "DB Version : v 100315" "Working folder : $own"; do
  grep -qF "$line" <<<"$status" || fail "v770 status does not say '$line': $status"
done
(cd "$home" && "${user[@]}" v770 poi read -o mine.gpx >/dev/null) || fail "v770 poi read"
[[ $(grep -c '<wpt ' "$home/mine.gpx") == 7 ]] || fail "mine.gpx does not hold the unit's 7 POIs"
compgen -G "$own/POI_*.txt" >/dev/null || fail "no POI export file in $own"
[[ -z $(find "$home" -maxdepth 1 -name 'POI_*') ]] || fail "a POI file landed in the home folder"
say "$(sed -n 1p <<<"$status"); $(tail -1 <<<"$status")"

apt-get purge -y -qq v770 >/dev/null || fail "apt-get purge v770"
for path in "${installed[@]}"; do [[ ! -e $path ]] || fail "$path is left after the removal"; done
say "removed; no installed file is left"
