#!/bin/bash
# The Linux tallyrun.wfx as a file: a 64-bit ELF shared object that exports the host's entry points and needs no X library.
set -u
wfx=$1
passed=0 failed=0
check() { if eval "$2"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAILED: $1"; fi; }

kind=$(file -b "$wfx")
check "an ELF 64-bit x86-64 shared object, got: $kind" '[[ $kind == "ELF 64-bit LSB shared object, x86-64"* ]]'
got=$(nm -D --defined-only "$wfx" | awk '{ print $3 }' | sort | tr '\n' ' ')
want="ExtensionInitialize FsContentGetDefaultView FsContentGetSupportedField FsContentGetSupportedFieldFlags \
FsContentGetValueW FsContentPluginUnloading FsExecuteFileW FsFindClose FsFindFirstW FsFindNextW FsGetBackgroundFlags FsGetDefRootName \
FsGetFileW FsGetLocalNameW FsInitW FsLinksToLocalFiles FsSetDefaultParams "
check "exports exactly '$want', got '$got'" '[ "$got" = "$want" ]'
needed=$(readelf -d "$wfx" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | sort | tr '\n' ' ')
check "needs only the C library, got: $needed" '[ "$needed" = "ld-linux-x86-64.so.2 libc.so.6 " ]'
echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
