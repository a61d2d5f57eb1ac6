#!/usr/bin/env bash
# Builds the Debian package (scripts/package.sh) and checks what it holds and
# that it works unpacked into a scratch folder: its files and fields, the
# desktop entry and metainfo validators, the manual pages, klt3-cli and klt3
# started from there, "Помощь" opening the installed guide, and the same tree
# from `cmake --install`.
#   bash scripts/package-test.sh
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/package.sh

failures=0
fail() { echo "FAILED: $*" >&2; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

arch=$(dpkg --print-architecture)
debs=(build-package/klt3_*_"$arch".deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { echo "FAILED: no single klt3_*_$arch.deb" >&2; exit 1; }
deb=${debs[0]}
version=$(dpkg-deb -f "$deb" Version)
[ "$(basename "$deb")" = "klt3_${version}_${arch}.deb" ] && pass "$(basename "$deb")" \
  || fail "file name $(basename "$deb") for version $version"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root=$work/root
dpkg-deb -x "$deb" "$root"
(cd "$root" && find . -type f | sed 's|^\./|/|' | sort) > "$work/files"

expected=(
  /usr/bin/klt3 /usr/bin/klt3-cli
  /usr/share/applications/klt3.desktop
  /usr/share/metainfo/ru.klt3.klt3.metainfo.xml
  /usr/share/man/man1/klt3.1.gz /usr/share/man/man1/klt3-cli.1.gz
  /usr/share/doc/klt3/index.html
)
for size in 16 24 32 48 64 128 256; do
  expected+=("/usr/share/icons/hicolor/${size}x${size}/apps/klt3.png")
done
for f in "${expected[@]}"; do
  grep -qxF "$f" "$work/files" || fail "missing from the package: $f"
done
for f in /usr/bin/klt3 /usr/bin/klt3-cli; do
  [ -x "$root$f" ] || fail "$f not executable"
done
# Every picture the guide shows is in the package.
grep -o 'src="pictures/[^"]*"' "$root/usr/share/doc/klt3/index.html" | sed 's/^src="//; s/"$//' \
  > "$work/guide-pictures"
[ -s "$work/guide-pictures" ] || fail "the guide shows no pictures"
while read -r p; do
  [ -f "$root/usr/share/doc/klt3/$p" ] || fail "guide picture missing: $p"
done < "$work/guide-pictures"
for size in 16 256; do
  file -b "$root/usr/share/icons/hicolor/${size}x${size}/apps/klt3.png" | grep -q "PNG image data, $size x $size" \
    || fail "icon ${size}x${size} is no $size-pixel PNG"
done
pass "$(wc -l < "$work/files") files"

# Nothing runs on install: no maintainer scripts beside control and md5sums.
scripts=$(dpkg-deb --ctrl-tarfile "$deb" | tar -t | grep -v -x -E '\./|\./control|\./md5sums' || true)
[ -z "$scripts" ] && pass "no maintainer scripts" || fail "maintainer scripts: $scripts"

depends=$(dpkg-deb -f "$deb" Depends)
for d in libqt6widgets6 libqt6serialport6 libqt6printsupport6 libgsf-1-114 libc6 \
         qt6-qpa-plugins fonts-liberation qt6-translations-l10n; do
  grep -qE "(^|, )$d( |,|$)" <<<"$depends" || fail "Depends lacks $d: $depends"
done
pass "Depends: $depends"

desktop=$root/usr/share/applications/klt3.desktop
if desktop-file-validate "$desktop"; then pass "desktop-file-validate"; else fail "desktop-file-validate"; fi
grep -qx 'Exec=klt3' "$desktop" || fail "desktop entry does not start klt3"
grep -qx 'Icon=klt3' "$desktop" || fail "desktop entry does not name the icon klt3"
if appstreamcli validate --no-net "$root/usr/share/metainfo/ru.klt3.klt3.metainfo.xml"; then
  pass "appstreamcli validate"
else
  fail "appstreamcli validate"
fi

# Plain text out (-P-cbou: no colours, no overstriking) to look for a heading.
for page in klt3 klt3-cli; do
  out=$(zcat "$root/usr/share/man/man1/$page.1.gz" | groff -k -man -Tutf8 -P-cbou -ww 2>&1 >"$work/$page.txt")
  if [ -n "$out" ]; then fail "$page(1) warns: $out"
  elif ! grep -q "^ОПИСАНИЕ" "$work/$page.txt"; then fail "$page(1) has no description"
  else pass "$page(1)"; fi
done

# The programs run from the unpacked tree, with settings of their own.
export XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/runtime
mkdir -p "$XDG_CONFIG_HOME" && mkdir -m 700 "$XDG_RUNTIME_DIR"
if "$root/usr/bin/klt3-cli" --help >"$work/cli.out" 2>"$work/cli.err" \
    && head -n 1 "$work/cli.out" | grep -q '^Использование: klt3-cli' && [ ! -s "$work/cli.err" ] \
    && "$root/usr/bin/klt3-cli" download --help | grep -q 'Считывает память прибора'; then
  pass "klt3-cli --help"
else
  fail "klt3-cli --help"; cat "$work/cli.out" "$work/cli.err" >&2
fi

# klt3 shows its splash for 3 s, then the main window; still running after
# 6 s (timeout's 124) with nothing on standard error is a good start. The
# offscreen platform's notice that it cannot pass size hints is no error.
set +e
QT_QPA_PLATFORM=offscreen timeout 6 "$root/usr/bin/klt3" >"$work/klt3.out" 2>"$work/klt3.err"
rc=$?
set -e
grep -v -x 'This plugin does not support propagateSizeHints()' "$work/klt3.err" >"$work/klt3.errors" || true
if [ $rc -eq 124 ] && [ ! -s "$work/klt3.errors" ] \
    && grep -q '^Default_dir=' "$XDG_CONFIG_HOME/Merilan/KLT3.conf"; then
  pass "klt3 started and was running after 6 s"
else
  fail "klt3 (exit code $rc, 124 expected)"; cat "$work/klt3.out" "$work/klt3.err" >&2
fi

# "Помощь" opens the installed guide: the window test of tests/shell/help,
# put where the package puts klt3, opens <prefix>/share/doc/klt3/index.html.
# It comes from the test build (build-test, as scripts/test.sh makes it).
helptest=build-test/tests/shell/help/shell_help_test
if [ ! -x "$helptest" ]; then
  [ -f build-test/build.ninja ] || cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=Debug
  cmake --build build-test --target shell_help_test
fi
cp "$helptest" "$root/usr/bin/"
if KLT3_EXPECTED_HELP=$(realpath "$root/usr/share/doc/klt3/index.html") \
    "$root/usr/bin/shell_help_test" --gtest_filter=HelpWindow.OpensTheHelpFoundForTheProgram \
    >"$work/help.out" 2>&1 && grep -q '^\[  PASSED  \] 1 test' "$work/help.out"; then
  pass "\"Помощь\" opens the installed guide"
else
  fail "\"Помощь\" with the guide installed"; cat "$work/help.out" >&2
fi
rm "$root/usr/bin/shell_help_test"

# `cmake --install` to another prefix gives the package's tree.
cmake --install build-package --prefix "$work/prefix" >/dev/null
(cd "$work/prefix" && find . -type f | sed 's|^\.|/usr|' | sort) > "$work/installed"
if diff -u "$work/files" "$work/installed"; then pass "cmake --install gives the same tree"; else fail "cmake --install tree differs"; fi

if [ $failures -ne 0 ]; then
  echo "package test: $failures failed" >&2
  exit 1
fi
echo "package test: all checks passed"
