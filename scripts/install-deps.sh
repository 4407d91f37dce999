#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the tools need. Idempotent and quiet
# when everything is already there. Runs apt-get as root (through sudo when not root).
set -euo pipefail

packages=(
  # build, and the layout check of scripts/format.sh (clang-format 14)
  cmake ninja-build g++ pkg-config clang-format
  libfmt-dev libssl-dev
  # tests, benchmarks and fuzzing
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  libxml2-dev libpugixml-dev
  # the broker and its clients (tests and the demo), libmosquitto for the comparison benchmark
  mosquitto mosquitto-clients libmosquitto-dev openssl
  # a second broker for the interoperability tests (RabbitMQ's MQTT plugin); the tests start a
  # node of their own, the package's service is not needed
  rabbitmq-server
  # the desktop window (Qt 6 Widgets) and the fonts its log and labels resolve to
  qt6-base-dev libxcb1-dev fonts-liberation
  # the Debian package: dependencies from the programs' links, man pages from --help, the checks
  # of the package and of its systemd unit
  dpkg-dev help2man lintian systemd
)
if [ -n "${KESTOVA_EXTRA_PACKAGES:-}" ]; then
  read -r -a extra <<<"$KESTOVA_EXTRA_PACKAGES"
  packages+=("${extra[@]}")
fi

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
  [ "$status" = installed ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=()
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "install-deps: need root (or sudo) to install: ${missing[*]}" >&2; exit 1; }
  as_root=(sudo)
fi
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
