# Installs the Debian packages the build, the tests, the package check and the benchmarks need,
# when any is missing.
# Sourced by ./test and ./run.
telvane_packages=(cmake ninja-build g++ clang libclang-rt-14-dev ccache pkg-config
                  googletest libgtest-dev libgmock-dev libbenchmark-dev clang-format
                  qt6-base-dev libudev-dev fonts-arphic-uming fonts-dejavu-extra
                  libgammu-dev gammu gnokii-cli gsm-utils gdb libsystemd-dev
                  dbus-daemon python3-dbusmock
                  dpkg-dev file lintian appstream desktop-file-utils man-db)

install_missing_packages() {
  local missing=() p
  for p in "${telvane_packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  ((${#missing[@]})) || return 0
  echo "== installing: ${missing[*]}"
  local sudo=()
  ((EUID == 0)) || sudo=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get update -qq
  "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}
