#!/usr/bin/env bash
# The Debian packages CPack makes from the native build (step 10): their
# names, declared dependencies and files, the library's SONAME, the
# pkg-config prefix, and the Python package importing from the unpacked tree.
set -euo pipefail
build=${KELO_BUILD_DIR:-build}
version=3865.0
runtime=libkelo-dll3865
rm -rf "$build/packages"
(cd "$build" && cpack -G DEB >/dev/null)
packages="$build/packages"
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# package file, then the lines its dependencies must contain
check() {
    local file="$packages/$1" name=$2
    shift 2
    [ -f "$file" ] || { fail "missing $file"; return; }
    [ "$(dpkg-deb -f "$file" Package)" = "$name" ] || fail "$file is not $name"
    [ "$(dpkg-deb -f "$file" Version)" = "$version" ] || fail "$name: version"
    local depends
    depends=$(dpkg-deb -f "$file" Depends)
    for wanted in "$@"; do
        [[ ", $depends," == *", $wanted,"* ]] || fail "$name depends on '$depends', not on '$wanted'"
    done
    dpkg-deb -x "$file" "$root"
    dpkg-deb -c "$file" | awk '{print $6}' | sed 's|^\./||' | grep -v '/$' | sort >"$root/$name.files"
}
# package, then every file it must hold (and nothing else)
holds() {
    local name=$1
    shift
    printf '%s\n' "$@" | sort | diff -u - "$root/$name.files" >&2 || fail "$name: files differ"
}

headers=(include/kelo_dll/*.h include/kelo_dll/*.hpp include/kelo_dll/cpp/*.hpp)
modules=(python/kelo/*.py)
check "${runtime}_${version}_amd64.deb" "$runtime" "libc6 (>= 2.17)" "libstdc++6 (>= 11)"
holds "$runtime" usr/lib/libkelo_dll.so.3865 usr/lib/libkelo_dll.so.3865.0
check "libkelo-dll-dev_${version}_amd64.deb" libkelo-dll-dev "$runtime (= $version)"
holds libkelo-dll-dev usr/lib/libkelo_dll.so usr/lib/pkgconfig/kelo_dll.pc \
    usr/lib/cmake/kelo_dll/kelo_dllConfig.cmake usr/lib/cmake/kelo_dll/kelo_dllConfigVersion.cmake \
    usr/lib/cmake/kelo_dll/kelo_dllTargets.cmake \
    "$(cd "$root" && ls usr/lib/cmake/kelo_dll/kelo_dllTargets-*.cmake)" \
    usr/include/kelo_dll.h "${headers[@]/#include\//usr/include/}"
check "kelo-tools_${version}_amd64.deb" kelo-tools "$runtime (= $version)"
holds kelo-tools usr/bin/kelo usr/bin/kelo-scanner-emulator
check "python3-kelo_${version}_all.deb" python3-kelo python3 python3-numpy "$runtime (= $version)"
holds python3-kelo usr/lib/python3/dist-packages/kelo/_location.py \
    "${modules[@]/#python\//usr/lib/python3/dist-packages/}"

objdump -p "$root/usr/lib/libkelo_dll.so.3865.0" | grep -q 'SONAME *libkelo_dll.so.3865$' ||
    fail "the library's SONAME is not libkelo_dll.so.3865"
grep -qx 'prefix=/usr' "$root/usr/lib/pkgconfig/kelo_dll.pc" || fail "kelo_dll.pc: prefix is not /usr"
dpkg-deb -e "$packages/${runtime}_${version}_amd64.deb" "$root/control"
grep -qx "libkelo_dll 3865 $runtime (= $version)" "$root/control/shlibs" || fail "no shlibs entry"
# The unpacked python3-kelo finds the unpacked library by itself.
loaded=$(cd "$root" && env -u KELO_DLL_PATH PYTHONPATH="$root/usr/lib/python3/dist-packages" \
    /usr/bin/python3 -c 'import kelo; print(kelo.library().path)')
[ "$loaded" = "$root/usr/lib/libkelo_dll.so.3865" ] || fail "python3-kelo loaded $loaded"

[ "$failures" = 0 ] || { echo "$failures package check(s) failed" >&2; exit 1; }
ls "$packages"/*.deb
