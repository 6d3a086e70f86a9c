# Sourced: the environment every Wine run of the project uses, and the prefix set-up.
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX="${MORVEL_WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/morvel/wine}"
export WINEARCH=win64

# Makes the prefix once: no crash dialogs, and a Japanese gothic font for the main window.
morvel_wine_prefix() {
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    if [ ! -f "$WINEPREFIX/.morvel-ready" ]; then
      timeout 300 wineboot -i >/dev/null 2>&1 || true
      timeout 60 wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
      timeout 60 wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'MS Gothic' /t REG_SZ /d IPAGothic /f >/dev/null 2>&1
      timeout 60 wineserver -w || true
      touch "$WINEPREFIX/.morvel-ready"
    fi
  ) 9>"$WINEPREFIX.lock"
}

# Runs the named programs (file names, "MorvelTest.exe") in a virtual desktop of 1024x768
# drawn by Wine itself: without a window manager, as on Xvfb, windows would get no frame and
# no caption. Processes they start share that desktop.
morvel_wine_desktop() {
  timeout 60 wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Morvel /t REG_SZ /d 1024x768 /f >/dev/null 2>&1
  local exe
  for exe in "$@"; do
    timeout 60 wine reg add "HKCU\\Software\\Wine\\AppDefaults\\$exe\\Explorer" /v Desktop /t REG_SZ /d Morvel /f \
      >/dev/null 2>&1
  done
}
