#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need, and
# only those that are missing. Idempotent; quiet when there is nothing to do.
set -euo pipefail

packages=(
  cmake make pkg-config nasm dpkg-dev xz-utils
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
  wine wine64 xvfb xauth imagemagick
  googletest ffmpeg
  nsis zip python3 binutils
)

sudo_if_needed() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# wine32 makes /usr/bin/wine pick the 32-bit loader, which cannot run here.
if dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'ok installed'; then
  echo "install-packages: wine32 is installed and breaks wine on this machine; remove it (apt-get remove wine32:i386)" >&2
  exit 1
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
done

# apt-get source needs deb-src entries beside the deb ones.
need_src=0
if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ && ! grep -qs '^deb-src' /etc/apt/sources.list; then
  need_src=1
fi

if [ ${#missing[@]} -eq 0 ] && [ $need_src -eq 0 ]; then
  exit 0
fi

if [ $need_src -eq 1 ]; then
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    sudo_if_needed sed -i 's/^Types: deb$/Types: deb deb-src/' /etc/apt/sources.list.d/debian.sources
  elif [ -f /etc/apt/sources.list ]; then
    sudo_if_needed sh -c "grep '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' >> /etc/apt/sources.list"
  fi
fi

echo "install-packages: installing ${missing[*]:-source entries}"
sudo_if_needed apt-get -o DPkg::Lock::Timeout=600 update -qq
if [ ${#missing[@]} -gt 0 ]; then
  sudo_if_needed env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 install -y -qq "${missing[@]}" >/dev/null
fi
