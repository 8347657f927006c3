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

# The 32-bit Windows side: the cross compiler for gbp-host.exe and the Windows simulator, and
# Wine (32-bit, from Debian's i386 architecture) to run them in the tests.
zub_win32_packages=(g++-mingw-w64-i686 wine wine32:i386)

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
