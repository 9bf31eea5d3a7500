#!/usr/bin/env bash
# Packs the build tree given, as built, unpacks the package into a scratch
# root, checks its files and metadata, and runs its launcher from there in a
# throw-away home: the test scene is recorded and the event log made.
set -euo pipefail
build=$1
tmp=$(mktemp -d)
pid=
trap '[ -z "$pid" ] || kill -9 "$pid" 2>/dev/null; rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cpack -G DEB -B "$tmp/out" --config "$build/CPackConfig.cmake" > "$tmp/cpack.log" 2>&1 ||
  { cat "$tmp/cpack.log"; fail "cpack"; }
deb="$tmp/out/sentorix_1.0_amd64.deb"
dpkg-deb -f "$deb" Depends | tee "$tmp/depends"
for dep in libqt6widgets6 gstreamer1.0-plugins-good gstreamer1.0-plugins-bad gstreamer1.0-libav; do
  grep -q "$dep" "$tmp/depends" || fail "dependency $dep"
done
# Debian's own checks of the package: an error or a warning fails.
lintian --fail-on none --tag-display-limit 0 "$deb" > "$tmp/lintian" 2>&1 || { cat "$tmp/lintian"; fail "lintian"; }
cat "$tmp/lintian"
! grep -q '^[EW]: ' "$tmp/lintian" || fail "lintian errors or warnings"
dpkg-deb -x "$deb" "$tmp/root"
root="$tmp/root/usr"
(cd "$root" && find . -type f | LC_ALL=C sort) > "$tmp/files"
diff -u - "$tmp/files" <<'END' || fail "file list"
./bin/sentorix
./libexec/sentorix/sentorix
./libexec/sentorix/sentorix-source
./share/applications/org.example.Sentorix.desktop
./share/doc/sentorix/changelog.gz
./share/doc/sentorix/copyright
./share/icons/hicolor/128x128/apps/sentorix.png
./share/icons/hicolor/16x16/apps/sentorix.png
./share/icons/hicolor/24x24/apps/sentorix.png
./share/icons/hicolor/256x256/apps/sentorix.png
./share/icons/hicolor/32x32/apps/sentorix.png
./share/icons/hicolor/48x48/apps/sentorix.png
./share/icons/hicolor/64x64/apps/sentorix.png
./share/icons/hicolor/scalable/apps/sentorix.svg
./share/man/man1/sentorix.1.gz
./share/metainfo/org.example.Sentorix.metainfo.xml
./share/sentorix/zarvel.html
./share/sentorix/zarveldft.html
END
file "$root/share/icons/hicolor/48x48/apps/sentorix.png" | grep -q '48 x 48' || fail "48 px icon"
zcat "$root/share/man/man1/sentorix.1.gz" | grep -q '^\.B /START$' || fail "manual page"
desktop-file-validate "$root/share/applications/org.example.Sentorix.desktop"
grep -qx 'StartupWMClass=sentorix' "$root/share/applications/org.example.Sentorix.desktop" ||
  fail "StartupWMClass"
appstreamcli validate "$root/share/metainfo/org.example.Sentorix.metainfo.xml"

home="$tmp/home"
mkdir -p "$home" "$tmp/temp"
# exec, so that a background run's $! is the program itself.
run() { exec env -u XDG_CONFIG_HOME -u XDG_DATA_HOME -u DISPLAY -u WAYLAND_DISPLAY HOME="$home" \
          TEMP="$tmp/temp" QT_QPA_PLATFORM=offscreen SENTORIX_NO_CAMERAS=1 SENTORIX_SCENE=2:2 \
          "$root/bin/sentorix" "$@"; }

# Help and version at once, without a screen and without making folders.
help=$(run --help) && grep -q -- '--profile NAME' <<< "$help" || fail "launcher --help"
help=$(run -h /START) && grep -q -- '--autostart on|off' <<< "$help" || fail "launcher -h"
version=$(run --version) && grep -q '^Sentorix 1\.0 ' <<< "$version" || fail "launcher --version"
[ ! -e "$home/.local" ] || fail "--help made folders"
! (run --profile ../x) 2> "$tmp/bad" || fail "bad profile accepted"
grep -q 'not usable' "$tmp/bad" || fail "bad profile message"

# The login entry comes and goes, also a profile's.
(run --profile yard --autostart on)
grep -qx "Exec=\"$root/bin/sentorix\" --profile yard /START" "$home/.config/autostart/sentorix-yard.desktop" ||
  fail "profile's autostart entry"
desktop-file-validate "$home/.config/autostart/sentorix-yard.desktop"
(run --autostart off --profile yard)
[ ! -e "$home/.config/autostart/sentorix-yard.desktop" ] || fail "profile's entry not removed"
entry="$home/.config/autostart/sentorix.desktop"
(run --autostart on)
grep -qx "Exec=\"$root/bin/sentorix\" /START" "$entry" || fail "autostart entry"
desktop-file-validate "$entry"
(run --autostart off)
[ ! -e "$entry" ] || fail "autostart entry not removed"

# Armed at start-up; closed by SIGTERM as by its close box once a recording
# has a few frames, which ends and logs that recording.
run /START /NOMAIL /NOREMOTE /DEBUG &
pid=$!
videos="$home/Videos"
for _ in $(seq 300); do
  avi=$(find "$videos" -name '*.avi' -size +600k 2>/dev/null | head -1 || true)
  [ -z "$avi" ] && kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
[ -n "$avi" ] || { cat "$tmp/temp/ZarvelDebug.dat" || true; fail "no recording in $videos"; }
kill -TERM "$pid"
for _ in $(seq 200); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
! kill -0 "$pid" 2>/dev/null || fail "still running 20 s after SIGTERM"
wait "$pid" || fail "exit status $?"
pid=
data="$home/.local/share/sentorix"
cmp "$data/zarvel.html" "$root/share/sentorix/zarvel.html" || fail "user guide"
grep -q "$(basename "$avi")\">Play</A>" "$data/zarvellog.html" || fail "no log row"
frames=$(ffprobe -v error -count_packets -select_streams v:0 -show_entries stream=nb_read_packets \
         -of csv=p=0 "$avi")
[ "$frames" -gt 0 ] || fail "no frames in $avi"
echo "recorded $(basename "$avi") with $frames frames"
