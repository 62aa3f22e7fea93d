#!/bin/bash
# Checks the release zip: exactly the five files, an installer file the file manager accepts, and two DLLs that load.
set -u
zip=$1 host32=$2 host64=$3 version=$4
here=$(cd "$(dirname "$0")/../.." && pwd)
passed=0 failed=0
check() { if eval "$2"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAILED: $1"; fi; }

dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
check "the zip exists: $zip" '[ -s "$zip" ]'
got=$(unzip -Z1 "$zip" 2>/dev/null | sort | tr '\n' ' ')
want="guide.txt pluginst.inf tallyrun.ini tallyrun.wfx tallyrun.wfx64 "
check "zip holds '$want', got '$got'" '[ "$got" = "$want" ]'
unzip -q "$zip" -d "$dir"
inf=$(tr -d '\r' < "$dir/pluginst.inf")
for line in '[plugininstall]' 'type=wfx' 'file=tallyrun.wfx' 'name=Tallyrun' 'defaultdir=tallyrun' "version=$version"; do
    check "pluginst.inf has the line $line" 'grep -qxF "$line" <<< "$inf"'
done
check "pluginst.inf has a description" 'grep -q "^description=." <<< "$inf"'
check "tallyrun.wfx is a 32-bit DLL" 'file "$dir/tallyrun.wfx" | grep -q "PE32 executable (DLL).*80386"'
for dll in tallyrun.wfx tallyrun.wfx64; do
    shown=$(strings -el "$dir/$dll" | grep -A1 -x FileVersion | tail -1)
    check "$dll's version resource says $version, got '$shown'" '[ "$shown" = "$version" ]'
    # Read from the export table, so that it is known even where the DLL cannot be loaded.
    check "$dll exports FsGetBackgroundFlags by name" 'objdump -p "$dir/$dll" | grep -qw FsGetBackgroundFlags'
done
check "tallyrun.wfx64 is a 64-bit DLL" 'file "$dir/tallyrun.wfx64" | grep -q "PE32+ executable (DLL).*x86-64"'
if "$here/tools/wine-run" --can-run "$host32"; then
    root32=$("$here/tools/wine-run" "$host32" "$(printf 'Z:%s' "${dir//\//\\}")\\tallyrun.wfx" root 2>&1 | tr -d '\r')
    check "the 32-bit DLL loads and names its root, got '$root32'" '[ "$root32" = "Tallyrun" ]'
fi
root64=$("$here/tools/wine-run" "$host64" "$(printf 'Z:%s' "${dir//\//\\}")\\tallyrun.wfx64" root 2>&1 | tr -d '\r')
check "the 64-bit DLL loads and names its root, got '$root64'" '[ "$root64" = "Tallyrun" ]'
# The sample INI is a valid configuration: listing with it beside the plugin shows no message.
mkdir -p "$dir/folder" && : > "$dir/folder/a01.txt" && : > "$dir/folder/a02.txt"
listed=$("$here/tools/wine-run" "$host64" --answer-boxes "$(printf 'Z:%s' "${dir//\//\\}")\\tallyrun.wfx64" \
    ls "\\$(printf 'Z:%s' "${dir//\//\\}")\\folder" 2>&1 | tr -d '\r')
check "the sample tallyrun.ini raises no message, got: $listed" '! grep -qi "error in file" <<< "$listed"'
check "the sample folder lists as one run, got: $listed" 'grep -q "a01-02.txt" <<< "$listed"'
echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
