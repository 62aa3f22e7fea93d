#!/bin/bash
# tools/apt-install against a stand-in apt-get that fails as a mirror in mid-sync does; the real one is never called.
set -u
here=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")

# The stand-in: each call is logged; update and the two kinds of install answer as told.
mkdir -p "$work/bin"
cat > "$work/bin/apt-get" <<'STANDIN'
#!/bin/bash
echo "$*" >> "$STANDIN_CALLS"
case " $* " in
  *" update "*) rc=$STANDIN_UPDATE ;;
  *" -t "*) rc=$STANDIN_INSTALL_T ;;
  *) rc=$STANDIN_INSTALL ;;
esac
if [ "$rc" != 0 ]; then
  case " $* " in
    *" update "*) echo "E: Failed to fetch http://deb.example/debian-security/dists/x-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?" >&2
                  echo "E: Some index files failed to download. They have been ignored, or old ones used instead." >&2 ;;
    *) echo " libc6:i386 : Depends: libgcc-s1:i386 but it is not going to be installed" >&2
       echo "E: Unable to correct problems, you have held broken packages." >&2 ;;
  esac
fi
exit "$rc"
STANDIN
chmod +x "$work/bin/apt-get"

failures=0
# check NAME UPDATE INSTALL INSTALL_T EXPECTED_STATUS EXPECTED_CALLS [PATTERN...]: each pattern must be in
# what apt-install printed; a pattern starting with ! must not be.
check() {
    local name=$1 calls=$work/calls.$1 out=$work/out.$1
    export STANDIN_CALLS=$calls STANDIN_UPDATE=$2 STANDIN_INSTALL=$3 STANDIN_INSTALL_T=$4
    : > "$calls"
    PATH="$work/bin:$PATH" "$here/tools/apt-install" pkg-a pkg-b:i386 > "$out" 2>&1
    local status=$? problems=()
    [ "$status" = "$5" ] || problems+=("exit status $status, expected $5")
    [ "$(wc -l < "$calls")" = "$6" ] || problems+=("$(wc -l < "$calls") calls of apt-get, expected $6")
    grep -v -- '-o Acquire::Retries=3' "$calls" | grep -q . && problems+=("a call without Acquire::Retries=3")
    shift 6
    for p in "$@"; do
        if [ "${p:0:1}" = '!' ]; then grep -qF -- "${p:1}" "$out" && problems+=("printed '${p:1}'")
        else grep -qF -- "$p" "$out" || problems+=("did not print '$p'"); fi
    done
    if [ ${#problems[@]} -gt 0 ]; then
        failures=$((failures + 1))
        echo "FAIL $name: $(printf '%s; ' "${problems[@]}")"
        echo "  printed:"; sed 's/^/    /' "$out"; echo "  apt-get calls:"; sed 's/^/    /' "$calls"
    else
        echo "ok   $name"
    fi
}

# A mirror in mid-sync: one index missing, the plain install broken, the release's own suite installs.
check broken_index 100 100 0 0 3 \
    "warning: apt-get update could not fetch http://deb.example/debian-security/dists/x-security/main/binary-i386/Packages.xz;" \
    "trying once more with $codename as the default release (-t $codename)" "!could not install"
grep -q -- "install .*-t $codename .*pkg-a pkg-b:i386" "$work/calls.broken_index" ||
    { failures=$((failures + 1)); echo "FAIL broken_index: the second install was not 'install -t $codename pkg-a pkg-b:i386'"; }
# Every install fails: one clear stop naming the packages and what apt said.
check nothing_installs 100 100 100 1 3 "could not install pkg-a pkg-b:i386" \
    "E: Unable to correct problems, you have held broken packages."
# A healthy mirror: no warning, no second try.
check healthy 0 0 100 0 2 "!warning" "!trying once more"

[ "$failures" = 0 ] && echo "all apt-install cases passed"
exit $((failures > 0))
