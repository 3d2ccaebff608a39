#!/bin/sh
# Installs what the builds and tests need on a Debian machine, when missing
# (dpkg-dev: dpkg-shlibdeps, which cpack needs for the package test), and
# the further packages named as arguments (tools/package.sh names its own).
set -e
pkgs="$* cmake make g++ clang libclang-rt-14-dev googletest libgtest-dev libbenchmark-dev
libcurl4-openssl-dev libssl-dev openssl ca-certificates time g++-mingw-w64-x86-64 wine wine64 locales strace
systemd systemd-container util-linux iproute2 curl tinyproxy dpkg-dev"
# The Windows Installer package (tools/make-msi.sh) and its test: wixl, msiinfo.
pkgs="$pkgs wixl msitools"
missing=""
for p in $pkgs; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  echo "installing:$missing"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  # shellcheck disable=SC2086
  apt-get install -y -qq --no-install-recommends $missing >/dev/null
fi
# Wine takes its ANSI code page (936) from the Chinese locale.
if ! locale -a 2>/dev/null | grep -qi '^zh_CN\.utf8$'; then
  sed -i 's/^# *zh_CN.UTF-8 UTF-8/zh_CN.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' >> /etc/locale.gen
  locale-gen >/dev/null
fi
