#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The Debian packages CPack makes from the native build (step 10): their
# names, architecture, declared dependencies and files (each with its
# copyright and changelog), the library's SONAME, the pkg-config prefix, the
# Python package importing from the unpacked tree, and lintian without
# errors. Step 35 runs it on its cross builds with KELO_BUILD_DIR and
# KELO_DEB_ARCH (arm64, armhf), where the binaries are checked for the
# target's machine instead of being loaded.
set -euo pipefail
build=${KELO_BUILD_DIR:-build}
native=$(dpkg --print-architecture)
arch=${KELO_DEB_ARCH:-$native}
version=$(sed -n 's/^#define KELO_DLL_M[AI][JN]OR_VERSION \([0-9]*\)u$/\1/p' include/kelo_dll/version.h | paste -sd.)
major=${version%%.*}
runtime=libkelo-dll$major
rm -rf "$build/packages"
(cd "$build" && cpack -G DEB >/dev/null)
packages="$build/packages"
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# package file, then the entries its dependencies must contain (a bare
# name stands for that package with or without a version)
check() {
    local file="$packages/$1" name=$2
    shift 2
    [ -f "$file" ] || { fail "missing $file"; return; }
    [ "$(dpkg-deb -f "$file" Package)" = "$name" ] || fail "$file is not $name"
    [ "$(dpkg-deb -f "$file" Version)" = "$version" ] || fail "$name: version"
    [[ "$file" == *_all.deb ]] || [ "$(dpkg-deb -f "$file" Architecture)" = "$arch" ] ||
        fail "$name: architecture is not $arch"
    local depends
    depends=$(dpkg-deb -f "$file" Depends)
    for wanted in "$@"; do
        [[ ", $depends," == *", $wanted,"* || ( "$wanted" != *"("* && ", $depends" == *", $wanted ("* ) ]] ||
            fail "$name depends on '$depends', not on '$wanted'"
    done
    # Only packages of the target's own architecture, under their own names.
    [[ "$depends" != *:* && "$depends" != *-cross* ]] || fail "$name depends on '$depends'"
    dpkg-deb -x "$file" "$root"
    dpkg-deb -c "$file" | awk '{print $6}' | sed 's|^\./||' | grep -v '/$' | sort >"$root/$name.files"
}
# package, then every file it must hold (and nothing else)
holds() {
    local name=$1
    shift
    printf '%s\n' "$@" "usr/share/doc/$name/copyright" "usr/share/doc/$name/changelog.gz" | sort |
        diff -u - "$root/$name.files" >&2 || fail "$name: files differ"
}

headers=(include/kelo_dll/*.h include/kelo_dll/*.hpp include/kelo_dll/cpp/*.hpp)
modules=(python/kelo/*.py)
if [ "$arch" = "$native" ]; then
    runtime_depends=("libc6 (>= 2.17)" "libstdc++6 (>= 11)")
else  # as the cross toolchain's runtimes are versioned
    runtime_depends=(libc6 libstdc++6)
fi
check "${runtime}_${version}_$arch.deb" "$runtime" "${runtime_depends[@]}"
holds "$runtime" usr/lib/libkelo_dll.so.$major usr/lib/libkelo_dll.so.$version
check "libkelo-dll-dev_${version}_$arch.deb" libkelo-dll-dev "$runtime (= $version)"
holds libkelo-dll-dev usr/lib/libkelo_dll.so usr/lib/pkgconfig/kelo_dll.pc \
    usr/lib/cmake/kelo_dll/kelo_dllConfig.cmake usr/lib/cmake/kelo_dll/kelo_dllConfigVersion.cmake \
    usr/lib/cmake/kelo_dll/kelo_dllTargets.cmake \
    "$(cd "$root" && ls usr/lib/cmake/kelo_dll/kelo_dllTargets-*.cmake)" \
    usr/include/kelo_dll.h "${headers[@]/#include\//usr/include/}"
check "kelo-tools_${version}_$arch.deb" kelo-tools "$runtime (= $version)"
holds kelo-tools usr/bin/kelo usr/bin/kelo-scanner-emulator
# The reference (built natively; cross builds leave it out): both front
# pages and nothing outside the package's own directory.
if [ "$arch" = "$native" ]; then
    check "libkelo-dll-doc_${version}_all.deb" libkelo-dll-doc
    for page in c/index.html python/index.html; do
        grep -qx "usr/share/doc/libkelo-dll-doc/html/$page" "$root/libkelo-dll-doc.files" ||
            fail "libkelo-dll-doc lacks $page"
    done
    grep -v '^usr/share/doc/libkelo-dll-doc/' "$root/libkelo-dll-doc.files" >&2 && fail "libkelo-dll-doc: files elsewhere"
fi
check "python3-kelo_${version}_all.deb" python3-kelo python3 python3-numpy "$runtime (= $version)"
holds python3-kelo usr/lib/python3/dist-packages/kelo/_location.py usr/lib/python3/dist-packages/kelo/_version.py \
    "${modules[@]/#python\//usr/lib/python3/dist-packages/}"

objdump -p "$root/usr/lib/libkelo_dll.so.$version" | grep -q "SONAME *libkelo_dll.so.$major\$" ||
    fail "the library's SONAME is not libkelo_dll.so.$major"
grep -qx 'prefix=/usr' "$root/usr/lib/pkgconfig/kelo_dll.pc" || fail "kelo_dll.pc: prefix is not /usr"
dpkg-deb -e "$packages/${runtime}_${version}_$arch.deb" "$root/control"
grep -qx "libkelo_dll $major $runtime (= $version)" "$root/control/shlibs" || fail "no shlibs entry"
if [ "$arch" = "$native" ]; then
    # The unpacked python3-kelo finds the unpacked library by itself.
    loaded=$(cd "$root" && env -u KELO_DLL_PATH PYTHONPATH="$root/usr/lib/python3/dist-packages" \
        /usr/bin/python3 -c 'import kelo; print(kelo.library().path)')
    [ "$loaded" = "$root/usr/lib/libkelo_dll.so.$major" ] || fail "python3-kelo loaded $loaded"
else
    case $arch in
        arm64) machine="AArch64" flags="" ;;
        armhf) machine="ARM" flags="hard-float ABI" ;;
        *) machine="?" flags="" ;;
    esac
    for binary in usr/lib/libkelo_dll.so.$version usr/bin/kelo usr/bin/kelo-scanner-emulator; do
        header=$(readelf -h "$root/$binary")
        grep -q "Machine: *$machine\$" <<<"$header" && grep -q "Flags:.*$flags" <<<"$header" ||
            fail "$binary is not built for $arch"
    done
fi

# Debian's own checks: errors fail, warnings are shown.
lintian_status=0
report=$(lintian --fail-on error "$packages"/*.deb 2>&1) || lintian_status=$?
grep -v 'running with root privileges' <<<"$report" >&2 || true
[ "$lintian_status" = 0 ] || fail "lintian reports errors"

[ "$failures" = 0 ] || { echo "$failures package check(s) failed" >&2; exit 1; }
ls "$packages"/*.deb
