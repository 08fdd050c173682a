#!/usr/bin/env bash
# The Windows SDK as it ships, from the builds of the steps before (build/
# native, build-win cross): the zip's contents, the MSVC import library and
# a client linked by lld-link against it, and the .NET declarations run
# with Mono against the Linux library and the emulator.
set -euo pipefail
native=${KELO_NATIVE_BUILD:-build}
win=${KELO_WINDOWS_BUILD:-build-win}
for dir in "$native" "$win"; do
    [ -d "$dir" ] || { echo "25-windows-sdk: $dir is missing (steps 10 and 20 build it)" >&2; exit 1; }
done
version=$(sed -n 's/^project(kelo_dll VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
zip="$win/packages/kelo_dll-$version-win32.zip"
work=$(mktemp -d)
emulator_pid=""
cleanup() {
    if [ -n "$emulator_pid" ]; then kill "$emulator_pid" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "25-windows-sdk: $*" >&2; exit 1; }

# --- the zip ---------------------------------------------------------------
(cd "$win" && cpack -G ZIP >/dev/null)
[ -f "$zip" ] || fail "cpack made no $zip"
top="kelo_dll-$version-win32"
unzip -Z1 "$zip" | grep -v '/$' | sed "s|^$top/||" | sort >"$work/files"
{
    printf '%s\n' README-windows.txt bin/kelo_dll.dll bin/kelo.exe bin/kelo-scanner-emulator.exe \
        lib/kelo_dll.lib lib/libkelo_dll.dll.a lib/pkgconfig/kelo_dll.pc bindings/KeloDll.cs
    (cd include && find . -name '*.h' -o -name '*.hpp' | sed 's|^\./|include/|')
    for file in Config ConfigVersion Targets Targets-release; do echo "lib/cmake/kelo_dll/kelo_dll$file.cmake"; done
} | sort >"$work/expected"
diff -u "$work/expected" "$work/files" || fail "the zip holds other files than expected"
unzip -q "$zip" -d "$work"
sdk="$work/$top"

objdump=i686-w64-mingw32-objdump
allowed='^(KERNEL32|msvcrt|WS2_32|OLEAUT32|USER32|ADVAPI32)\.dll$'
for binary in bin/kelo_dll.dll bin/kelo.exe bin/kelo-scanner-emulator.exe; do
    headers=$($objdump -h "$sdk/$binary")
    if grep -q ' \.debug_' <<<"$headers"; then fail "$binary has debug sections"; fi
    [ "$(i686-w64-mingw32-nm "$sdk/$binary" 2>&1)" = "i686-w64-mingw32-nm: $sdk/$binary: no symbols" ] \
        || fail "$binary keeps a symbol table"
    private=$($objdump -p "$sdk/$binary")
    grep -Eq 'MajorOSystemVersion[[:space:]]+6$' <<<"$private" || fail "$binary: OS version is not 6.0"
    grep -Eq 'MajorSubsystemVersion[[:space:]]+6$' <<<"$private" || fail "$binary: subsystem version is not 6.0"
    imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$private")
    [ "$binary" = bin/kelo_dll.dll ] || imports=$(grep -v '^kelo_dll\.dll$' <<<"$imports")
    bad=$(grep -Ev "$allowed" <<<"$imports" || true)
    [ -z "$bad" ] || fail "$binary imports non-system DLLs: $bad"
done
cmake -DOBJDUMP=$objdump -DDLL="$sdk/bin/kelo_dll.dll" -DEXPECTED="$win/kelo_dll.exports" \
      -P cmake/CheckExports.cmake >/dev/null

# VERSIONINFO as Windows reads it: fixed file and product version 3865.0.0.0.
resources=$(llvm-readobj-14 --coff-resources "$sdk/bin/kelo_dll.dll")
grep -q 'Type: VERSION' <<<"$resources" || fail "kelo_dll.dll has no version resource"
strings -el "$sdk/bin/kelo_dll.dll" | tr '\n' ' ' >"$work/version"
for field in "FileVersion $version" "ProductVersion $version" "OriginalFilename kelo_dll.dll" \
             "ProductName kelo_dll"; do
    grep -q "$field" "$work/version" || fail "version resource lacks '$field'"
done

# kelo_dll.lib: the decorated export by its exact name, every other one by
# its plain name from the caller's __stdcall symbol.
members=$(llvm-readobj-14 "$sdk/lib/kelo_dll.lib" | grep -A4 '^Format: COFF-import-file' \
          | sed -n 's/^Name type: //p;s/^Symbol: \(_[^_].*\)/\1/p' | paste - -)
[ "$(wc -l <<<"$members")" = "$(grep -c . "$win/kelo_dll.exports")" ] \
    || fail "kelo_dll.lib does not hold one import per export"
grep -qx $'name\t_lpBeginSendParametersToScanner@8' <<<"$members" \
    || fail "kelo_dll.lib: _lpBeginSendParametersToScanner@8 is not imported by its exact name"
others=$(grep -v $'\t_lpBeginSendParametersToScanner@8$' <<<"$members" | cut -f1 | sort -u)
[ "$others" = undecorate ] || fail "kelo_dll.lib: plain exports not all undecorated ($others)"
echo "zip: $(basename "$zip"), $(stat -c %s "$zip") bytes; kelo_dll.dll $(stat -c %s "$sdk/bin/kelo_dll.dll") bytes"
sed 's/^/  /' "$work/files"

# --- an MSVC-style client: clang for i686-pc-windows-msvc, lld-link --------
client="$work/msvc_client.exe"
clang-14 --target=i686-pc-windows-msvc -ffreestanding -fno-builtin -O1 -Wall -Wextra -Werror \
    -I"$sdk/include" -c tests/windows_sdk/msvc_client.c -o "$work/msvc_client.obj"
printf 'LIBRARY kernel32.dll\nEXPORTS\n    ExitProcess@4\n    GetStdHandle@4\n    WriteFile@20\n    GetCommandLineA@0\n' \
    >"$work/kernel32.def"
llvm-dlltool-14 -m i386 -k -d "$work/kernel32.def" -l "$work/kernel32.lib"
lld-link-14 /nologo /machine:x86 /subsystem:console,6.0 /entry:clientMain /nodefaultlib \
    /out:"$client" "$work/msvc_client.obj" "$sdk/lib/kelo_dll.lib" "$work/kernel32.lib"
client_imports=$($objdump -p "$client")
for name in _lpBeginSendParametersToScanner@8 lpOpenConnection lpOverrideScanWindow lpCloseConnection; do
    grep -Eq "[[:space:]]$name\$" <<<"$client_imports" || fail "the client does not import $name"
done

# Emulators for the client and the .NET test, on an address of their own.
address=127.25.$((RANDOM % 200 + 20)).$((RANDOM % 200 + 20))
"$native/bin/kelo-scanner-emulator" --bind "$address" --points 200 --seconds 300 >"$work/emulator.log" 2>&1 &
emulator_pid=$!
for _ in $(seq 50); do
    (exec 3<>"/dev/tcp/$address/24334") 2>/dev/null && break
    sleep 0.1
done

if wine --version >/dev/null 2>&1; then
    cp "$sdk/bin/kelo_dll.dll" "$work/"
    export WINEPREFIX="$(realpath "$win")/wineprefix" WINEDEBUG=-all
    ./cmake/wine-run.sh "$client" "$address"
else
    echo "NOTICE: this machine cannot run 32-bit programs (wine --version fails):" \
         "the lld-linked client is built and its imports checked, but not run" >&2
fi

# --- .NET declarations with Mono against the Linux library ----------------
declared=$(sed -n 's/.*static extern [A-Za-z]* \(lp[A-Za-z0-9]*\)(.*/\1/p;s/.*EntryPoint = "\([^"]*\)".*/\1/p' \
           bindings/KeloDll.cs | sort -u)
missing=$(comm -23 <(sort -u "$native/kelo_dll.exports") <(echo "$declared"))
[ -z "$missing" ] || fail "bindings/KeloDll.cs lacks: $missing"
cc -I include tests/windows_sdk/record_sizes.c -o "$work/record_sizes"
mcs -nologo -warnaserror -out:"$work/KeloDllTest.exe" bindings/KeloDll.cs tests/windows_sdk/KeloDllTest.cs
# shellcheck disable=SC2046
LD_LIBRARY_PATH="$(realpath "$native/lib")" timeout 120 mono "$work/KeloDllTest.exe" "$address" 200 $("$work/record_sizes")
