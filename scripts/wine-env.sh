# Sourced: the environment every Wine run of the project uses, and the prefix set-up.
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX="${MORVEL_WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/morvel/wine}"
export WINEARCH=win64
# Wine makes file names on the Unix side in the locale's character set: under a locale that is
# not UTF-8 (the POSIX locale of a bare machine or a CI job) a name outside ASCII cannot be
# made at all. Such a locale is replaced by C.UTF-8; a UTF-8 one is kept.
if [ "$(locale charmap 2>/dev/null)" != UTF-8 ]; then export LC_ALL=C.UTF-8; fi

# Raised whenever the settings below change: a prefix made by an older set-up gets them too.
morvel_wine_setup_version=3

# The main window asks for "ＭＳ ゴシック" (and the system names it "MS Gothic"): both go to
# IPAGothic, so the face never depends on the fonts the machine has (a desktop's
# fonts-droid-fallback would otherwise answer with a proportional face without Latin glyphs).
# Written as a UTF-16 registry file: a command-line argument would pass through the locale's
# code page, which may not hold the Japanese name.
morvel_wine_fonts() {
  local reg="$WINEPREFIX/morvel-fonts.reg"
  printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' \
    '[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]' \
    '"MS Gothic"="IPAGothic"' \
    '"ＭＳ ゴシック"="IPAGothic"' |
    { printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE; } >"$reg"
  timeout 60 wine regedit /S "$(winepath -w "$reg")" >/dev/null 2>&1
}

# Wine's Marlett (Debian package fonts-wine), the font of the caption buttons' glyphs: this
# Wine does not load the fonts of its own data folder, and without Marlett in the prefix it
# draws the buttons as the letters "0 1 r".
morvel_wine_marlett() {
  local font=/usr/share/wine/fonts/marlett.ttf
  if [ ! -f "$font" ]; then
    echo "wine: $font is missing (Debian package fonts-wine; scripts/install-deps.sh)" >&2
    return 0
  fi
  mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
  cp "$font" "$WINEPREFIX/drive_c/windows/Fonts/"
}

# The user's temporary folder (%TEMP%), which programs and tests write into: in a fresh prefix
# wineboot may return before it is made.
morvel_wine_temp() {
  local temp
  temp=$(timeout 60 wine cmd /c echo %TEMP% 2>/dev/null | tr -d '\r') || true
  if [ -n "$temp" ]; then mkdir -p "$(winepath -u "$temp" 2>/dev/null)" || true; fi
}

# Makes the prefix once (and brings an older one up to date): no crash dialogs, Marlett, the
# temporary folder, and a Japanese fixed-pitch gothic for the main window unless
# MORVEL_WINE_FONT_MAP is 0 (a prefix that shows what the program does with the machine's own
# fonts).
morvel_wine_prefix() {
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    if [ "$(cat "$WINEPREFIX/.morvel-ready" 2>/dev/null)" != "$morvel_wine_setup_version" ]; then
      timeout 300 wineboot -i >/dev/null 2>&1 || true
      timeout 60 wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
      morvel_wine_marlett
      morvel_wine_temp
      if [ "${MORVEL_WINE_FONT_MAP:-1}" != 0 ]; then morvel_wine_fonts; fi
      timeout 60 wineserver -w || true
      echo "$morvel_wine_setup_version" >"$WINEPREFIX/.morvel-ready"
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
