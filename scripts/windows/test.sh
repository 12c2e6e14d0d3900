#!/bin/sh
# Builds the Windows version (scripts/windows/build.sh), signed with a
# certificate made for this run alone, and tries it under Wine on a private
# Xvfb: the unit tests, the minimise box on the windows platform, what
# Windows reads from brimlet.exe (its version, manifest and icon, from the
# file and through Windows' own functions), the signatures, names written by
# 7z.exe in a Russian and a Greek locale as Python's zipfile reads them, the
# SVG plugin against Debian's, the per-user installer (install, an upgrade
# over an older build, a refusal while Brimlet runs, a second copy, a drag of
# the window's edge, the process ending with its window, uninstall), the MSI
# through msiexec (a silent install for all users, an upgrade, the Start
# menu's icon, the program it installed, a lower version refused, uninstall),
# and the road through a real window: files chosen in the file dialog, one
# renamed, compressed by the Windows 7z.exe, checked byte for byte with
# Linux's 7-Zip; then a cancelled run that must leave nothing behind. Prints
# "N passed, N failed" last.
#   scripts/windows/test.sh [--no-build] [--screenshot docs/windows.png]
# With --no-build it tries build-windows/ as it is, and leaves out the
# signatures, which only its own build's certificate can check.
set -u
cd "$(dirname "$0")/../.."
root=$(pwd)
build=$root/build-windows
build_first=yes screenshot=""
while [ $# -gt 0 ]; do
    case $1 in
        --no-build) build_first="" ;;
        --screenshot) screenshot=$root/$2; shift ;;
    esac
    shift
done
./scripts/windows/install-deps.sh
./scripts/install-deps.sh
version=$(sed -n 's/^project(Brimlet VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)

# A throwaway certificate, self-signed, made here and trusted by nothing but
# this run's checks; its password is random. Nothing of it outlives the run.
signing=$(mktemp -d /tmp/brimlet-signing.XXXXXX)
trap 'rm -rf "$signing"' EXIT
if [ -n "$build_first" ]; then
    openssl rand -hex 24 >"$signing/password"
    openssl req -x509 -newkey rsa:3072 -nodes -days 2 -subj "/CN=Brimlet test signing $(date +%s)" \
        -addext extendedKeyUsage=codeSigning -keyout "$signing/key.pem" -out "$signing/certificate.pem" \
        2>"$signing/openssl.log" \
        && openssl pkcs12 -export -inkey "$signing/key.pem" -in "$signing/certificate.pem" \
            -out "$signing/brimlet.p12" -passout "file:$signing/password" 2>>"$signing/openssl.log" \
        || { cat "$signing/openssl.log" >&2; exit 1; }
    rm "$signing/key.pem"
    BRIMLET_SIGN_PKCS12=$signing/brimlet.p12 BRIMLET_SIGN_PASSWORD=$(cat "$signing/password") \
        ./scripts/windows/build.sh || exit 1
fi

# Tests that cannot run on Windows, each with its reason. Tests whose fake
# archivers are still shell scripts cannot run them there (Wine waits on them
# for ever); they run as soon as their fakes are programs.
SKIPPED=""
for name in tst_archivejob tst_compression; do
    grep -qs 'writeScript' "tests/$name.cpp" \
        && SKIPPED="$SKIPPED
$name: its fake archivers are shell scripts, which Windows cannot run"
done

rm -f "$build"/failed-*.png
work=$(mktemp -d /tmp/brimlet-wine.XXXXXX)
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Wine mirrors its Start menu into the desktop's menus (winemenubuilder):
# into the test's own folders, where the shortcuts' icons are looked at.
export XDG_DATA_HOME="$work/xdg/data" XDG_CONFIG_HOME="$work/xdg/config"
unset QT_QPA_PLATFORM
passed=0 failed=0

finish() {
    wineserver -k 2>/dev/null
    [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null
    rm -rf "$work" "$signing"
}
trap finish EXIT
trap 'exit 130' INT TERM

log() { printf '%s %s\n' "$(date +%H:%M:%S)" "$*"; }
pass() { passed=$((passed + 1)); log "PASS $1"; }
fail() { # what why -- keeps a picture of the screen for a failure in a window
    failed=$((failed + 1)); log "FAIL $1${2:+: $2}"
    [ -n "${DISPLAY:-}" ] && import -window root "$build/failed-$failed.png" 2>/dev/null \
        && log "     the screen then: $build/failed-$failed.png"
}
win() { winepath -w "$1" 2>/dev/null; }
# Waits up to $1 seconds for the command after it to succeed.
wait_for() {
    deadline=$(($(date +%s) + $1)); shift
    until "$@" >/dev/null 2>&1; do
        [ "$(date +%s)" -ge "$deadline" ] && return 1
        sleep 0.2
    done
}

Xvfb -displayfd 3 -screen 0 1280x900x24 -nolisten tcp -noreset 3>"$work/display" 2>/dev/null &
xvfb=$!
wait_for 20 test -s "$work/display" || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(cat "$work/display")"
log "setting up a Wine prefix"
wineboot -i >/dev/null 2>&1
wineserver -w

# --- unit tests --------------------------------------------------------------
# Wine does not hand QT_* variables to Windows programs, and a program without
# a console writes its results only to a file: hence cmd's "set" and -o.
for exe in "$build"/tst_*.exe; do
    name=$(basename "$exe" .exe)
    reason=$(echo "$SKIPPED" | sed -n "s/^$name: //p")
    if [ -n "$reason" ]; then
        log "SKIP $name: $reason"
        continue
    fi
    rm -f "$build/$name.txt"
    (cd "$build" && timeout 600 wine cmd /c "set QT_QPA_PLATFORM=offscreen&& $name.exe -o $name.txt,txt" >/dev/null 2>&1)
    status=$?
    totals=$(grep '^Totals:' "$build/$name.txt" 2>/dev/null)
    if [ $status -eq 0 ] && [ -n "$totals" ]; then
        pass "$name ($totals)"
    else
        fail "$name" "exit $status, ${totals:-no results}"
        grep -A 3 '^FAIL!' "$build/$name.txt" 2>/dev/null | sed 's/^/    /'
    fi
done

# The minimise box is a style of the real window, which offscreen has not.
(cd "$build" && timeout 120 wine tst_frame.exe taskbarCanMinimizeTheWindow -o tst_frame-windows.txt,txt >/dev/null 2>&1)
status=$?
if [ $status -eq 0 ] && grep -q '^PASS   : TestFrame::taskbarCanMinimizeTheWindow()' "$build/tst_frame-windows.txt"; then
    pass "the frameless window has the minimise box (tst_frame on the windows platform)"
else
    fail "the minimise box (tst_frame on the windows platform)" "exit $status, $(grep -m 1 -A 2 '^\(FAIL\|SKIP\)' "$build/tst_frame-windows.txt" 2>/dev/null | tr '\n' ' ')"
fi

# --- what Windows reads from brimlet.exe ---------------------------------------
# Its version resource (the project's version, which the installers carry
# too), its manifest and its icon: read from the file by Python's pefile, and
# by Windows' own functions under Wine (exe-info.exe, built here). Each must
# show every line below.
program_exe=$build/deploy/Brimlet/brimlet.exe
expected_resources="fixed-file-version: $version.0
fixed-product-version: $version.0
ProductName: Brimlet
FileDescription: Brimlet
FileVersion: $version
ProductVersion: $version
manifest: read
dpiAware: true/pm
dpiAwareness: PerMonitorV2
longPathAware: true
supportedOS: {8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}
requestedExecutionLevel: asInvoker
icons: 1"
lacking() { # expected-lines output -> the expected lines the output lacks
    echo "$1" | while IFS= read -r line; do
        printf '%s\n' "$2" | grep -qxF "$line" || printf '[%s] ' "$line"
    done
}
read_back=$(/usr/bin/python3 scripts/windows/pe-resources.py "$program_exe" --icon "$build/brimlet.ico" 2>&1)
missing=$(lacking "$expected_resources
icon-sizes: 256x256 64x64 48x48 40x40 32x32 24x24 20x20 16x16
icon: same as $build/brimlet.ico" "$read_back")
if [ -z "$missing" ]; then
    pass "brimlet.exe as read from the file: version $version, the manifest (Windows 10/11, per-monitor v2, long paths, asInvoker), its icon at 16 to 256 pixels"
else
    fail "brimlet.exe's resources as read from the file" "missing $missing; read: $(echo "$read_back" | tr '\n' '|')"
fi

if x86_64-w64-mingw32-gcc -municode -O1 -o "$work/exe-info.exe" scripts/windows/exe-info.c \
        -lversion -lshell32 -lgdi32 2>"$work/exe-info.log"; then
    read_back=$(wine "$work/exe-info.exe" "$(win "$program_exe")" 2>/dev/null | tr -d '\r')
    missing=$(lacking "$expected_resources
icon-32: 32x32
icon-256: 256x256" "$read_back")
    if [ -z "$missing" ]; then
        pass "brimlet.exe as Windows reads it under Wine: the same version, manifest settings and supported system, its icon at 32 and 256 pixels"
    else
        fail "brimlet.exe as Windows reads it under Wine" "missing $missing; read: $(echo "$read_back" | tr '\n' '|')"
    fi
else
    fail "building exe-info.exe" "$(head -n 3 "$work/exe-info.log")"
fi

setup_exe=$build/Brimlet-Setup-$version.exe msi_package=$build/Brimlet-$version.msi
setup_version=$(/usr/bin/python3 scripts/windows/pe-resources.py "$setup_exe" 2>&1 | sed -n 's/^ProductVersion: //p')
msi_version=$(msiinfo export "$msi_package" Property 2>/dev/null | tr -d '\r' | sed -n 's/^ProductVersion\t//p')
if [ "$setup_version" = "$version" ] && [ "$msi_version" = "$version" ]; then
    pass "the per-user installer and the MSI carry brimlet.exe's version, $version"
else
    fail "the installers' versions" "the program $version, the installer '$setup_version', the MSI '$msi_version'"
fi

# --- signatures -------------------------------------------------------------------
# Each signature checked against the run's own certificate as the one trusted
# root; the uninstaller's once the installer has written it out (below).
signed_by_us() { # file
    osslsigncode verify -CAfile "$signing/certificate.pem" -in "$1" >"$work/verify.log" 2>&1 \
        && grep -q '^Succeeded' "$work/verify.log" \
        && grep -qF "Subject: $(openssl x509 -noout -subject -nameopt compat -in "$signing/certificate.pem" | sed 's/^subject=//')" "$work/verify.log"
}
if [ -n "$build_first" ]; then
    unsigned=""
    for file in "$program_exe" "$setup_exe" "$msi_package"; do
        signed_by_us "$file" || unsigned="$unsigned $(basename "$file") ($(grep -m 1 -i 'fail\|error\|no signature' "$work/verify.log"))"
    done
    if [ -z "$unsigned" ]; then
        pass "brimlet.exe, the per-user installer and the MSI carry valid signatures by the run's certificate"
    else
        fail "signatures" "not signed by the run's certificate:$unsigned"
    fi
else
    log "SKIP signatures: --no-build tries the build as it is, not one signed by this run"
fi
# Without a certificate, nothing is signed and the build says so.
cp "$program_exe" "$work/unsigned.exe"
if said=$(env -u BRIMLET_SIGN_PKCS12 -u BRIMLET_SIGN_PASSWORD ./scripts/windows/sign.sh "$work/unsigned.exe" 2>&1) \
        && cmp -s "$program_exe" "$work/unsigned.exe" && echo "$said" | grep -q '^unsigned: unsigned.exe'; then
    pass "without a certificate the signing step leaves the file as it is and says \"unsigned\""
else
    fail "the signing step without a certificate" "it said '$said'"
fi

# --- names as the user typed them, in a Russian and a Greek locale -----------
# The Windows 7-Zip stores a name that fits the DOS code page of the system's
# locale in that code page, unless told otherwise. The program's own run of
# 7z.exe (tst_archivejob --pack: its job and its arguments) packs a file named
# in the locale's language; Python's zipfile reads the names back as any
# other computer would.
names_read_back() { # locale file-name
    folder=$drive_c/names/$1
    mkdir -p "$folder"
    printf 'text\n' >"$folder/$2"
    (cd "$build" && LANG=$1 LC_ALL=$1 timeout 120 wine tst_archivejob.exe --pack "C:\\names\\$1\\out.zip" "C:\\names\\$1\\$2" \
        >"$work/pack.log" 2>&1) || { echo "the run failed: $(tail -n 3 "$work/pack.log" | tr -d '\r')"; return 1; }
    read_back=$(PYTHONIOENCODING=utf-8 python3 -c 'import sys, zipfile; print("|".join(zipfile.ZipFile(sys.argv[1]).namelist()))' "$folder/out.zip") \
        || { echo "zipfile cannot read the archive"; return 1; }
    [ "$read_back" = "$2" ] || { echo "read back as '$read_back'"; return 1; }
}
drive_c=$WINEPREFIX/drive_c
for pair in "ru_RU.UTF-8|Отчёт за год.txt" "el_GR.UTF-8|Ελληνικά.txt"; do
    locale=${pair%%|*} name=${pair#*|}
    if outcome=$(names_read_back "$locale" "$name"); then pass "$locale: '$name' reads back as it was named"
    else fail "$locale: the name '$name'" "$outcome"; fi
done

# --- the SVG plugin draws as Debian's does ----------------------------------
mkdir -p "$work/svg/linux" "$work/svg/windows"
svgs="$root/resources/*.svg $root/dist/brimlet.svg"
if g++ -O1 -fPIC -o "$work/svg/svgrender" "$root/scripts/windows/qsvg/svgrender.cpp" \
        $(pkg-config --cflags --libs Qt6Gui) 2>"$work/svg/g++.log"; then
    differing=""
    for size in 16 48 128; do
        # shellcheck disable=SC2086
        QT_QPA_PLATFORM=offscreen "$work/svg/svgrender" "$work/svg/linux" $size $svgs 2>/dev/null
        winsvgs=$(for f in $svgs; do printf '%s\n' "$(win "$f")"; done)
        # shellcheck disable=SC2086
        (cd "$build" && IFS='
' && wine svgrender.exe "$(win "$work/svg/windows")" $size $winsvgs >/dev/null 2>&1)
        for png in "$work/svg/linux/"*.png; do
            other="$work/svg/windows/$(basename "$png")"
            pixels=$(compare -metric AE "$png" "$other" null: 2>&1)
            [ "$pixels" = 0 ] || differing="$differing $(basename "$png" .png)@$size:${pixels}px"
        done
    done
    if [ -z "$differing" ]; then pass "qsvg.dll draws the SVGs as Debian's plugin does"
    else fail "qsvg.dll draws differently from Debian's plugin" "$differing"; fi
else
    fail "building the Linux SVG renderer" "$(head -n 3 "$work/svg/g++.log")"
fi

# --- windows on the virtual screen --------------------------------------------
# There is no window manager: each top-level window is an X window where the
# program put it, named by its title. xdotool needs the pointer moved, and a
# pause, before a click.
visible_window() {
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | tail -n 1)
    [ -n "$id" ] && echo "$id"
}
window_with_title() { # title seconds -> window id
    wait_for "$2" visible_window "$1" && visible_window "$1"
}
origin() { # window -> "x y"
    X=0 Y=0
    eval "$(xdotool getwindowgeometry --shell "$1" 2>/dev/null)"
    echo "$X $Y"
}
click() { # window x y (relative to the window)
    set -- $(origin "$1") "$2" "$3"
    xdotool mousemove $(($1 + $3)) $(($2 + $4)) sleep 0.3 click 1
}
not_running() { # a zombie too: its parent waits on a subshell meanwhile
    state=$(ps -o stat= -p "$1" 2>/dev/null)
    [ -z "$state" ] || [ "${state#Z}" != "$state" ]
}
not_there() { ! test -e "$1"; }
gone() { ! xdotool search --onlyvisible --name '.*' 2>/dev/null | grep -qx "$1"; }
# A window just mapped may not take a click yet: the title bar's cross (50
# pixels in from the right edge) is clicked again until the window is gone.
closes_by_cross() { # window
    for attempt in 1 2 3 4 5; do
        WIDTH=980
        eval "$(xdotool getwindowgeometry --shell "$1" 2>/dev/null)"
        click "$1" $((WIDTH - 50)) 36
        wait_for 6 gone "$1" && return 0
    done
    return 1
}

# --- the installer: per user, an upgrade, a refusal while Brimlet runs ----------
# Where Windows keeps the user's own programs and Start menu.
folder_of() { winepath -u "$(wine cmd /c echo "%$1%" 2>/dev/null | tr -d '\r')" 2>/dev/null; }
installed="$(folder_of LOCALAPPDATA)/Programs/Brimlet"
menu="$(folder_of APPDATA)/Microsoft/Windows/Start Menu/Programs/Brimlet.lnk"
uninstall_keys='Software\Microsoft\Windows\CurrentVersion\Uninstall'
key="HKCU\\$uninstall_keys\\Brimlet"
# Brimlet's entries in "Apps", the user's and the machine's.
entries() {
    for hive in HKCU HKLM; do
        wine reg query "$hive\\$uninstall_keys" /s /reg:64 2>/dev/null
    done | tr -d '\r' | grep -c 'DisplayName *REG_SZ *Brimlet$'
}
installed_version() {
    wine reg query "$key" /v DisplayVersion /reg:64 2>/dev/null | tr -d '\r' | sed -n 's/.*REG_SZ *//p'
}
# The installed files and what is in them.
snapshot() { (cd "$installed" 2>/dev/null && find . -type f -exec md5sum {} + | sort); }
# Wine mirrors a new shortcut into the desktop's menu in the background,
# reading the shortcut and the program it names. A file Wine is asked to
# delete while that reader holds it goes only when the reader lets go, and
# then whatever stands at its path goes: the next install's shortcut or
# program. Windows has no such reader, so each install waits for it here.
menus_built() { ! pgrep -f 'winemenubuilder\.exe' >/dev/null; }
setup() { # installer arguments...: its exit code
    timeout 120 wine "$@" >/dev/null 2>&1
    set -- $?
    wait_for 60 menus_built
    return "$1"
}
# What of an install is not as it should be.
install_faults() { # folder shortcut expected-brimlet.exe
    [ -f "$2" ] || printf 'no shortcut; '
    cmp -s "$1/brimlet.exe" "$3" || printf 'brimlet.exe not the one built; '
    [ -f "$1/uninstall.exe" ] || printf 'no uninstall.exe; '
    [ -e "$1/old-only.txt" ] && printf "the old version's own file; "
}

# An older build to upgrade from: the same program as version 0.9.0, with a
# file that only it has.
mkdir -p "$work/old"
cp -r "$build/deploy/Brimlet" "$work/old/"
printf 'only the old version has this\n' >"$work/old/Brimlet/old-only.txt"
./scripts/windows/make-installer.sh "$work/old/Brimlet" 0.9.0 "$work/old/Brimlet-Setup-0.9.0.exe"
setup "$work/old/Brimlet-Setup-0.9.0.exe" /S
status=$?
if [ $status -eq 0 ] && [ -f "$installed/brimlet.exe" ] && [ -f "$installed/util/7z.exe" ] \
        && [ -f "$installed/uninstall.exe" ] && [ -f "$installed/old-only.txt" ] && [ -f "$menu" ] \
        && [ "$(installed_version)" = 0.9.0 ] && [ "$(entries)" = 1 ] \
        && [ ! -e "$WINEPREFIX/drive_c/Program Files/Brimlet" ]; then
    pass "the installer installs for the user: the program in %LOCALAPPDATA%\\Programs\\Brimlet, the user's Start menu, an entry under HKCU"
else
    fail "per-user install" "exit $status, version '$(installed_version)', $(entries) entries, in the folder: $(ls "$installed" 2>&1 | tr '\n' ' ')"
fi

setup "$build/Brimlet-Setup-$version.exe" /S
status=$?
if [ $status -eq 0 ] && [ ! -e "$installed/old-only.txt" ] && cmp -s "$installed/brimlet.exe" "$build/deploy/Brimlet/brimlet.exe" \
        && [ -f "$installed/uninstall.exe" ] && [ -f "$menu" ] \
        && [ "$(installed_version)" = "$version" ] && [ "$(entries)" = 1 ]; then
    pass "an upgrade removes the old version first: its own file is gone, one entry in Apps, version $version"
else
    fail "the upgrade over 0.9.0" "exit $status, $(install_faults "$installed" "$menu" "$build/deploy/Brimlet/brimlet.exe")version '$(installed_version)', $(entries) entries, in the folder: $(ls "$installed" 2>&1 | tr '\n' ' ')"
fi

if [ -n "$build_first" ]; then
    if signed_by_us "$installed/uninstall.exe"; then
        pass "the uninstaller the installer wrote out is signed by the run's certificate"
    else
        fail "the uninstaller's signature" "$(grep -m 1 -i 'fail\|error\|no signature' "$work/verify.log")"
    fi
fi

(cd "$installed" 2>/dev/null && exec wine brimlet.exe >"$work/installed.log" 2>&1) &
program=$!
if window=$(window_with_title Brimlet 90); then
    # While it runs, the installer refuses and changes nothing: silently
    # with exit code 2; with its pages, in a message box, until Cancel.
    before=$(snapshot)
    setup "$build/Brimlet-Setup-$version.exe" /S
    silent=$?
    (wine "$build/Brimlet-Setup-$version.exe" >/dev/null 2>&1; echo $? >"$work/setup-status") &
    if refusal=$(window_with_title "Brimlet Setup" 60); then
        xdotool key --window "$refusal" Escape
        wait_for 30 test -s "$work/setup-status"
    fi
    setup "$installed/uninstall.exe" /S "_?=$(win "$installed")"
    uninstall=$?
    if [ $silent = 2 ] && [ -n "$refusal" ] && [ "$(cat "$work/setup-status" 2>/dev/null)" = 2 ] \
            && [ $uninstall = 2 ] && [ "$(snapshot)" = "$before" ] && [ "$(installed_version)" = "$version" ]; then
        pass "while Brimlet runs, the installer and the uninstaller refuse (exit 2, a message box with its pages) and change nothing"
    else
        fail "refusing while Brimlet runs" "silent exit $silent, box '${refusal}', with pages exit $(cat "$work/setup-status" 2>/dev/null), uninstaller exit $uninstall, files $([ "$(snapshot)" = "$before" ] && echo unchanged || echo changed)"
    fi

    # A second copy runs beside the first.
    (cd "$installed" && exec wine brimlet.exe >"$work/second.log" 2>&1) &
    second=$!
    two_windows() { [ "$(xdotool search --onlyvisible --name '^Brimlet$' 2>/dev/null | wc -l)" -ge 2 ]; }
    if wait_for 90 two_windows && second_window=$(xdotool search --onlyvisible --name '^Brimlet$' | grep -vx "$window" | tail -n 1) \
            && closes_by_cross "$second_window" && wait_for 30 not_running "$second"; then
        pass "a second copy of Brimlet runs beside the first and ends by its cross"
    else
        fail "a second copy of Brimlet" "$(tail -n 3 "$work/second.log")"
    fi
    kill -9 "$second" 2>/dev/null

    # The edges resize the frameless window that has the minimise box.
    eval "$(xdotool getwindowgeometry --shell "$window")"
    width=$WIDTH height=$HEIGHT
    xdotool mousemove $((X + WIDTH - 2)) $((Y + HEIGHT / 2)) sleep 0.5 mousedown 1 sleep 0.3 \
        mousemove $((X + WIDTH + 30)) $((Y + HEIGHT / 2)) sleep 0.3 \
        mousemove $((X + WIDTH + 58)) $((Y + HEIGHT / 2)) sleep 0.3 mouseup 1
    sleep 1
    eval "$(xdotool getwindowgeometry --shell "$window")"
    if [ "$WIDTH" -ge $((width + 50)) ] && [ "$HEIGHT" = "$height" ]; then
        pass "a drag of the window's right edge resizes it (${width}x$height to ${WIDTH}x$HEIGHT)"
    else
        fail "resizing by the right edge" "${width}x$height became ${WIDTH}x$HEIGHT"
    fi

    closes_by_cross "$window" && wait_for 30 not_running "$program"
    ended=$?
else
    fail "the installed program opens its window" "$(tail -n 5 "$work/installed.log")"
    ended=1
fi
kill -9 "$program" 2>/dev/null

# The process ends with its window. It used to stay, now and then, for good:
# a start-up thread of the MinGW build that ended after Qt had matched a
# regular expression on it left the threads library's key lock taken, and
# the exit waited for it. That happened in about one run of three, so the
# program is opened and closed a few more times.
cycles=1
while [ $ended = 0 ] && [ $cycles -lt 5 ]; do
    (cd "$installed" && exec wine brimlet.exe >"$work/installed.log" 2>&1) &
    program=$!
    window=$(window_with_title Brimlet 90) && closes_by_cross "$window" && wait_for 30 not_running "$program"
    ended=$?
    kill -9 "$program" 2>/dev/null
    cycles=$((cycles + 1))
done
if [ $ended = 0 ]; then
    pass "the installed program closes by its title bar's cross and its process ends, $cycles times out of $cycles"
else
    fail "the installed program's cross and its process" "run $cycles: the window stayed, or the process was still there 30 s after its window closed"
fi

wine "$installed/uninstall.exe" /S >/dev/null 2>&1
# The uninstaller goes on from a copy of itself in the temporary folder.
if wait_for 60 not_there "$installed" && [ ! -e "$menu" ] && [ "$(entries)" = 0 ]; then
    pass "the uninstaller removes the program, its folder, the Start-menu shortcut and the entry in Apps"
else
    fail "uninstall" "left: $(find "$installed" "$menu" 2>/dev/null | head -n 5 | tr '\n' ' ') $(entries) entries"
fi
# A process that stayed must not hold the test up for good.
timeout 120 wineserver -w

# --- the MSI: for all users, silently, an upgrade, uninstall ---------------------
# What an administrator runs: msiexec /i <package> /qn, /x to remove it.
# The older package is the older build above (version 0.9.0, a file of its
# own), made into an MSI with the same script.
program_files="$(folder_of ProgramW6432)/Brimlet"
common_menu="$(folder_of ProgramData)/Microsoft/Windows/Start Menu/Programs/Brimlet.lnk"
# Windows puts the shortcut into the Start menu of all users; Wine's msi
# puts it into the user's (its ProgramMenuFolder is always the user's).
msi_shortcut() {
    for lnk in "$common_menu" "$menu"; do [ -f "$lnk" ] && echo "$lnk"; done
}
msi_entry_version() { # the DisplayVersion of the machine's entry named Brimlet
    wine reg query "HKLM\\$uninstall_keys" /s /reg:64 2>/dev/null | tr -d '\r' | awk '
        /^HKEY/ { key = $0 } /DisplayName +REG_SZ +Brimlet$/ { hit[key] = 1 }
        /DisplayVersion +REG_SZ/ { version[key] = $3 }
        END { for (k in hit) print version[k] }'
}
msi_snapshot() { (cd "$program_files" 2>/dev/null && find . -type f -exec md5sum {} + | sort); }
msiexec() {
    timeout 180 wine msiexec "$@" >/dev/null 2>&1
    set -- $?
    wait_for 60 menus_built
    return "$1"
}

./scripts/windows/make-msi.sh "$work/old/Brimlet" 0.9.0 "$work/old/Brimlet-0.9.0.msi"
# The menu entries the per-user installer's shortcut left go: the entry
# looked at below is the MSI's.
rm -rf "$XDG_DATA_HOME"
msiexec /i "$(win "$work/old/Brimlet-0.9.0.msi")" /qn
status=$?
if [ $status -eq 0 ] && [ -f "$program_files/brimlet.exe" ] && [ -f "$program_files/util/7z.exe" ] \
        && [ -f "$program_files/old-only.txt" ] && [ -n "$(msi_shortcut)" ] \
        && [ "$(msi_entry_version)" = 0.9.0 ] && [ "$(entries)" = 1 ] && [ ! -e "$installed" ]; then
    pass "the MSI installs silently (/qn) for all users: Program Files, a Start-menu shortcut, one entry in Apps under HKLM"
else
    fail "the MSI's silent install" "exit $status, version '$(msi_entry_version)', $(entries) entries, shortcut '$(msi_shortcut)', in the folder: $(ls "$program_files" 2>&1 | tr '\n' ' ')"
fi

msiexec /i "$(win "$msi_package")" /qn
status=$?
if [ $status -eq 0 ] && [ ! -e "$program_files/old-only.txt" ] && cmp -s "$program_files/brimlet.exe" "$program_exe" \
        && [ "$(msi_snapshot | wc -l)" = "$(cd "$build/deploy/Brimlet" && find . -type f | wc -l)" ] \
        && [ -n "$(msi_shortcut)" ] && [ "$(msi_entry_version)" = "$version" ] && [ "$(entries)" = 1 ]; then
    pass "the MSI of $version upgrades 0.9.0 in place: the old version's own file gone, one entry in Apps"
else
    fail "the MSI's upgrade over 0.9.0" "exit $status, $(install_faults "$program_files" "$(msi_shortcut)" "$program_exe")version '$(msi_entry_version)', $(entries) entries, in the folder: $(ls "$program_files" 2>&1 | tr '\n' ' ')"
fi

# The same version again is the same product: no second entry.
msiexec /i "$(win "$msi_package")" /qn
status=$?
if [ $status -eq 0 ] && [ "$(msi_entry_version)" = "$version" ] && [ "$(entries)" = 1 ] \
        && cmp -s "$program_files/brimlet.exe" "$program_exe"; then
    pass "the same MSI installed again is the same product: one entry in Apps"
else
    fail "the same MSI again" "exit $status, version '$(msi_entry_version)', $(entries) entries"
fi

# Wine mirrors the shortcut into the desktop's menu with the icon it finds
# for it, the program's own: each size it extracted must be brimlet.ico's
# picture of that size, pixel for pixel.
menu_icon() {
    entry=$(grep -l '^Name=Brimlet$' "$XDG_DATA_HOME/applications/wine/Programs/"*.desktop 2>/dev/null | head -n 1)
    [ -n "$entry" ] || { echo "no menu entry"; return 1; }
    grep -q '^Path=.*/Program Files/Brimlet/\?$' "$entry" || { echo "the entry starts $(sed -n 's/^Path=//p' "$entry")"; return 1; }
    name=$(sed -n 's/^Icon=//p' "$entry")
    sizes=""
    index=0
    for size in $(/usr/bin/python3 scripts/windows/pe-resources.py "$program_exe" | sed -n 's/^icon-sizes: //p'); do
        png="$XDG_DATA_HOME/icons/hicolor/$size/apps/$name.png"
        [ -f "$png" ] || { echo "no $size icon for $name"; return 1; }
        pixels=$(compare -metric AE "$png" "$build/brimlet.ico[$index]" null: 2>&1)
        [ "$pixels" = 0 ] || { echo "the $size icon differs in $pixels pixels"; return 1; }
        sizes="$sizes ${size%x*}"
        index=$((index + 1))
    done
    echo "$sizes"
}
if wait_for 30 menu_icon && outcome=$(menu_icon); then
    pass "the Start-menu shortcut shows brimlet.exe's icon (Wine's menu entry, sizes$outcome)"
else
    fail "the Start-menu shortcut's icon" "$(menu_icon)"
fi

(cd "$program_files" 2>/dev/null && exec wine brimlet.exe >"$work/msi-installed.log" 2>&1) &
program_pid=$!
if window=$(window_with_title Brimlet 90) && closes_by_cross "$window" && wait_for 30 not_running "$program_pid"; then
    pass "the program the MSI installed opens its window and ends by its cross"
else
    fail "the program the MSI installed" "$(tail -n 3 "$work/msi-installed.log")"
fi
kill -9 "$program_pid" 2>/dev/null

before=$(msi_snapshot)
msiexec /i "$(win "$work/old/Brimlet-0.9.0.msi")" /qn
status=$?
if [ $status -ne 0 ] && [ "$(msi_snapshot)" = "$before" ] && [ "$(msi_entry_version)" = "$version" ] && [ "$(entries)" = 1 ]; then
    pass "the MSI of 0.9.0 refuses to replace $version (exit $status) and changes nothing"
else
    fail "a lower version over $version" "exit $status, version '$(msi_entry_version)', $(entries) entries, files $([ "$(msi_snapshot)" = "$before" ] && echo unchanged || echo changed)"
fi

msiexec /x "$(win "$msi_package")" /qn
status=$?
if [ $status -eq 0 ] && [ ! -e "$program_files" ] && [ -z "$(msi_shortcut)" ] && [ "$(entries)" = 0 ]; then
    pass "msiexec /x /qn removes the program, its folder, the Start-menu shortcut and the entry in Apps"
else
    fail "the MSI's uninstall" "exit $status, left: $(find "$program_files" $(msi_shortcut) 2>/dev/null | head -n 5 | tr '\n' ' ') $(entries) entries"
fi
timeout 120 wineserver -w

# --- the road through a real window ----------------------------------------------
# Positions inside the windows (the bundled font keeps them as on Linux).
BROWSE="117 445" FIRST_ROW_NAME="124 202" COMPRESS="883 585" CANCEL="784 585" CAPTION="300 37"
FILE_NAME="377 517" OPEN="561 546"     # in Wine's file dialog
RENAME_FIELD="100 42" RENAME_OK="70 70"  # in the rename dialog
BOX_OK="36 21"                           # from the message box's bottom right corner
# A message box is titled "Brimlet", as the main window ($main) is, and is at
# least 400 x 200, growing with its text; the progress dialog is titled by
# what it is doing ("Compressing...").
message_boxes() {
    for id in $(xdotool search --onlyvisible --name '^Brimlet$' 2>/dev/null); do
        WIDTH=0 HEIGHT=0
        eval "$(xdotool getwindowgeometry --shell "$id" 2>/dev/null)"
        [ "$id" != "${main:-}" ] && [ "$WIDTH" -ge 400 ] && [ "$HEIGHT" -ge 200 ] && echo "$id"
    done
}
has_box() { [ -n "$(message_boxes)" ]; }
box() { wait_for "$1" has_box && message_boxes | tail -n 1; }
choose_files() { # main-window paths...
    click "$1" $BROWSE; shift
    dialog=$(window_with_title "Select one or more files to open" 30) || return 1
    names=""; for path in "$@"; do names="$names\"$path\" "; done
    click "$dialog" $FILE_NAME
    xdotool key ctrl+a type --delay 20 "$names"
    click "$dialog" $OPEN
    wait_for 20 gone "$dialog"
}
answer_box() { # seconds
    answer=$(box "$1") || return 1
    eval "$(xdotool getwindowgeometry --shell "$answer" 2>/dev/null)"
    click "$answer" $((WIDTH - ${BOX_OK% *})) $((HEIGHT - ${BOX_OK#* }))
    wait_for 20 gone "$answer"
}

drive_c=$WINEPREFIX/drive_c
trip="$drive_c/road/Trip files"
mkdir -p "$trip" "$drive_c/road/Big"
printf 'first file, with a space in its name\n' >"$trip/a b.txt"
yes '# notes' | head -n 500 >"$trip/notes.md"
head -c 10240 /dev/urandom >"$trip/data.bin"
(cd "$build/deploy/Brimlet" && exec wine brimlet.exe >"$work/road.log" 2>&1) &
program=$!
road() {
    main=$(window_with_title Brimlet 90) || { echo "no main window"; return 1; }
    choose_files "$main" 'C:\road\Trip files\a b.txt' 'C:\road\Trip files\notes.md' 'C:\road\Trip files\data.bin' \
        || { echo "the file dialog did not close"; return 1; }
    click "$main" $FIRST_ROW_NAME
    rename=$(window_with_title "Change name" 20) || { echo "no rename dialog"; return 1; }
    click "$rename" $RENAME_FIELD
    xdotool key ctrl+a type --delay 20 "renamed.txt"
    click "$rename" $RENAME_OK
    wait_for 20 gone "$rename" || { echo "the rename dialog stayed"; return 1; }
    if [ -n "$screenshot" ]; then
        eval "$(xdotool getwindowgeometry --shell "$main")"
        import -window root -crop "${WIDTH}x${HEIGHT}+$X+$Y" +repage "$screenshot"
    fi
    click "$main" $COMPRESS
    answer_box 120 || { echo "no success box to answer"; return 1; }
    archive="$trip/Trip files.7z"
    [ -f "$archive" ] || { echo "no archive"; return 1; }
    7zz x -y -o"$work/extracted" "$archive" >/dev/null || { echo "7zz cannot read the archive"; return 1; }
    # The first row's file is in the archive as renamed.txt, the others as they were.
    renamed=""
    for name in "a b.txt" notes.md data.bin; do
        if [ -f "$work/extracted/$name" ]; then
            cmp -s "$trip/$name" "$work/extracted/$name" || { echo "$name differs"; return 1; }
        elif cmp -s "$trip/$name" "$work/extracted/renamed.txt"; then
            renamed=$name
        fi
    done
    [ "$(ls "$work/extracted" | wc -l)" = 3 ] && [ -n "$renamed" ] \
        || { echo "the archive holds: $(ls "$work/extracted" | tr '\n' ' ')"; return 1; }
    for staging in "$drive_c"/users/*/Temp/velmora "$drive_c"/users/*/AppData/Local/Temp/velmora; do
        [ ! -e "$staging" ] || { echo "the staging folder is left"; return 1; }
    done
}
if outcome=$(road); then pass "the road: file dialog, rename, Compress through 7z.exe, the archive as 7zz reads it"
else fail "the road" "$outcome"; fi

# A run cancelled while 7z.exe writes leaves no archive and no 7z.exe behind.
head -c 300M /dev/urandom >"$drive_c/road/Big/big.bin"
writing() { # folder: the archive in the program's private folder there has bytes in it
    for part in "$1"/.brimlet-*/*; do [ -s "$part" ] && return 0; done
    return 1
}
cancelled() {
    main=$(window_with_title Brimlet 10) || { echo "no main window"; return 1; }
    choose_files "$main" 'C:\road\Big\big.bin' || { echo "the file dialog did not close"; return 1; }
    click "$main" $COMPRESS
    # 7z.exe writes into a private folder beside the destination.
    wait_for 60 writing "$drive_c/road/Big" || { echo "7z.exe did not start writing"; return 1; }
    progress=$(xdotool search --onlyvisible --name '^Compressing\.\.\.$' | tail -n 1)
    [ -n "$progress" ] || { echo "no progress dialog"; return 1; }
    eval "$(xdotool getwindowgeometry --shell "$progress")"
    click "$progress" $((WIDTH / 2)) 10
    xdotool key Escape
    answer_box 60 || { echo "no message box after cancelling"; return 1; }
    [ "$(ls -A "$drive_c/road/Big")" = big.bin ] || { echo "left beside the file: $(ls -A "$drive_c/road/Big" | tr '\n' ' ')"; return 1; }
    ! ps -eo args | grep -v grep | grep -q '7z\.exe' || { echo "7z.exe still runs"; return 1; }
    click "$main" $CANCEL
    wait_for 30 not_running "$program" || { echo "Cancel did not end the program"; return 1; }
}
if outcome=$(cancelled); then pass "a cancelled run leaves no archive and no 7z.exe behind"
else fail "the cancelled run" "$outcome"; fi
kill -9 "$program" 2>/dev/null

# The keyboard alone in a real window: Return at start browses (the window
# starts on Browse for files), the window has the keyboard back when the file
# dialog closes (Ctrl+Return compresses) and when the box closes, Alt+Space
# opens the window menu that Windows gives every window, Alt+F4 ends it.
mkdir -p "$drive_c/road/Keys"
printf 'keys\n' >"$drive_c/road/Keys/k.txt"
(cd "$build/deploy/Brimlet" && exec wine brimlet.exe >"$work/keys.log" 2>&1) &
program=$!
windows_shown() { xdotool search --onlyvisible --name '.*' 2>/dev/null | wc -l; }
more_windows_than() { [ "$(windows_shown)" -gt "$1" ]; }
keys() {
    main=$(window_with_title Brimlet 90) || { echo "no main window"; return 1; }
    click "$main" $CAPTION
    xdotool key Return
    dialog=$(window_with_title "Select one or more files to open" 30) || { echo "Return at start did not browse"; return 1; }
    xdotool sleep 0.5 type --delay 20 'C:\road\Keys\k.txt'
    xdotool key Return
    wait_for 20 gone "$dialog" || { echo "the file dialog stayed"; return 1; }
    xdotool sleep 0.5 key ctrl+Return
    answer=$(box 60) || { echo "no box after Ctrl+Return: the window did not have the keyboard back"; return 1; }
    xdotool key Escape
    wait_for 20 gone "$answer" || { echo "Escape did not close the box"; return 1; }
    [ -f "$drive_c/road/Keys/Keys.7z" ] || { echo "no archive"; return 1; }
    shown=$(windows_shown)
    xdotool sleep 0.5 key alt+space
    wait_for 10 more_windows_than "$shown" || { echo "Alt+Space opened no window menu"; return 1; }
    xdotool key Escape sleep 0.5 key alt+F4
    wait_for 30 not_running "$program" || { echo "Alt+F4 did not end the program"; return 1; }
}
if outcome=$(keys); then pass "keys alone: Return at start browses, Ctrl+Return after the file dialog, Escape on the box, Alt+Space opens the window menu, Alt+F4 ends"
else fail "keys alone" "$outcome"; fi
kill -9 "$program" 2>/dev/null

log "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
