# Tessaly: installs the Debian packages the build and the tests need, only
# those that are missing. Sourced by scripts/run and scripts/test.

TESSALY_BUILD_PACKAGES=(
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libjpeg62-turbo-dev libpng-dev zlib1g-dev libopenjp2-7-dev liblcms2-dev libgs-common
  qt6-base-dev xvfb
)
# Programs that no one here wrote, which the tests use to read and write the
# same formats as we do.
TESSALY_TEST_PACKAGES=(
  imagemagick netpbm python3-pil libjpeg-turbo-progs libimage-exiftool-perl pngcheck
  libtiff-tools xauth
)

tessaly_sudo() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

tessaly_install() {
  local missing=()
  local p
  for p in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$p")
    fi
  done
  if [ ${#missing[@]} -eq 0 ]; then
    echo "== packages: all present"
    return 0
  fi
  echo "== installing: ${missing[*]}"
  tessaly_sudo apt-get update -qq
  tessaly_sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
}

tessaly_jobs() {
  nproc 2>/dev/null || echo 2
}
