#!/bin/bash
# Shows a real overwrite prompt through the harness and saves its picture as a PNG a person can look at.
set -u
host=$1 plugin=$2 out=$3
here=$(cd "$(dirname "$0")/../.." && pwd)
passed=0 failed=0
check() { if eval "$2"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAILED: $1"; fi; }
win() { printf 'Z:%s' "${1//\//\\}"; }
"$here/tools/wine-run" --can-run "$host" || exit 77

dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
mkdir -p "$dir/src" "$dir/dst" "$(dirname "$out")"
printf 'first' > "$dir/src/IMG_0001.JPG"; printf 'second' > "$dir/src/IMG_0002.JPG"
printf 'old' > "$dir/dst/IMG_0001.JPG"
"$here/tools/wine-run" "$host" --answer cancel --screenshot "$(win "$dir/prompt.bmp")" "$plugin" \
    get "\\$(win "$dir/src")\\IMG_0001-0002.JPG" "$(win "$dir/dst")\\IMG_0001-0002.JPG" > "$dir/log" 2>&1
log=$(tr -d '\r' < "$dir/log")
check "the prompt names the existing target, got: $log" 'grep -q "^Overwrite: IMG_0001.JPG" <<< "$log"'
check "cancel gives result 5, got: $log" 'grep -q ": 5 " <<< "$log"'
check "cancel copies nothing" '[ "$(cat "$dir/dst/IMG_0001.JPG")" = old ] && ! [ -e "$dir/dst/IMG_0002.JPG" ]'
check "a picture of the prompt was saved" '[ -s "$dir/prompt.bmp" ]'
convert "$dir/prompt.bmp" "$out" 2>/dev/null
# Buttons draw in at least four shades; the prompt's text is the only thing in the top part.
colours=$(identify -format %k "$out" 2>/dev/null || echo 0)
text_colours=$(convert "$out" -crop 100%x40%+0+0 +repage -format %k info: 2>/dev/null || echo 0)
check "the picture shows the dialog's buttons ($colours colours)" '[ "$colours" -ge 4 ]'
check "the picture shows the prompt's text ($text_colours colours above the buttons)" '[ "$text_colours" -ge 2 ]'
echo "picture of the prompt: $out"
echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
