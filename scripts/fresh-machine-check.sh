#!/usr/bin/env bash
# The fresh-machine check (make fresh-check): `make run` from a fresh clone on
# a minimal Debian 12 root that has nothing but make, git and the CA
# certificates, as a new user's machine has, and the default scenario's
# results checked afterwards.
#
# The root is made once with debootstrap (variant minbase) from the Debian
# mirror this machine's apt sources name, and kept as a tarball in the cache
# folder; every check unpacks it anew. The downloaded packages and the
# compiler cache are kept in the same folder between checks, so that a check
# does not fetch the archive again; neither changes what gets installed or
# built.
#
# Usage: scripts/fresh-machine-check.sh [TARGET...]   (default: run)
#   e.g. `scripts/fresh-machine-check.sh run test` runs make test there too.
# Environment: ESCAPE_FRESH_CACHE (default /var/cache/escape-setup-fresh).
# Exit status: 0 passed; 1 failed; 77 skipped (cannot run here: no root, no
# debootstrap). With CI set, a check that cannot run fails instead of
# skipping.
set -euo pipefail

REPO="$(cd "$(dirname "$0")/.." && pwd)"
CACHE="${ESCAPE_FRESH_CACHE:-/var/cache/escape-setup-fresh}"
TARBALL="$CACHE/bookworm-minbase.tar"
SUITE=bookworm
TARGETS=("$@")
[ ${#TARGETS[@]} -gt 0 ] || TARGETS=(run)

say() { echo "fresh-check: $*"; }
started=$(date +%s)
elapsed() { echo "$(($(date +%s) - started)) s"; }

cannot_run() {
  if [ -n "${CI:-}" ]; then
    say "FAILED: cannot run here: $1"
    exit 1
  fi
  say "skipped: $1"
  exit 77
}

[ "$(id -u)" -eq 0 ] || cannot_run "it needs root (debootstrap, chroot, mount)"
for tool in debootstrap chroot mount umount tar; do
  command -v "$tool" >/dev/null 2>&1 || cannot_run "$tool is not installed (make deps installs debootstrap)"
done

# The Debian archive this machine's apt uses: the URI of the first source
# that serves $SUITE, from one-line sources.list files or deb822 .sources
# files. No host is written into the repository.
debian_mirror() {
  local f
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -r "$f" ] || continue
    awk -v suite="$SUITE" '$1 == "deb" { i = 2; if ($2 ~ /^\[/) { while ($i !~ /\]$/) i++; i++ }
      if ($(i + 1) == suite) { print $i; exit } }' "$f"
  done
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -r "$f" ] || continue
    awk -v suite="$SUITE" 'BEGIN { RS = ""; FS = "\n" }
      { uri = ""; hit = 0
        for (k = 1; k <= NF; k++) {
          if ($k ~ /^URIs:/) { split($k, w, /[ \t]+/); uri = w[2] }
          if ($k ~ /^Suites:/) { n = split($k, w, /[ \t]+/); for (j = 2; j <= n; j++) if (w[j] == suite) hit = 1 }
        }
        if (hit && uri != "") { print uri; exit } }' "$f"
  done
}

# Every Debian source line of this machine for $SUITE and its updates and
# security suites, as one-line entries for the fresh root's sources.list.
debian_source_lines() {
  local f
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -r "$f" ] || continue
    awk -v suite="$SUITE" '$1 == "deb" { i = 2; if ($2 ~ /^\[/) { while ($i !~ /\]$/) i++; i++ }
      if (index($(i + 1), suite) == 1) { line = "deb " $i; for (k = i + 1; k <= NF; k++) line = line " " $k; print line } }' "$f"
  done
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -r "$f" ] || continue
    awk -v suite="$SUITE" 'BEGIN { RS = ""; FS = "\n" }
      { uri = ""; suites = ""; comps = ""; deb = 0
        for (k = 1; k <= NF; k++) {
          if ($k ~ /^Types:.*(^|[ \t])deb([ \t]|$)/) deb = 1
          if ($k ~ /^URIs:/) { split($k, w, /[ \t]+/); uri = w[2] }
          if ($k ~ /^Suites:/) suites = substr($k, 8)
          if ($k ~ /^Components:/) comps = substr($k, 12)
        }
        if (!deb || uri == "") next
        n = split(suites, s, /[ \t]+/)
        for (j = 1; j <= n; j++) if (index(s[j], suite) == 1) print "deb " uri " " s[j] " " comps }' "$f"
  done
}

mirror="$(debian_mirror | head -n 1)"
[ -n "$mirror" ] || cannot_run "no Debian $SUITE source in this machine's apt sources"

mkdir -p "$CACHE/archives/partial" "$CACHE/ccache"
if [ ! -s "$TARBALL" ]; then
  say "making the minimal $SUITE root once (debootstrap from the machine's Debian mirror)"
  tmp_root="$(mktemp -d "$CACHE/debootstrap.XXXXXX")"
  if ! debootstrap --variant=minbase --include=make,git,ca-certificates \
        --cache-dir="$CACHE/archives" "$SUITE" "$tmp_root" "$mirror" >"$CACHE/debootstrap.log" 2>&1; then
    tail -n 20 "$CACHE/debootstrap.log"
    rm -rf "$tmp_root"
    say "FAILED: debootstrap did not make the root (log: $CACHE/debootstrap.log)"
    exit 1
  fi
  tar -C "$tmp_root" -cf "$TARBALL.part" . && mv "$TARBALL.part" "$TARBALL"
  rm -rf "$tmp_root"
  say "root kept in $TARBALL ($(elapsed))"
fi

root="$(mktemp -d /var/tmp/escape-fresh.XXXXXX)"
# Package scripts that switch to another user fail in a root folder that
# only root may enter.
chmod 755 "$root"

# Every way out: stop what still runs inside, unmount everything below the
# root (innermost first), remove the root.
cleanup() {
  local status=$? pid
  for pid in $(ls /proc | grep -E '^[0-9]+$'); do
    [ "$(readlink "/proc/$pid/root" 2>/dev/null)" = "$root" ] && kill -9 "$pid" 2>/dev/null || true
  done
  awk -v r="$root" '$2 == r || index($2, r "/") == 1 { print $2 }' /proc/self/mounts | sort -r |
    while read -r m; do umount "$m" 2>/dev/null || umount -l "$m" 2>/dev/null || true; done
  if awk -v r="$root" 'index($2, r) == 1 { found = 1 } END { exit !found }' /proc/self/mounts; then
    say "a mount below $root could not be removed; the folder is left"
  else
    rm -rf "$root"
  fi
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

tar -C "$root" -xf "$TARBALL"
chmod 755 "$root"

# The machine's own settings that a new machine on this network would have:
# name resolution, the Debian sources, and how apt reaches the archive.
cp /etc/resolv.conf "$root/etc/resolv.conf"
debian_source_lines | awk '!seen[$0]++' >"$root/etc/apt/sources.list"
grep -hE '^[[:space:]]*Acquire::(Check-Valid-Until|Check-Date|https?::Proxy)' /etc/apt/apt.conf.d/* 2>/dev/null \
  >"$root/etc/apt/apt.conf.d/99machine-archive" || true
# Nothing survives the check: dpkg need not sync every file it unpacks.
echo force-unsafe-io >"$root/etc/dpkg/dpkg.cfg.d/fresh-check-unsafe-io"
# A root without an init system: services are installed, not started.
printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
chmod 755 "$root/usr/sbin/policy-rc.d"

mkdir -p "$root/mnt/checkout" "$root/root/.cache/ccache"
mount -t proc proc "$root/proc"
mount -t sysfs sys "$root/sys"
mount --rbind /dev "$root/dev"
mount --make-rslave "$root/dev"
mount -t tmpfs tmpfs "$root/tmp"
mount --bind "$REPO" "$root/mnt/checkout"
mount -o remount,bind,ro "$root/mnt/checkout"
mount --bind "$CACHE/archives" "$root/var/cache/apt/archives"
mount --bind "$CACHE/ccache" "$root/root/.cache/ccache"

in_root() {
  chroot "$root" /usr/bin/env -i HOME=/root LANG=C.UTF-8 TERM=dumb \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    ${http_proxy:+http_proxy="$http_proxy"} ${https_proxy:+https_proxy="$https_proxy"} \
    /bin/bash -c "$1" &
  # Waiting in the shell, not in the child: a signal reaches the traps at
  # once, and the cleanup stops what runs inside the root.
  wait $!
}

say "fresh clone of $(git -C "$REPO" rev-parse --short HEAD) into the root"
in_root 'git config --global --add safe.directory "*" && git clone -q --no-hardlinks /mnt/checkout /root/escape-setup'

for target in "${TARGETS[@]}"; do
  t0=$(date +%s)
  log="$CACHE/make-$target.log"
  say "make $target in the fresh root (its output: $log)"
  if ! in_root "cd /root/escape-setup && make $target" >"$log" 2>&1; then
    tail -n 60 "$log"
    say "FAILED: make $target on a fresh Debian 12 root ($(elapsed)); the whole output is in $log"
    exit 1
  fi
  grep -E '^install-deps: (installing|installed)' "$log" | sed 's/^/  /' | cut -c1-200 || true
  say "make $target passed in $(($(date +%s) - t0)) s"
done

# The default scenario's results, wherever the run put them.
summary="$(find "$root/root/escape-setup/bProj/results" -name summary.json -type f 2>/dev/null | head -n 1)"
if [ -z "$summary" ] || ! grep -q '"evacuationTime' "$summary"; then
  say "FAILED: make run left no summary.json with an evacuation time below bProj/results"
  exit 1
fi
say "results: ${summary#"$root"/root/escape-setup/} ($(wc -c <"$summary") bytes); the run's last lines:"
tail -n 3 "$CACHE/make-run.log" 2>/dev/null | sed 's/^/  /' || true
say "passed in $(elapsed)"
