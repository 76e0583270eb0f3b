#!/usr/bin/env bash
# Installs the package, uses it as a new user would (the window from an empty home folder with
# the emulated unit, then v770 there), removes it and checks that no installed file is left.
# Usage: InstallCheck.sh PACKAGE.deb SCREENSHOT.png TWMRC
set -euo pipefail
deb=$(realpath "$1") shot=$2 twmrc=$3 home=$(mktemp -d /tmp/v770-home.XXXXXX) pids=()
fail() { printf '[install] FAILED: %s\n' "$*" >&2; exit 1; }
purge() { if dpkg-query -W v770 >/dev/null 2>&1; then apt-get purge -y -qq v770 >/dev/null; fi; }
finish() { kill "${pids[@]}" 2>/dev/null || true; wait 2>/dev/null || true; cd /; rm -rf "$home"; purge; }
trap finish EXIT
export DEBIAN_FRONTEND=noninteractive
purge
apt-get install -y -qq "$deb" >/dev/null || fail "apt-get install $deb"
mapfile -t installed < <(dpkg -L v770 | while read -r path; do [[ -f $path ]] && echo "$path"; done)
bash -c '. /usr/share/bash-completion/bash_completion; _completion_loader v770; complete -p v770' >/dev/null ||
  fail "bash does not complete v770"

# A user's session: an empty home, a screen of its own, nothing of the build's environment.
run=$home/run own=$home/.local/share/V770PCSoft display=:$((150 + RANDOM % 50))
mkdir -m 700 "$run" && cd "$home"
user=(env -i HOME="$home" XDG_RUNTIME_DIR="$run" PATH=/usr/bin:/bin LANG=C.UTF-8 DISPLAY="$display"
      QTWEBENGINE_DISABLE_SANDBOX=1 QTWEBENGINE_CHROMIUM_FLAGS="--no-sandbox --disable-gpu")
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 & pids+=($!)
for _ in $(seq 50); do [[ -e /tmp/.X11-unix/X${display#:} ]] && break; sleep 0.1; done
"${user[@]}" twm -f "$twmrc" >/dev/null 2>&1 & pids+=($!)
cp /usr/share/v770/demo/demo-unit-state.json "$run/unit.json"
"${user[@]}" v770-unit serve --state "$run/unit.json" >/dev/null 2>&1 & pids+=($!)
for _ in $(seq 100); do [[ -S $run/v770-unit.sock ]] && break; sleep 0.1; done
[[ -S $run/v770-unit.sock ]] || fail "the emulated unit did not start"

# The window as a menu starts it, in the home folder; it ends after its screenshot.
mkdir -p "$(dirname "$shot")" && rm -f "$shot"
"${user[@]}" V770_SCREENSHOT="$shot" V770_SCREENSHOT_DELAY_MS=6000 timeout 120 V770PCSoft >"$run/window.log" 2>&1 ||
  fail "V770PCSoft: $(cat "$run/window.log")"
[[ -s $shot ]] && ! grep '^message:' "$run/window.log" || fail "no screenshot, or the window showed a message"
for file in V770UIText_New_v12.txt V770UIText_Extra_v12.txt V770_VersionInfo_v12.txt V770_manualPack.PCK; do
  [[ -f $own/$file ]] || fail "$file not laid into $own"
done
unit=$("${user[@]}" v770-unit ctl status) && grep -qF 'version reply' <<<"$unit" ||
  fail "the window did not ask the unit its versions; the window printed: $(cat "$run/window.log"); the unit: $unit"

# The command line in the same home folder: the same working folder, the user's file names.
status=$("${user[@]}" v770 status) || fail "v770 status: $status"
for line in "DB Version : v 100315" "Working folder : $own"; do
  grep -qF "$line" <<<"$status" || fail "v770 status does not say '$line': $status"
done
"${user[@]}" v770 poi read -o mine.gpx >/dev/null || fail "v770 poi read"
[[ $(grep -c '<wpt ' "$home/mine.gpx") == 7 ]] || fail "mine.gpx does not hold the unit's 7 POIs"
compgen -G "$own/POI_*.txt" >/dev/null && ! compgen -G "$home/POI_*" || fail "the export file is not in $own alone"

apt-get purge -y -qq v770 >/dev/null || fail "apt-get purge v770"
for path in "${installed[@]}"; do [[ ! -e $path ]] || fail "$path is left after the removal"; done
printf '[install] %s files installed and removed; %s\n' "${#installed[@]}" "$(tail -1 <<<"$status")" >&2
