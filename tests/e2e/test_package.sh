#!/usr/bin/env bash
# The release packages of scripts/package, made from the existing builds
# (nothing is rebuilt): each archive holds exactly the listed files, its
# SHA256SUMS verifies and covers them all, README.txt is the user part of
# the README, the unpacked programs run (kestrel help; kestrel-report index
# on a report kestrel made against the simulator), natively and under Wine,
# and the Windows programs import only DLLs that come with Windows.
# Skipped without the Windows build or Wine.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/controller_lib.sh"

SOURCE=${KESTREL_SOURCE:-$(cd "$(dirname "$0")/../.." && pwd)}
BUILD=$(dirname "$KESTREL_BIN")
WIN_BUILD=${KESTREL_WIN_BUILD:-$SOURCE/build-win}
KESTREL_EXE=$WIN_BUILD/kestrel.exe
wine_setup
command -v unzip >/dev/null || { echo "SKIP: no unzip" >&2; exit 77; }
OBJDUMP=$(command -v x86_64-w64-mingw32-objdump || command -v objdump) ||
  { echo "SKIP: no objdump" >&2; exit 77; }

# The DLLs every Windows has; a static build needs nothing else.
system_dlls="advapi32.dll bcrypt.dll comdlg32.dll gdi32.dll iphlpapi.dll kernel32.dll
  msvcrt.dll netapi32.dll ntdll.dll ole32.dll oleaut32.dll pdh.dll psapi.dll shell32.dll
  shlwapi.dll user32.dll userenv.dll version.dll ws2_32.dll"

# same WHAT EXPECTED ACTUAL: passes when both texts are equal.
same() {
  if [ "$2" == "$3" ]; then ok; else fail "$1: expected [$2], got [$3]"; fi
}

# --------------------------------------------------------------- packaging
version=$("$KESTREL_BIN" help 2>/dev/null | sed -n 's/^Kestrel: Version \([^ ]*\) .*/\1/p')
check "the usage text prints a version" [ -n "$version" ]
KESTREL_BUILD=$BUILD KESTREL_WIN_BUILD=$WIN_BUILD "$SOURCE/scripts/package" --no-build \
  "$WORK/dist" >"$WORK/package.out" 2>"$WORK/package.err"
same "scripts/package status" 0 $?
win_name=kestrel-$version-win64
linux_name=kestrel-$version-linux-x86_64
zip=$WORK/dist/$win_name.zip
tgz=$WORK/dist/$linux_name.tar.gz
check "the Windows zip is named by the version" [ -f "$zip" ]
check "the Linux archive is named by the version" [ -f "$tgz" ]
same "scripts/package prints the archives" "$(printf '%s\n' "$tgz" "$zip" | sort)" \
  "$(sort "$WORK/package.out")"

# contents TOP EXE: the files an archive must hold under TOP/, sorted.
contents() {
  local licence component
  {
    echo "$1/kestrel$2"
    echo "$1/kestrel-report$2"
    echo "$1/README.txt"
    echo "$1/SHA256SUMS"
    for licence in "$SOURCE"/third_party/*/LICENSE*; do
      component=$(basename "$(dirname "$licence")")
      echo "$1/LICENSE-$component.txt"
    done
  } | sort
}
# Folder entries other than the top folder count as extra files.
same "the Windows zip holds only the listed files" "$(contents "$win_name" .exe)" \
  "$(unzip -Z1 "$zip" | grep -vxF "$win_name/" | sort)"
same "the Linux archive holds only the listed files" "$(contents "$linux_name" "")" \
  "$(tar tzf "$tgz" | grep -vxF -e "$linux_name/" -e "./" | sed 's|^\./||' | sort)"

mkdir "$WORK/win" "$WORK/linux"
unzip -q "$zip" -d "$WORK/win"
tar xzf "$tgz" -C "$WORK/linux"
win=$WORK/win/$win_name
linux=$WORK/linux/$linux_name

# sums_checks NAME DIR: SHA256SUMS verifies and names every other file.
sums_checks() {
  check "$1: SHA256SUMS verifies" bash -c "cd '$2' && sha256sum --quiet --strict -c SHA256SUMS"
  same "$1: SHA256SUMS covers every other file" \
    "$(find "$2" -mindepth 1 -maxdepth 1 ! -name SHA256SUMS -printf '%f\n' | sort)" "$(sed 's/^[0-9a-f]*  //' "$2/SHA256SUMS" | sort)"
}
sums_checks Windows "$win"
sums_checks Linux "$linux"

# readme_checks NAME FILE: the user sections are in, the developer ones out.
readme_checks() {
  local text
  text=$(tr -d '\r' <"$2")
  for heading in "Install from a release package" "Using kestrel" "Reading a report back: kestrel-report"; do
    check "$1 README.txt has \"$heading\"" grep -qxF "## $heading" <<<"$text"
  done
  for heading in "Set-up: two commands" "Building" "Layout" "Simulated controllers and the test kit"; do
    check "$1 README.txt leaves out \"$heading\"" none "^## $heading\$" <<<"$text"
  done
}
none() { ! grep -qE "$1"; }
readme_checks Windows "$win/README.txt"
readme_checks Linux "$linux/README.txt"
check "the Windows README.txt has Windows line ends" \
  [ "$(grep -c $'\r$' "$win/README.txt")" -eq "$(wc -l <"$win/README.txt")" ]
check "the Linux README.txt has Unix line ends" none $'\r' <"$linux/README.txt"
for licence in "$SOURCE"/third_party/*/LICENSE*; do
  component=$(basename "$(dirname "$licence")")
  same "Linux licence of $component" "$(cat "$licence")" "$(cat "$linux/LICENSE-$component.txt")"
  same "Windows licence of $component" "$(cat "$licence")" \
    "$(tr -d '\r' <"$win/LICENSE-$component.txt")"
done

# ------------------------------------------------------ the unpacked programs
KESTREL_BIN=$linux/kestrel
kestrel help
same "native kestrel help: first line" "Kestrel: Version $version" "$(head -n 1 "$WORK/out" | cut -d' ' -f1-3)"
kestrel -f sim1 -t 0 -c
same "native kestrel against the simulator: status" 0 "$rc"
mv "$WORK/out" "$WORK/report.out"
(cd "$WORK" && "$linux/kestrel-report" index report.out >"$WORK/index.native" 2>&1)
same "native kestrel-report index: status" 0 $?
check "native kestrel-report index: the header" grep -qF "Kestrel v$version" "$WORK/index.native"
check "native kestrel-report index: the controller" grep -qw sim1 "$WORK/index.native"

KESTREL_EXE=$win/kestrel.exe
wine_kestrel help
same "kestrel.exe help: first line" "Kestrel: Version $version" "$(head -n 1 "$WORK/out" | cut -d' ' -f1-3)"
(cd "$WORK" && wine "$win/kestrel-report.exe" index report.out 2>&1 | tr -d '\r' >"$WORK/index.wine")
same "kestrel-report.exe index: status" 0 "${PIPESTATUS[0]}"
same "kestrel-report.exe index: the same as the native one" "$(cat "$WORK/index.native")" \
  "$(cat "$WORK/index.wine")"

# --------------------------------------------------------- DLLs of Windows
for exe in kestrel.exe kestrel-report.exe; do
  dlls=$("$OBJDUMP" -p "$win/$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr '[:upper:]' '[:lower:]' | sort -u)
  check "$exe imports some DLL" [ -n "$dlls" ]
  for dll in $dlls; do
    check "$exe imports $dll, which is not a Windows system DLL" \
      grep -qxF -- "$dll" < <(tr -s ' \n' '\n' <<<"$system_dlls")
  done
done

finish
