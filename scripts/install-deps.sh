#!/usr/bin/env bash
# Installs the Debian packages that escape-setup needs to build, test and run.
# Only packages that are missing are installed; nothing is downloaded from
# anywhere but the Debian archive.
set -euo pipefail

PACKAGES=(
  build-essential cmake make ninja-build ccache pkg-config git
  clang libclang-rt-14-dev libfuzzer-14-dev
  qt6-base-dev libqt6opengl6-dev libgl-dev libgl1-mesa-dri libglx-mesa0
  libepoxy-dev libegl-dev libegl-mesa0
  xvfb xauth x11-utils
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  nlohmann-json3-dev
  python3 python3-matplotlib python3-numpy
  libavformat-dev libavcodec-dev libswscale-dev libavutil-dev ffmpeg
  locales
  clang-format
  chromium
  time
  slurm-wlm munge
)

# One dpkg-query for all packages (make run checks this every time).
installed=" $(dpkg-query -W -f='${Package} ${Status}\n' "${PACKAGES[@]}" 2>/dev/null |
  awk '$NF == "installed" && $(NF-1) == "ok" { printf "%s ", $1 }')"
missing=()
for p in "${PACKAGES[@]}"; do
  case "$installed" in *" $p "*) ;; *) missing+=("$p") ;; esac
done

# The number-format tests also run under a German locale (comma as decimal
# point); make it available when the machine allows.
ensure_test_locale() {
  if locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then return 0; fi
  if [ "$(id -u)" -eq 0 ] && command -v localedef >/dev/null 2>&1; then
    localedef -i de_DE -f UTF-8 de_DE.UTF-8 2>/dev/null ||
      echo "install-deps: could not generate de_DE.UTF-8; the locale test will be skipped" >&2
  fi
}

if [ ${#missing[@]} -eq 0 ]; then
  ensure_test_locale
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
  SUDO=""
elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
  SUDO="sudo"
else
  echo "install-deps: not root and no password-less sudo. Run this as root:" >&2
  echo "  apt-get update && apt-get install -y ${missing[*]}" >&2
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive
if ! $SUDO apt-get install -y -q "${missing[@]}"; then
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q "${missing[@]}"
fi
ensure_test_locale
