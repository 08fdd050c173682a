#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The Windows SDKs as they ship, from the builds of the steps before (build/
# native, build-win and build-win64 cross): each zip's contents and
# binaries, its MSVC import library, clients built from the zip unpacked
# elsewhere through its CMake package (clang-cl and lld-link; MinGW) and
# pkg-config file and run under Wine against the emulator, and the .NET
# declarations run with Mono against the Linux library and the emulator.
set -euo pipefail
native=${KELO_NATIVE_BUILD:-build}
win32=${KELO_WINDOWS_BUILD:-build-win}
win64=${KELO_WINDOWS64_BUILD:-build-win64}
for dir in "$native" "$win32" "$win64"; do
    [ -d "$dir" ] || { echo "25-windows-sdk: $dir is missing (steps 10 and 20 build it)" >&2; exit 1; }
done
version=$(sed -n 's/^#define KELO_DLL_M[AI][JN]OR_VERSION \([0-9]*\)u$/\1/p' include/kelo_dll/version.h | paste -sd.)
work=$(mktemp -d)
emulator_pid=""
servers=()
cleanup() {
    if [ -n "$emulator_pid" ]; then kill "$emulator_pid" 2>/dev/null || true; fi
    for build in "${servers[@]}"; do
        WINEPREFIX="$build/wineprefix" W32_HOME="$build/wine-qemu" \
            ./cmake/wine-run.sh --stop "$build/bin/kelo_dll.dll" || true
    done
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "25-windows-sdk: $*" >&2; exit 1; }

# Emulators for the clients and the .NET test, on an address of their own.
address=127.25.$((RANDOM % 200 + 20)).$((RANDOM % 200 + 20))
"$native/bin/kelo-scanner-emulator" --bind "$address" --points 200 --seconds 600 >"$work/emulator.log" 2>&1 &
emulator_pid=$!
for _ in $(seq 50); do
    (exec 3<>"/dev/tcp/$address/24334") 2>/dev/null && break
    sleep 0.1
done

# check_sdk BUILD_DIR PACKAGE(win32|win64) MACHINE(x86|x64) ROUTE(wine|qemu|wine64|none)
check_sdk() {
    local build=$1 package=$2 machine=$3 route=$4 start=$SECONDS
    local out="$work/$package" tools objdump target llvm_machine
    if [ "$machine" = x86 ]; then
        tools=i686-w64-mingw32 target=i686-pc-windows-msvc llvm_machine=i386
    else
        tools=x86_64-w64-mingw32 target=x86_64-pc-windows-msvc llvm_machine=i386:x86-64
    fi
    objdump=$tools-objdump
    mkdir -p "$out"
    # Programs of this build run in its Wine prefix (or its qemu home).
    export WINEPREFIX W32_HOME
    WINEPREFIX="$(realpath "$build")/wineprefix" W32_HOME="$(realpath "$build")/wine-qemu"

    # --- the zip -----------------------------------------------------------
    local zip="$build/packages/kelo_dll-$version-$package.zip" top="kelo_dll-$version-$package"
    (cd "$build" && cpack -G ZIP >/dev/null)
    [ -f "$zip" ] || fail "cpack made no $zip"
    unzip -Z1 "$zip" | grep -v '/$' | sed "s|^$top/||" | sort >"$out/files"
    {
        printf '%s\n' LICENSE README-windows.txt bin/kelo_dll.dll bin/kelo.exe bin/kelo-scanner-emulator.exe \
            lib/kelo_dll.lib lib/libkelo_dll.dll.a lib/pkgconfig/kelo_dll.pc bindings/KeloDll.cs
        (cd include && find . -name '*.h' -o -name '*.hpp' | sed 's|^\./|include/|')
        (cd "$build/docs/c/html" && find . -type f | sed 's|^\./|doc/c/|')
        for file in Config ConfigVersion Targets Targets-release; do echo "lib/cmake/kelo_dll/kelo_dll$file.cmake"; done
    } | sort >"$out/expected"
    diff -u "$out/expected" "$out/files" || fail "$package: the zip holds other files than expected"
    # Unpacked in a folder of another name than the build's staging one.
    unzip -q "$zip" -d "$out/elsewhere"
    local sdk="$out/elsewhere/$top"

    local allowed='^(KERNEL32|msvcrt|WS2_32|OLEAUT32|USER32|ADVAPI32)\.dll$' binary
    for binary in bin/kelo_dll.dll bin/kelo.exe bin/kelo-scanner-emulator.exe; do
        local headers private imports bad
        headers=$($objdump -h "$sdk/$binary")
        if grep -q ' \.debug_' <<<"$headers"; then fail "$package: $binary has debug sections"; fi
        [ "$($tools-nm "$sdk/$binary" 2>&1)" = "$tools-nm: $sdk/$binary: no symbols" ] \
            || fail "$package: $binary keeps a symbol table"
        private=$($objdump -p "$sdk/$binary")
        grep -Eq 'MajorOSystemVersion[[:space:]]+6$' <<<"$private" || fail "$package: $binary: OS version is not 6.0"
        grep -Eq 'MajorSubsystemVersion[[:space:]]+6$' <<<"$private" || fail "$package: $binary: subsystem version is not 6.0"
        imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$private")
        [ "$binary" = bin/kelo_dll.dll ] || imports=$(grep -v '^kelo_dll\.dll$' <<<"$imports")
        bad=$(grep -Ev "$allowed" <<<"$imports" || true)
        [ -z "$bad" ] || fail "$package: $binary imports non-system DLLs: $bad"
    done
    cmake -DOBJDUMP="$objdump" -DDLL="$sdk/bin/kelo_dll.dll" -DEXPECTED="$build/kelo_dll.exports" \
          -P cmake/CheckExports.cmake >/dev/null

    # VERSIONINFO as Windows reads it: file and product version of version.h.
    local field
    # (Read whole first: grep -q would end the pipe early under pipefail.)
    local resources
    resources=$(llvm-readobj-14 --coff-resources "$sdk/bin/kelo_dll.dll")
    grep -q 'Type: VERSION' <<<"$resources" || fail "$package: kelo_dll.dll has no version resource"
    strings -el "$sdk/bin/kelo_dll.dll" | tr '\n' ' ' >"$out/version"
    for field in "FileVersion $version" "ProductVersion $version" "OriginalFilename kelo_dll.dll" \
                 "ProductName kelo_dll"; do
        grep -q "$field" "$out/version" || fail "$package: version resource lacks '$field'"
    done

    # kelo_dll.lib: one import per export. 32-bit: the decorated export by
    # its exact name, every other one by its plain name from the caller's
    # __stdcall symbol. 64-bit: every import by its own name, and the
    # caller's lpBeginSendParametersToScanner a weak alias of the decorated one.
    local members others exports
    exports=$(grep -c . "$build/kelo_dll.exports")
    members=$(llvm-readobj-14 "$sdk/lib/kelo_dll.lib" | grep -A4 '^Format: COFF-import-file' \
              | sed -n 's/^Name type: //p;s/^Symbol: \([^_].*\|_[^_].*\)/\1/p' | paste - -)
    [ "$(wc -l <<<"$members")" = "$exports" ] || fail "$package: kelo_dll.lib does not hold one import per export"
    grep -qx $'name\t_lpBeginSendParametersToScanner@8' <<<"$members" \
        || fail "$package: kelo_dll.lib: _lpBeginSendParametersToScanner@8 is not imported by its exact name"
    others=$(grep -v $'\t_lpBeginSendParametersToScanner@8$' <<<"$members" | cut -f1 | sort -u)
    if [ "$machine" = x86 ]; then
        [ "$others" = undecorate ] || fail "$package: kelo_dll.lib: plain exports not all undecorated ($others)"
    else
        [ "$others" = name ] || fail "$package: kelo_dll.lib: exports not all imported by name ($others)"
        grep -qx '0* W lpBeginSendParametersToScanner' <<<"$(llvm-nm-14 "$sdk/lib/kelo_dll.lib" 2>/dev/null)" \
            || fail "$package: kelo_dll.lib: no alias lpBeginSendParametersToScanner"
    fi
    echo "$package: $(basename "$zip"), $(stat -c %s "$zip") bytes; kelo_dll.dll $(stat -c %s "$sdk/bin/kelo_dll.dll") bytes"
    sed 's/^/  /' "$out/files"

    # --- clients from the unpacked zip: MSVC-style and MinGW ---------------
    # clang-cl and lld-link, no C runtime, a kernel32 import library of its
    # own; CMake's package must hand them lib/kelo_dll.lib.
    local kernel32 name client_imports flags
    kernel32="ExitProcess GetStdHandle WriteFile GetCommandLineA"
    [ "$machine" = x64 ] || kernel32="ExitProcess@4 GetStdHandle@4 WriteFile@20 GetCommandLineA@0"
    printf 'LIBRARY kernel32.dll\nEXPORTS\n' >"$out/kernel32.def"
    printf '    %s\n' $kernel32 >>"$out/kernel32.def"
    llvm-dlltool-14 -m $llvm_machine -k -d "$out/kernel32.def" -l "$out/kernel32.lib"
    cmake -S tests/windows_sdk/cmake_client -B "$out/msvc" -DCMAKE_BUILD_TYPE=Release \
          -DCMAKE_SYSTEM_NAME=Windows -DCMAKE_SYSTEM_PROCESSOR=$machine -DCMAKE_C_COMPILER=clang-cl-14 \
          -DCMAKE_C_COMPILER_TARGET=$target -DCMAKE_C_COMPILER_WORKS=ON -DCMAKE_C_STANDARD_LIBRARIES= \
          -DCMAKE_LINKER=lld-link-14 -DCMAKE_MT=llvm-mt-14 -DCMAKE_RC_COMPILER=llvm-rc-14 \
          -DKELO_KERNEL32_LIB="$out/kernel32.lib" -DCMAKE_PREFIX_PATH="$sdk" >/dev/null
    cmake --build "$out/msvc" >"$out/msvc.log" 2>&1 || { cat "$out/msvc.log"; fail "$package: the MSVC client does not build"; }
    grep -q "lib/kelo_dll.lib" "$out/msvc/CMakeFiles/cmake_client.dir/link.txt" \
        || fail "$package: the CMake package does not give MSVC lib/kelo_dll.lib"
    client_imports=$($objdump -p "$out/msvc/cmake_client.exe")
    for name in _lpBeginSendParametersToScanner@8 lpOpenConnection lpOverrideScanWindow lpCloseConnection; do
        grep -Eq "[[:space:]]$name\$" <<<"$client_imports" || fail "$package: the MSVC client does not import $name"
    done
    # MinGW: the CMake package with libkelo_dll.dll.a, and pkg-config.
    cmake -S tests/windows_sdk/cmake_client -B "$out/mingw" -DCMAKE_BUILD_TYPE=Release \
          -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-${tools%%-*}.cmake" -DCMAKE_PREFIX_PATH="$sdk" >/dev/null
    cmake --build "$out/mingw" >/dev/null
    grep -q "lib/libkelo_dll.dll.a" "$out/mingw/CMakeFiles/cmake_client.dir/linkLibs.rsp" \
        || fail "$package: the CMake package does not give MinGW lib/libkelo_dll.dll.a"
    export PKG_CONFIG_PATH="" PKG_CONFIG_LIBDIR="$sdk/lib/pkgconfig"
    [ "$(realpath "$(pkg-config --variable=prefix kelo_dll)")" = "$(realpath "$sdk")" ] \
        || fail "$package: pkg-config's prefix is not the unpacked folder: $(pkg-config --variable=prefix kelo_dll)"
    flags=$(pkg-config --cflags --libs kelo_dll)
    # shellcheck disable=SC2086
    "$tools-gcc-posix" tests/c_header_check.c -o "$out/pkg_config_client.exe" $flags \
        || fail "$package: no client builds with pkg-config's flags ($flags)"
    unset PKG_CONFIG_PATH PKG_CONFIG_LIBDIR

    # --- the clients run against the emulator ------------------------------
    if [ "$route" = none ]; then
        echo "NOTICE: this machine runs no 32-bit Windows program (wine --version fails and" \
             "../shared/tools/win32-under-qemu is missing): the clients are built and their imports" \
             "checked, but not run" >&2
    else
        cp "$sdk/bin/kelo_dll.dll" "$out/msvc/"
        cp "$sdk/bin/kelo_dll.dll" "$out/mingw/"
        servers+=("$(realpath "$build")")
        ./cmake/wine-run.sh "$out/msvc/cmake_client.exe" "$address"
        ./cmake/wine-run.sh "$out/mingw/cmake_client.exe"
        # The shipped tool beside the shipped DLL: status with the scanner's
        # descriptions, and a grab whose every point is written.
        cp "$sdk/bin/kelo.exe" "$out/mingw/"
        ./cmake/wine-run.sh "$out/mingw/kelo.exe" status "$address" >"$out/status.txt" \
            || fail "$package: kelo.exe status failed"
        grep -q '^0: 1001 (0x000003E9)  Serial number' "$out/status.txt" \
            || fail "$package: kelo.exe status printed: $(head -3 "$out/status.txt")"
        ./cmake/wine-run.sh "$out/mingw/kelo.exe" grab "$address" --count 300 >"$out/grab.csv" \
            || fail "$package: kelo.exe grab failed"
        [ "$(tr -d '\r' <"$out/grab.csv" | grep -c '^[0-9]')" = 60000 ] \
            || fail "$package: kelo.exe grab wrote $(wc -l <"$out/grab.csv") lines, not 300 profiles of 200 points"
    fi
    echo "$package: checked in $((SECONDS - start)) s ($route)"
}

check_sdk "$win32" win32 x86 "$(./cmake/wine-run.sh --route32)"
check_sdk "$win64" win64 x64 wine64

# --- .NET declarations with Mono against the Linux library ----------------
declared=$(sed -n 's/.*static extern [A-Za-z]* \(lp[A-Za-z0-9]*\)(.*/\1/p;s/.*EntryPoint = "\([^"]*\)".*/\1/p' \
           bindings/KeloDll.cs | sort -u)
missing=$(comm -23 <(sort -u "$native/kelo_dll.exports") <(echo "$declared"))
[ -z "$missing" ] || fail "bindings/KeloDll.cs lacks: $missing"
cc -I include tests/windows_sdk/record_sizes.c -o "$work/record_sizes"
mcs -nologo -warnaserror -out:"$work/KeloDllTest.exe" bindings/KeloDll.cs tests/windows_sdk/KeloDllTest.cs
# shellcheck disable=SC2046
LD_LIBRARY_PATH="$(realpath "$native/lib")" KELO_DLL_MAJOR_VERSION=${version%%.*} timeout 120 mono "$work/KeloDllTest.exe" "$address" 200 $("$work/record_sizes")
