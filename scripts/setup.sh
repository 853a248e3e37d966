#!/usr/bin/env bash
# Installs what the three builds need on Debian 12 (run as root). Idempotent:
# when everything is present it only checks and returns.
set -euo pipefail

packages=(
  build-essential cmake ninja-build clang-format
  nlohmann-json3-dev googletest uuid-dev uuid-dev:i386
  g++-multilib g++-mingw-w64-i686
  libbenchmark-dev libpugixml-dev libqrencode-dev libqrencode-dev:i386 libedit-dev:i386
  valgrind wine wine32:i386 qemu-user procps
  clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# Some machines run 64-bit code only. Then 32-bit programs (the i686 tests,
# the simulator and Wine itself) run through qemu's user-mode emulation,
# registered with the kernel's binfmt_misc.
probe_dir=$(mktemp -d)
trap 'rm -rf "$probe_dir"' EXIT
printf 'int main(void){return 0;}\n' > "$probe_dir/probe.c"
gcc -m32 "$probe_dir/probe.c" -o "$probe_dir/probe32"
if ! "$probe_dir/probe32" 2>/dev/null; then
  echo "setup: this kernel does not run 32-bit programs; registering qemu-i386 with binfmt_misc"
  if [ ! -e /proc/sys/fs/binfmt_misc/register ]; then
    mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
  fi
  if [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
    printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386:F' \
      > /proc/sys/fs/binfmt_misc/register
  fi
  "$probe_dir/probe32"
fi
echo "setup: ready"
