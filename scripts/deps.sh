#!/usr/bin/env bash
# Installs the Debian packages a task needs, only those missing. Safe to re-run.
# Usage: scripts/deps.sh build|test|run...
set -euo pipefail

packages=()
for group in "$@"; do
    case "$group" in
        build) packages+=(cmake make g++ pkg-config qtbase5-dev qttools5-dev-tools qttools5-dev
                          zlib1g-dev libdeflate-dev) ;;
        test)  packages+=(python3-can tshark can-utils locales clang libclang-rt-14-dev
                          desktop-file-utils) ;;
        run)   packages+=(fonts-wqy-microhei) ;;
        *) echo "deps.sh: unknown group '$group'" >&2; exit 2 ;;
    esac
done

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages: ${missing[*]}. Run as root, or install them with apt-get." >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
# tshark asks whether non-root users may capture; we only read files.
echo "wireshark-common wireshark-common/install-setuid boolean false" | debconf-set-selections
echo "Installing: ${missing[*]}"
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
