#!/bin/bash
# make demo: the real plugin in the host harness under Wine, at work on folders like real users' folders.
set -e
cd "$(dirname "$0")/.."
repo=$(pwd)
build=${1:-build}
host32=$repo/$build/win32/tools/host/tallyrun-host.exe
plugin32=$repo/$build/win32/plugin/tallyrun.wfx
plugin64=$repo/$build/win64/plugin/tallyrun.wfx64
host64=$repo/$build/win64/tools/host/tallyrun-host.exe
linux=$repo/$build/linux
# The 32-bit plugin is the one the demo shows; where the kernel runs no 32-bit program, the 64-bit one.
if "$repo/tools/wine-run" --can-run "$host32" 2>/dev/null; then
    host_exe=$host32 plugin=$plugin32 other_host=$host64 other_plugin=$plugin64 other=64
else
    host_exe=$host64 plugin=$plugin64 other_host= other_plugin= other=32
fi
# The display and wineserver that wine-run starts end with the demo.
trap '"$repo/tools/wine-run" --stop' EXIT

demo=$(mktemp -d /tmp/tallyrun-demo.XXXXXX)
shots=$repo/$build/demo
mkdir -p "$shots"

say() { printf '\n\033[1m== %s\033[0m\n' "$*"; }
winpath() { printf 'Z:%s' "${1//\//\\}"; }      # /tmp/x -> Z:\tmp\x
panel() { printf '\\%s' "$(winpath "$1")"; }     # the plugin's own path: \Z:\tmp\x
# The harness with the demo's INI folder: host [OPTIONS] PLUGIN COMMAND ARGS. Its output goes
# through a file: a pipe could be held open by the wine server it starts.
host() { "$repo/tools/wine-run" "$host_exe" --ini "$(winpath "$demo/config/plugins.ini")" "$@" \
             > "$demo/.out" 2>&1 || true; tr -d '\r' < "$demo/.out"; }
# A file of n bytes whose bytes tell which file it is.
make_file() { local path=$1 n=$2; mkdir -p "$(dirname "$path")"
              head -c "$n" < <(yes "$(basename "$path")") > "$path"; }
real_folder() { (cd "$1" && for f in $(ls -A | LC_ALL=C sort -f); do
                  if [ -d "$f" ]; then printf '%12s  %s\n' "<DIR>" "$f"; else printf '%12s  %s\n' "$(stat -c %s "$f")" "$f"; fi
                done); }
side_by_side() { local real=$1 left right
    left=$( (echo "on disk: $(basename "$real")"; echo "------------------------------"; real_folder "$real") )
    right=$( (echo "in the Tallyrun panel"; echo "-----------------------------------------------------------"; \
              host "$plugin" ls "$(panel "$real")") )
    paste -d '|' <(printf '%s\n' "$left" | awk '{ printf "%-34s", $0; print "" }') <(printf '%s\n' "$right") |
        sed 's/|/  /'; }

say "Sample folders in $demo"
for i in $(seq -w 1 12); do make_file "$demo/card/DCIM/IMG_00$i.JPG" $((2400000 + 1000 * 10#$i)); done
make_file "$demo/card/DCIM/notes.txt" 212
mkdir -p "$demo/card/DCIM/edited"
for i in 0001 0002 0003 0004 0005 0007 0008 0009 0010; do make_file "$demo/render/shotA_$i.exr" 8100000; done
make_file "$demo/render/frame98.tif" 1000; make_file "$demo/render/frame99.tif" 1000; make_file "$demo/render/frame100.tif" 1000
make_file "$demo/scans/Scan01.png" 51000; make_file "$demo/scans/scan02.png" 52000; make_file "$demo/scans/SCAN03.png" 53000
for i in 00001 00002 00003; do for ext in dpx exr jpg; do make_file "$demo/plates/plate_$i.$ext" 4000; done; done
make_file "$demo/clash/a1.txt" 10; make_file "$demo/clash/a2.txt" 10; make_file "$demo/clash/a1-2.txt" 99
# Three takes of 120 MB each, made sparse: instant, and almost no disk.
mkdir -p "$demo/takes" && for i in 1 2 3; do truncate -s 120M "$demo/takes/take_000$i.mov"; done
mkdir -p "$demo/config" "$demo/out"
touch -d '2006-09-19 09:34:18' "$demo"/card/DCIM/IMG_*.JPG
before=$(cd "$demo" && find card render scans plates clash takes -type f -exec sha1sum {} + | sort)
echo "a camera card, a render with padded frames and a gap, scanner pages in mixed case,"
echo "interleaved formats, a name that clashes with a generated one, a sub-folder and three long takes."

say "The plugin's root (the drives), as the file manager shows it"
host "$plugin" ls '\\' | head -5

say "A camera card: twelve pictures become one entry, sized as all twelve"
side_by_side "$demo/card/DCIM"

say "A render with a gap (0006 missing), and frame98..100 whose number needs another digit"
side_by_side "$demo/render"

say "Scanner pages in mixed case become a lower-case name"
side_by_side "$demo/scans"

say "Interleaved formats: each format is a run of its own, though their names alternate on disk"
side_by_side "$demo/plates"

say "A generated name that clashes with a real file gets a counter"
side_by_side "$demo/clash"

say "A faulty tallyrun.ini: each problem is shown in a message box (answered here by script)"
printf '[Options]\r\nseqpattern=%%d-%%d\r\nrange=5-3\r\n' > "$demo/config/tallyrun.ini"
cat "$demo/config/tallyrun.ini" | sed 's/^/    /'
host --answer-boxes "$plugin" ls "$(panel "$demo/card/DCIM")"

say "The same file fixed: seqpattern=%s..%s"
printf '; options of the sequence plug-in\r\n[Options]\r\nseqpattern=%%s..%%s\r\n' > "$demo/config/tallyrun.ini"
cat "$demo/config/tallyrun.ini" | sed 's/^/    /'
host --answer-boxes "$plugin" ls "$(panel "$demo/card/DCIM")"
rm "$demo/config/tallyrun.ini"

say "Copying the run out: every member arrives under its own name"
host --verbose "$plugin" get "$(panel "$demo/card/DCIM")\\IMG_0001-0012.JPG" "$(winpath "$demo/out")\\IMG_0001-0012.JPG" |
    awk '/^progress/ { if (n++ == 0 || / 100% /) print; next } { print }'
echo "the target folder now holds:"; real_folder "$demo/out" | sed 's/^/    /'
if (cd "$demo/card/DCIM" && for f in IMG_*.JPG; do cmp -s "$f" "$demo/out/$f" || exit 1; done); then
    echo "all twelve are byte-for-byte the originals"
else
    echo "the copies differ from the originals"; exit 1
fi

say "Ctrl held: no copy, a list file of the members instead"
host --ctrl "$plugin" get "$(panel "$demo/render")\\shotA_0001-0005.exr" "$(winpath "$demo/out")\\shotA_0001-0005.exr"
echo "$demo/out/shotA_0001-0005.exr.lst:"; sed 's/^/    /; s/\t/<TAB>/g' "$demo/out/shotA_0001-0005.exr.lst"

say "Copying again onto existing files: the prompt (answered here by script: Skip, then Overwrite all)"
host --answer skip,all --screenshot "$(winpath "$shots/prompt.bmp")" "$plugin" get "$(panel "$demo/card/DCIM")\\IMG_0001-0012.JPG" "$(winpath "$demo/out")\\IMG_0001-0012.JPG"
if [ -s "$shots/prompt.bmp" ] && command -v convert >/dev/null; then
    convert "$shots/prompt.bmp" "$shots/prompt.png" && rm "$shots/prompt.bmp"
    echo "screenshot of the prompt: $shots/prompt.png"
fi

say "Copying a selection with folders, as the file manager copies trees"
host "$plugin" copy "$(panel "$demo/card")" "$(panel "$demo/scans")\\scan01-03.png" "$(winpath "$demo/tree")"
(cd "$demo/tree" && find . -type f | sort | sed 's/^/    /')

say "Enter on a run opens its first frame where it is, with the program Windows has for the type"
# The program for .exr and .ini while the demo runs is the harness's recorder, which notes what it is
# asked to open (Wine reads file types from HKLM\Software\Classes only); .ini's own type comes back after.
launched=$demo/launched.log
reg() { "$repo/tools/wine-run" reg "$@" 2>/dev/null | tr -d '\r'; }
classes='HKLM\Software\Classes'
ini_type=$(reg query "$classes\\.ini" /ve | awk '/REG_SZ/ { print $NF }')
reg add "$classes\\tallyrun.demo\\shell\\open\\command" /ve /f \
    /d "\"$(winpath "$host_exe")\" --record \"$(winpath "$launched")\" opened \"%1\"" >/dev/null
for ext in .exr .ini; do reg add "$classes\\$ext" /ve /d tallyrun.demo /f >/dev/null; done
wait_launched() { for _ in $(seq 50); do [ -f "$launched" ] && [ "$(wc -l < "$launched")" -ge "$1" ] && break; sleep 0.1; done; }
host "$plugin" open "$(panel "$demo/render")\\shotA_0001-0005.exr"
wait_launched 1
echo "the program was started with: $(tail -1 "$launched")"
host "$plugin" open "$(panel "$demo/render")\\frame98-99.tif" properties
echo "(Wine has no property sheet: on Windows, properties shows the first member's)"
host "$plugin" open "$(panel "$demo")\\card"
echo "(a folder: the file manager opens it itself)"
say "Properties on the plugin's root opens tallyrun.ini, written first from the commented sample"
host "$plugin" open '\' properties
wait_launched 2
echo "the program was started with: $(tail -1 "$launched")"
head -3 "$demo/config/tallyrun.ini" | sed 's/^/    /'; rm "$demo/config/tallyrun.ini"
reg delete "$classes\\.exr" /f >/dev/null; reg delete "$classes\\tallyrun.demo" /f >/dev/null
if [ -n "$ini_type" ]; then reg add "$classes\\.ini" /ve /d "$ini_type" /f >/dev/null; else reg delete "$classes\\.ini" /f >/dev/null; fi

say "Thumbnails: the file manager is given the real file to draw (a run: its first member)"
host "$plugin" preview "$(panel "$demo/render")\\shotA_0001-0005.exr"
host "$plugin" preview "$(panel "$demo/card")\\DCIM"

say "The plugin's columns on the render folder: members, first and last number, what is missing after a run"
host "$plugin" fields --view "$(panel "$demo/render")"

say "A long copy tells its progress as it goes (three takes of 120 MB; every 10th report shown)"
host --verbose "$plugin" get "$(panel "$demo/takes")\\take_0001-0003.mov" "$(winpath "$demo/out")\\take_0001-0003.mov" |
    awk '/^progress/ { if (n++ == 0) print; else if (n % 10 == 1 || / 100% /) print $1 " " $2 " ..."; next }
         { print } END { print n " progress reports in all" }'
echo "the target folder now holds:"; real_folder "$demo/out" | grep take_ | sed 's/^/    /'

say "Cancel at 50%: the copy stops within the second take, which is removed; the first stays whole"
mkdir -p "$demo/cancelled"
host --abort-at 50 "$plugin" get "$(panel "$demo/takes")\\take_0001-0003.mov" "$(winpath "$demo/cancelled")\\take_0001-0003.mov"
echo "the target folder now holds:"; real_folder "$demo/cancelled" | sed 's/^/    /'
cmp -s "$demo/takes/take_0001.mov" "$demo/cancelled/take_0001.mov" && echo "take_0001.mov is byte-for-byte the original"
rm -f "$demo"/out/take_* "$demo"/cancelled/take_*  # the copies are not sparse: 600 MB of disk

say "The $other-bit plugin lists the same"
if [ -n "$other_host" ]; then
    "$repo/tools/wine-run" "$other_host" "$other_plugin" ls "$(panel "$demo/scans")" > "$demo/.out" 2>&1 || true
    tr -d '\r' < "$demo/.out"
else
    echo "(not shown: this machine's kernel runs no 32-bit program; the 32-bit plugin is built: $plugin32)"
fi

say "On Linux: the render folder through the Linux build's engine and bindings (tallyrun-ls)"
"$linux/tools/tallyrun-ls" --members "$demo/render"

say "On Linux: the camera card in Double Commander, through the Linux tallyrun.wfx (under Xvfb)"
/usr/bin/python3 tools/doublecmd_demo.py "$linux/plugin/tallyrun.wfx" "$demo/card/DCIM" IMG_0001-0012.JPG \
    "$demo/dc-out" "$shots/doublecmd-panel.png"
if (cd "$demo/card/DCIM" && for f in IMG_*.JPG; do cmp -s "$f" "$demo/dc-out/$f" || exit 1; done); then
    echo "F5 copied all twelve members, byte-for-byte the originals"
else
    echo "the copies in Double Commander differ from the originals"; exit 1
fi

say "The source folders are unchanged"
after=$(cd "$demo" && find card render scans plates clash takes -type f -exec sha1sum {} + | sort)
if [ "$before" = "$after" ]; then echo "yes: every source file has the same bytes as before"; else echo "NO: sources changed"; exit 1; fi

make -s dist >/dev/null
say "Done"
echo "the plugin:  $plugin32"
echo "             $plugin64"
echo "the zip:     $repo/dist/tallyrun-$(cat VERSION).zip"
echo "on Linux:    $linux/plugin/tallyrun.wfx"
echo "             $repo/dist/tallyrun-$(cat VERSION)-linux-x86_64.zip"
echo "samples:     $demo"
echo "Double Commander's panel: $shots/doublecmd-panel.png"
echo "the run it copied with F5, in $demo/dc-out:"
real_folder "$demo/dc-out" | sed 's/^/    /'
