# Installs the Debian packages the project needs, only those that are missing.
# Sourced by the other scripts; uses apt-get as root.
zub_packages=(
  cmake ninja-build g++ pkg-config make
  qt6-base-dev qt6-base-dev-tools
  liblzo2-dev libssl-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  xvfb xauth fonts-liberation
  libxcb1-dev
  openbox wmctrl x11-utils imagemagick
  socat  # the serial tests' pty pair
  librsvg2-bin  # renders the icon
  xdotool # the window-manager test types the user's keys through the X server
  nlohmann-json3-dev  # zub --json (header only)
)

# The 32-bit Windows side: the cross compiler for gbp-host.exe, the Windows simulator and the
# Windows build (preset win32, scripts/win32), Wine (32-bit, from Debian's i386 architecture) to
# run them in the tests, and dpkg-dev, which unpacks LZO's Debian source for that build.
zub_win32_packages=(g++-mingw-w64-i686 wine wine32:i386 dpkg-dev)

# The Debian package (scripts/package): the manual pages from the programs' --help
# (help2man), CPack's dependency scan (dpkg-shlibdeps from dpkg-dev, which asks file),
# gbp-host.exe with the Windows simulator (the cross compiler), and the desktop entry's check
# in the package test (desktop-file-validate).
zub_package_packages=(help2man dpkg-dev file g++-mingw-w64-i686 desktop-file-utils)

zub_install_missing() {
  local wanted=("${zub_packages[@]}" "$@") missing=() p
  for p in "${wanted[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then
    echo "error: missing packages (${missing[*]}); run as root or install them first" >&2
    return 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  if printf '%s\n' "${missing[@]}" | grep -q ':i386$' &&
    ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386 || return 1
  fi
  apt-get update -qq || return 1
  apt-get install -y -qq --no-install-recommends "${missing[@]}" || return 1
}

# Debian's source of LZO (package lzo2), unpacked once into DIR (DIR/lzo2-<version>): the
# Windows build compiles the library from it, as Debian has no Windows build of it. apt-get
# source needs deb-src lines; where the machine has none, they are added beside its own deb
# lines (same mirrors, suites and keys) in /etc/apt/sources.list.d/zub-deb-src.*.
zub_lzo_source() {
  local dir="$1" found
  found=$(compgen -G "$dir/lzo2-*/src/lzo1x_9x.c" | head -n 1 || true)
  [ -n "$found" ] && return 0
  if ! apt-cache showsrc lzo2 2>/dev/null | grep -q '^Package: lzo2'; then
    if [ "$(id -u)" -ne 0 ]; then
      echo "error: no deb-src lines for apt-get source lzo2; run as root once" >&2
      return 1
    fi
    if [ -f /etc/apt/sources.list.d/debian.sources ]; then
      sed -e 's/^Types:.*/Types: deb-src/' /etc/apt/sources.list.d/debian.sources \
        >/etc/apt/sources.list.d/zub-deb-src.sources
    elif [ -f /etc/apt/sources.list ]; then
      sed -n -e 's/^deb \(.*debian.*\)/deb-src \1/p' /etc/apt/sources.list \
        >/etc/apt/sources.list.d/zub-deb-src.list
    fi
    apt-get update -qq || return 1
  fi
  mkdir -p "$dir"
  # Fetched into a folder of its own and moved into place whole: an interrupted fetch leaves
  # nothing that looks like a source tree.
  local part="$dir/.fetch.$$"
  rm -rf "$part" && mkdir -p "$part"
  (cd "$part" && apt-get source -qq lzo2 >/dev/null) || { rm -rf "$part"; return 1; }
  found=$(compgen -G "$part/lzo2-*/src/lzo1x_9x.c" | head -n 1 || true)
  [ -n "$found" ] || { rm -rf "$part"; echo "error: no LZO source in apt-get source lzo2" >&2; return 1; }
  found="${found%/src/lzo1x_9x.c}"
  mv "$found" "$dir/" && rm -rf "$part"
}
