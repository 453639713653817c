#!/usr/bin/env bash
# Installs the Debian packages that are missing, and nothing else.
# usage: scripts/deps.sh build|test|package
set -euo pipefail

build_pkgs=(cmake g++ ninja-build pkg-config qt6-base-dev libqt6sql6-sqlite libqt6sql6-psql libsqlite3-dev libpq-dev
            qt6-qpa-plugins libgl-dev fonts-liberation2 librsvg2-bin mdbtools-dev libmdb3)
test_pkgs=(poppler-utils cups printer-driver-cups-pdf xauth desktop-file-utils appstream mdbtools postgresql-15)
package_pkgs=(dpkg-dev file lintian)

case "${1:-build}" in
  build) wanted=("${build_pkgs[@]}") ;;
  test) wanted=("${build_pkgs[@]}" "${test_pkgs[@]}") ;;
  package) wanted=("${build_pkgs[@]}" "${package_pkgs[@]}") ;;
  *) echo "usage: $0 build|test|package" >&2; exit 2 ;;
esac

missing=()
for p in "${wanted[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
  sudo=()
elif command -v sudo >/dev/null 2>&1; then
  sudo=(sudo)
else
  echo "These Debian packages are missing and there is no sudo to install them: ${missing[*]}" >&2
  exit 1
fi
echo "Installing: ${missing[*]}"
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
