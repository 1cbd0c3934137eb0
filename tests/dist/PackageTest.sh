#!/usr/bin/env bash
# Makes the Debian package from the build, unpacks it into a temporary root and runs it from there, as
# an installation would: plumeroc-grab's help and a scan, and the window program under Xvfb until its
# window shows, with the Ruffle player found in the unpacked root.
#   PackageTest.sh BUILD_DIR SOURCE_DIR APP_ID
set -euo pipefail
build=$1 source=$2 id=$3
window_seconds=${PLUMEROC_WINDOW_SECONDS:-90}

work=$(mktemp -d)
xvfb_pid='' program_pid=''
# Ends what the test started and keeps the test's own exit status; the X server must go, or it keeps
# ctest's output pipe open.
finish() {
  local status=$?
  set +e
  for pid in $program_pid $xvfb_pid; do
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  done
  rm -rf "$work"
  exit "$status"
}
trap finish EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
step() { echo "== $* ($SECONDS s)"; }

step "cpack"
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1 \
  || { cat "$work/cpack.log"; fail "cpack failed"; }
debs=("$work"/out/plumeroc_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "no single plumeroc_*.deb in $(ls "$work/out")"
deb=${debs[0]}

# The libraries the programs link must show as dependencies: dpkg-shlibdeps found them.
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for package in libc6 libcurl4 libsqlite3-0 libqt6widgets6 libqt6webenginewidgets6; do
  [[ ", $depends," =~ ", $package"[\ ,] ]] || fail "Depends lacks $package"
done

step "unpack"
root=$work/root
dpkg-deb -x "$deb" "$root"
usr=$root/usr
for file in bin/plumeroc bin/plumeroc-grab share/plumeroc/ruffle/ruffle.js \
  "share/applications/$id.desktop" "share/metainfo/$id.metainfo.xml" \
  share/man/man1/plumeroc.1.gz share/man/man1/plumeroc-grab.1.gz share/doc/plumeroc/copyright; do
  [ -f "$usr/$file" ] || fail "the package lacks /usr/$file"
done
for size in 16 22 24 32 48 64 128 256; do
  icon=$usr/share/icons/hicolor/${size}x${size}/apps/$id.png
  [ -f "$icon" ] || fail "the package lacks the ${size}-pixel icon"
  # A PNG's width and height are the big-endian words at bytes 16 and 20.
  read -r -a header < <(od -An -tu1 -j16 -N8 "$icon")
  width=$(( (header[0] << 24) | (header[1] << 16) | (header[2] << 8) | header[3] ))
  height=$(( (header[4] << 24) | (header[5] << 16) | (header[6] << 8) | header[7] ))
  [ "$width" = "$size" ] && [ "$height" = "$size" ] || fail "$icon is ${width}x${height}"
done
grep -qx "Exec=plumeroc" "$usr/share/applications/$id.desktop" || fail "the desktop entry does not start plumeroc"
grep -qx "Icon=$id" "$usr/share/applications/$id.desktop" || fail "the desktop entry does not name the icon $id"
# Nothing may lead back into the build: no file, the programs included, names its folders.
if grep -rlF -e "$build" -e "$source" "$usr"; then
  fail "the files above name a folder of the build machine"
fi
# The metadata against the installed tree: its launchable must be the desktop entry beside it.
appstreamcli validate-tree --no-net --strict "$root" || fail "appstreamcli validate-tree"

step "plumeroc-grab"
"$usr/bin/plumeroc-grab" --help >"$work/help" || fail "plumeroc-grab --help failed"
grep -q '^  scan --base' "$work/help" || fail "the help lists no scan command"
printf '<embed src="movies/a.swf"><object data="/b.swf"></object><a href="c.html">' >"$work/page.html"
"$usr/bin/plumeroc-grab" scan --base http://example.test/games/ "$work/page.html" >"$work/scan" \
  || fail "the unpacked plumeroc-grab scan failed"
"$build/bin/plumeroc-grab" scan --base http://example.test/games/ "$work/page.html" >"$work/scan-built"
[ "$(wc -l <"$work/scan")" = 2 ] && cmp -s "$work/scan" "$work/scan-built" \
  || fail "scan printed: $(cat "$work/scan")"

step "the window under Xvfb"
# Xvfb picks a free display itself and writes its number to the descriptor given.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.2; done
[ -s "$work/display" ] || { cat "$work/xvfb.log"; fail "Xvfb did not start"; }
display=:$(head -n1 "$work/display")
mkdir "$work/home"
# An empty home, so that the Local Files walk has nothing of this machine's to read.
env -u XDG_CACHE_HOME -u XDG_CONFIG_HOME -u XDG_DATA_HOME -u WAYLAND_DISPLAY HOME="$work/home" \
  DISPLAY="$display" QT_QPA_PLATFORM=xcb "$usr/bin/plumeroc" >"$work/plumeroc.out" 2>"$work/plumeroc.err" &
program_pid=$!
shown=''
for _ in $(seq $((window_seconds * 4))); do
  if xwininfo -display "$display" -name Plumeroc 2>/dev/null | grep -q 'Map State: IsViewable'; then
    shown=yes
    break
  fi
  kill -0 "$program_pid" 2>/dev/null || break
  sleep 0.25
done
[ -n "$shown" ] || { tail -n 30 "$work/plumeroc.err"; fail "no Plumeroc window within $window_seconds s"; }
echo "window shown after $SECONDS s"
kill -0 "$program_pid" 2>/dev/null || fail "plumeroc ended with its window shown"
if grep -F "No Ruffle player" "$work/plumeroc.err"; then
  fail "the unpacked program did not find its Ruffle player"
fi
step "passed"
