#!/usr/bin/env bash
# Installs the Debian packages that escape-setup needs to build, test and run.
# Only packages that are missing are installed; nothing is downloaded from
# anywhere but the Debian archive. When everything is there it calls no apt
# at all and returns at once (make run checks this every time).
#
# Exit status: 0 when every package is installed; 1 when it cannot install
# (not root and no password-less sudo: the one command to run is printed);
# 2 when apt fails (the packages and apt's own error are printed).
set -euo pipefail

PACKAGES=(
  build-essential cmake make ninja-build ccache pkg-config git
  clang libclang-rt-14-dev libfuzzer-14-dev
  qt6-base-dev libqt6opengl6-dev libgl-dev libgl1-mesa-dri libglx-mesa0
  libepoxy-dev libegl-dev libegl-mesa0
  xvfb xauth x11-utils xdotool
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  nlohmann-json3-dev libcli11-dev
  libdxflib-dev libgeos-dev python3-ezdxf
  python3 python3-matplotlib python3-numpy
  libavformat-dev libavcodec-dev libswscale-dev libavutil-dev ffmpeg
  locales
  clang-format
  chromium
  time
  slurm-wlm munge
  debootstrap
)

say() { echo "install-deps: $*" >&2; }

# Which of PACKAGES are installed. dpkg-query exits 1 when any package it is
# asked about is unknown, which is exactly the case this check is for, so its
# status is not taken as a failure; its output alone says what is installed.
installed_packages() {
  { dpkg-query -W -f='${Package} ${Status}\n' "${PACKAGES[@]}" 2>/dev/null || true; } |
    awk '$NF == "installed" && $(NF-1) == "ok" { sub(/:.*/, "", $1); printf "%s ", $1 }'
}

installed=" $(installed_packages)"
missing=()
for p in "${PACKAGES[@]}"; do
  case "$installed" in *" $p "*) ;; *) missing+=("$p") ;; esac
done

# The number-format tests also run under a German locale (comma as decimal
# point); make it available when the machine allows.
ensure_test_locale() {
  if { locale -a 2>/dev/null || true; } | grep -qi '^de_DE\.utf-\?8$'; then return 0; fi
  if [ "$(id -u)" -eq 0 ] && command -v localedef >/dev/null 2>&1; then
    localedef -i de_DE -f UTF-8 de_DE.UTF-8 2>/dev/null ||
      say "could not generate de_DE.UTF-8; the locale test will be skipped"
  fi
  return 0
}

if [ ${#missing[@]} -eq 0 ]; then
  ensure_test_locale
  exit 0
fi

if [ "$(id -u)" -eq 0 ]; then
  SUDO=()
elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
  SUDO=(sudo -n)
else
  say "${#missing[@]} packages are missing and this is neither root nor password-less sudo."
  say "Run this once as root, then the make command again:"
  echo "  apt-get update && apt-get install -y ${missing[*]}" >&2
  exit 1
fi

say "installing ${#missing[@]} packages: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
log="$(mktemp)"
trap 'rm -f "$log"' EXIT

# Runs one apt command; on failure names the packages and repeats apt's own
# last lines of error, then exits 2.
apt_or_fail() {
  local what="$1"
  shift
  if ! "${SUDO[@]}" "$@" 2>&1 | tee -a "$log"; then
    say "$what failed; these packages were not installed: ${missing[*]}"
    say "apt said:"
    grep -E '^(E|W|Err):' "$log" | tail -n 10 | sed 's/^/  /' >&2 || tail -n 10 "$log" | sed 's/^/  /' >&2
    exit 2
  fi
}

# The package lists of a machine that never ran apt-get update are empty,
# and old ones name versions the archive no longer has: refresh them first.
apt_or_fail "apt-get update" apt-get update -q
apt_or_fail "apt-get install" apt-get install -y -q "${missing[@]}"
say "installed ${#missing[@]} packages"
ensure_test_locale
