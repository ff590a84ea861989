# Sourced by the scripts that run Windows programs (wine-run.sh, wine-env.sh,
# run.sh): the one place that says how Wine is run for this project.
#
#   WINE64                        the 64-bit loader
#   WINE_LAUNCH                   what to start it through (see below)
#   wine_make_prefix DIR [KIND]   makes the prefix DIR once; KIND "tests" (the
#                                 default) sets it up for unattended runs on a
#                                 display without a window manager, "desktop"
#                                 leaves Wine's defaults for a person's desktop

WINE64=/usr/lib/wine/wine64
# Debian's Wine has no preloader to reserve its fixed addresses before the
# system's loader places itself, so with address space randomisation a
# process now and then fails to start ("failed to map the shared user data:
# c0000018", which WINEDEBUG=-all hides) and exits 1 before the program
# runs: Wine's processes run without it where the system allows that.
WINE_LAUNCH=()
if setarch "$(uname -m)" -R true >/dev/null 2>&1; then WINE_LAUNCH=(setarch "$(uname -m)" -R); fi
export WINEDEBUG=-all
# Wine must never offer to install Mono or Gecko.
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64

wine_make_prefix() {
  local prefix="$1" kind="${2:-tests}"
  # A test prefix counts as ready only when its settings reached the registry
  # file (a server killed before it saved them leaves a prefix without them).
  if [ -f "$prefix/.bitloupe-ready" ] &&
     { [ "$kind" = desktop ] || grep -q '"Managed"="N"' "$prefix/user.reg" 2>/dev/null; }; then
    return 0
  fi
  rm -rf "$prefix"
  mkdir -p "$prefix"
  WINEPREFIX="$prefix" "${WINE_LAUNCH[@]}" wineboot -i >/dev/null 2>&1 </dev/null
  if [ "$kind" = tests ]; then
    # Without a window manager, hiding a top-level window otherwise stalls ~2 s.
    WINEPREFIX="$prefix" "${WINE_LAUNCH[@]}" wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f \
      >/dev/null 2>&1
    # A crash must end the process, not open a dialog that hangs the run.
    WINEPREFIX="$prefix" "${WINE_LAUNCH[@]}" wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
      >/dev/null 2>&1
  fi
  WINEPREFIX="$prefix" wineserver -w
  touch "$prefix/.bitloupe-ready"
}
