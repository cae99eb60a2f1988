#!/usr/bin/env bash
# Checks the packages in build/packages as a user gets them, after
# `cmake --workflow --preset package` and `cmake --workflow --preset windows`: the Debian
# package's fields and files, its program unpacked into a scratch root and run on the worked
# example, and what the Windows zip holds.
set -euo pipefail
cd "$(dirname "$0")/.."

version=$(sed -n 's/^project(zorvanteli VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
deb=build/packages/zorvanteli_${version}_$(dpkg --print-architecture).deb
zip=build/packages/zorvanteli-${version}-win64.zip
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
passed=0 failed=0
for package in "$deb" "$zip"; do
  if [ ! -f "$package" ]; then
    echo "missing: $package (the package and windows workflows make it)"
    exit 1
  fi
done

check() {  # check WHAT ACTUAL EXPECTED
  if [ "$2" = "$3" ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    printf 'FAILED: %s\n  actual:   %q\n  expected: %q\n' "$1" "$2" "$3"
  fi
}

# The control fields; a static program depends on nothing.
check "deb fields" "$(dpkg-deb -f "$deb" Package Version Section Depends)" \
  "Package: zorvanteli
Version: $version
Section: math"
check "deb description" "$(dpkg-deb -f "$deb" Description | head -c 12)" "search for p"
check "deb maintainer" "$(dpkg-deb -f "$deb" Maintainer | grep -c '<.*@.*>')" "1"

# Its files, their modes and owners; directories aside.
check "deb files" "$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $1, $2, $6}' | sort -k3)" \
  "-rwxr-xr-x root/root ./usr/bin/zorvanteli
-rw-r--r-- root/root ./usr/share/bash-completion/completions/zorvanteli
-rw-r--r-- root/root ./usr/share/doc/zorvanteli/changelog.gz
-rw-r--r-- root/root ./usr/share/doc/zorvanteli/copyright
-rw-r--r-- root/root ./usr/share/lintian/overrides/zorvanteli
-rw-r--r-- root/root ./usr/share/man/man1/zorvanteli.1.gz"

root=$scratch/root
dpkg-deb -x "$deb" "$root"
check "deb licence" "$(cmp "$root/usr/share/doc/zorvanteli/copyright" LICENSE && echo same)" same
manual_page=$root/usr/share/man/man1/zorvanteli.1.gz
check "deb manual page" "$(gzip -dc "$manual_page" | cmp - doc/zorvanteli.1 && echo same)" same
check "deb completion" \
  "$(cmp "$root/usr/share/bash-completion/completions/zorvanteli" completions/zorvanteli && echo same)" same
check "deb completion of options" "$(bash -c 'source "$1"; COMP_WORDS=(zorvanteli --q); COMP_CWORD=1
  _zorvanteli; echo "${COMPREPLY[*]}"' - "$root/usr/share/bash-completion/completions/zorvanteli")" \
  "--quiet"
check "deb --version" "$("$root/usr/bin/zorvanteli" --version | head -n 1)" \
  "zorvanteli ${version%.*}"

# The worked example: from 10, three primes, then Enter, in a folder of its own.
mkdir "$scratch/run"
status=0
console=$(cd "$scratch/run" && printf '10\n3\n\n' | "$root/usr/bin/zorvanteli") || status=$?
check "worked example status" "$status" 0
check "worked example console" "${console: -45}" "
11
13
17

Done! Press enter to quit program."
check "arguments" "$(cd "$scratch/run" && "$root/usr/bin/zorvanteli" 10 3 | tr '\n' ' ')" "11 13 17 "
shopt -s nullglob
files=("$scratch/run"/*.txt)
check "worked example files" "${#files[@]}" 1
check "worked example result file" \
  "$(printf '11\n13\n17\n' | cmp - "${files[0]:-/dev/null}" && echo same)" same

# The zip: one folder with the program and the two texts.
check "zip entries" "$(cmake -E tar tf "$zip" | sort)" \
  "zorvanteli-$version-win64/LICENSE.txt
zorvanteli-$version-win64/README.txt
zorvanteli-$version-win64/zorvanteli.exe"
mkdir "$scratch/zip"
cmake -E chdir "$scratch/zip" cmake -E tar xf "$PWD/$zip"
unpacked=$scratch/zip/zorvanteli-$version-win64
# The README for Windows users, with CR LF line ends.
check "zip readme" "$(sed 's/$/\r/' doc/README-windows.txt | cmp - "$unpacked/README.txt" && echo same)" same
check "zip licence" "$(cmp "$unpacked/LICENSE.txt" LICENSE && echo same)" same
check "zip program" "$(head -c 2 "$unpacked/zorvanteli.exe")" MZ

echo "packages: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
