#!/usr/bin/env bash
# Prepares the 32-bit runner: runs the shipped i686 exe under 32-bit Wine on
# a machine whose kernel cannot run 32-bit code, through qemu's user-mode
# emulation. Idempotent. Usage: i686-setup.sh [RUNNER_DIR]
#   - qemu-user-static, with i386 ELF registered in binfmt_misc (flag F, so
#     the emulator is found inside any mount namespace);
#   - Debian's i386 Wine libraries (libwine:i386), harmless beside wine64;
#   - the 32-bit loader from wine32:i386, unpacked into the runner's own
#     folder and never installed: installed, it would make the system's
#     `wine` prefer the 32-bit loader for every program;
#   - a 64-bit prefix under the runner's folder whose syswow64 holds the
#     i386 DLLs (it stays empty when the prefix is made by wine64 alone).
# Exits 77 (skipped) when the runner cannot be made here, saying why.
set -euo pipefail
[ $# -ge 1 ] && export I686_RUNNER=$1
source "$(dirname "$0")/i686-env.sh"
rm -f "$i686_mode_file"

skip() {
  echo "i686-setup: SKIPPED: $*" >&2
  exit 77
}

as_root() {
  if [ "$(id -u)" -eq 0 ]; then
    "$@"
  elif command -v sudo >/dev/null && sudo -n true 2>/dev/null; then
    sudo "$@"
  else
    return 1
  fi
}

apt_get() {
  DEBIAN_FRONTEND=noninteractive as_root apt-get -o DPkg::Lock::Timeout=600 -y -qq "$@"
}

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

# ------------------------------------------------------------ packages
[ -x /usr/lib/wine/wine64 ] && installed libwine:amd64 || skip "wine64 is not installed (scripts/setup.sh installs it)"
wine_version=$(dpkg-query -W -f='${Version}' libwine:amd64)

if ! installed qemu-user-static; then
  echo "i686-setup: installing qemu-user-static" >&2
  apt_get update || skip "cannot update the package lists (no root rights?)"
  apt_get install --no-install-recommends qemu-user-static >/dev/null || skip "cannot install qemu-user-static"
fi
if ! installed libwine:i386; then
  echo "i686-setup: installing libwine:i386 $wine_version (with its i386 libraries)" >&2
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    as_root dpkg --add-architecture i386 || skip "cannot add the i386 architecture"
  fi
  apt_get update || skip "cannot update the package lists"
  apt_get install --no-install-recommends "libwine:i386=$wine_version" >/dev/null || skip "cannot install libwine:i386"
fi

# ---------------------------------------------------- the private loader
if [ ! -x "$i686_wine32/usr/lib/wine/wine" ]; then
  echo "i686-setup: unpacking the 32-bit loader (wine32:i386 $wine_version) into $i686_wine32" >&2
  debs=$I686_RUNNER/debs
  rm -rf "$debs" "$i686_wine32"
  mkdir -p "$debs"
  # apt's sandbox user may not write here; the download then runs as us.
  (cd "$debs" && apt-get download -qq "wine32:i386=$wine_version" 2>/dev/null) || skip "cannot download wine32:i386"
  dpkg -x "$debs"/wine32_*_i386.deb "$i686_wine32"
fi
mkdir -p "$i686_wine32/usr/lib/i386-linux-gnu" "$i686_wine32/usr/share"
ln -sfn /usr/lib/i386-linux-gnu/wine "$i686_wine32/usr/lib/i386-linux-gnu/wine"
ln -sfn /usr/share/wine "$i686_wine32/usr/share/wine"
# A 32-bit process starts 64-bit ones (the desktop process) with the loader
# named like its own plus "64".
ln -sfn /usr/lib/wine/wine64 "$i686_wine32/usr/lib/wine/wine64"
loader=$i686_wine32/usr/lib/wine/wine

# ------------------------------------------------------------- binfmt
binfmt=/proc/sys/fs/binfmt_misc
if [ ! -e "$binfmt/register" ]; then
  as_root mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null || true
fi
if [ -e "$binfmt/register" ] && [ ! -e "$binfmt/qemu-i386" ]; then
  # The kernel decodes the \x escapes itself.
  printf '%s\n' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' |
    as_root tee "$binfmt/register" >/dev/null 2>&1 || true
fi
if [ -e "$binfmt/qemu-i386" ] && head -1 "$binfmt/qemu-i386" | grep -qx disabled; then
  echo 1 | as_root tee "$binfmt/qemu-i386" >/dev/null 2>&1 || true
fi

# The loader answers --version on its own only when it may re-execute itself;
# the runner's prefix is named so that nothing else could ever be touched.
i686_wine_env
runs() { env -u WINELOADERNOEXEC "$@" --version 2>/dev/null | grep -q '^wine-'; }
mode=""
if runs "$loader"; then
  mode=binfmt
elif runs qemu-i386-static "$loader"; then
  # Naming the emulator runs one program, but the 32-bit programs it starts
  # in turn (the product under test, its uninstallers) do not start that way.
  skip "binfmt_misc cannot be mounted or i386 ELF registered in it (no rights?); qemu-i386-static alone runs only single programs"
else
  skip "32-bit programs cannot run here, neither through binfmt_misc nor through qemu-i386-static"
fi

# ------------------------------------------------------------- prefix
i686_display_up || skip "cannot start Xvfb"
source "$i686_root/scripts/wine-env.sh"
i686_wine_env
syswow64=$WINEPREFIX/drive_c/windows/syswow64
mkdir -p "$syswow64"
# Links, not copies: the loader only needs to find each builtin by name.
for f in /usr/lib/i386-linux-gnu/wine/i386-windows/*; do
  [ -e "$syswow64/${f##*/}" ] || ln -s "$f" "$syswow64/${f##*/}"
done

echo "$mode" >"$i686_mode_file"
echo "i686-setup: ready ($mode) in $I686_RUNNER" >&2
