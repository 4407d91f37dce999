#!/usr/bin/env bash
# Builds the Debian package build/package/kestova-display_<version>_<arch>.deb from a release
# build: the programs in /usr/bin, /etc/kestova/Settings.ini (a configuration file), the systemd
# unit kestova-displayd.service, the desktop entry and icon, man pages made from each program's
# --help, and the README and protocol description. Its dependencies are the shared libraries the
# programs link (dpkg-shlibdeps) and adduser (the service's system user). The USB display emulator
# is not packaged: the vendor's library is the installer's to add.
#
#   bash scripts/package.sh [--build-dir DIR] [--out DIR] [--no-build]
#
# --build-dir  the build tree to package (default build/release, configured and built unless
#              --no-build); --out  where the package goes (default build/package).
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$PWD

build_dir=build/release
out_dir=build/package
do_build=1
while [ $# -gt 0 ]; do
  case $1 in
    --build-dir) build_dir=$2; shift 2 ;;
    --out) out_dir=$2; shift 2 ;;
    --no-build) do_build=0; shift ;;
    *) echo "package: unknown option $1" >&2; exit 2 ;;
  esac
done

programs=(kestova-displayd kestova-display kestova-send kestova-packet kestova-rfid kestova-virtual-display)

if [ "$do_build" = 1 ]; then
  bash scripts/install-deps.sh
  cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build_dir" -j "$(nproc)" --target "${programs[@]}"
fi

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build_dir/CMakeCache.txt")
[ -n "$version" ] || { echo "package: no project version in $build_dir" >&2; exit 1; }
arch=$(dpkg --print-architecture)
package=kestova-display
# Reproducible dates: the last commit's, where there is one.
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || date +%s)}

mkdir -p "$out_dir"
out_dir=$(cd "$out_dir" && pwd)
work=$(mktemp -d "$out_dir/.stage.XXXXXX")
trap 'rm -rf "$work"' EXIT
root=$work/root
doc=$root/usr/share/doc/$package

# The programs, stripped.
DESTDIR=$root cmake --install "$build_dir" --prefix /usr --strip >/dev/null
for program in "${programs[@]}"; do
  [ -x "$root/usr/bin/$program" ] || { echo "package: $program was not built in $build_dir" >&2; exit 1; }
done
find "$root" -name 'libusbpd*' -delete

install -D -m 0644 packaging/Settings.ini "$root/etc/kestova/Settings.ini"
install -D -m 0644 packaging/kestova-displayd.service "$root/lib/systemd/system/kestova-displayd.service"
install -D -m 0644 packaging/kestova-display.desktop "$root/usr/share/applications/kestova-display.desktop"
install -D -m 0644 packaging/kestova-display.svg "$root/usr/share/icons/hicolor/scalable/apps/kestova-display.svg"
install -D -m 0644 README.md "$doc/README.md"
install -D -m 0644 docs/PROTOCOL.md "$doc/PROTOCOL.md"
install -D -m 0644 packaging/debian/copyright "$doc/copyright"

# A native package's changelog: this version, dated by the last commit.
{
  echo "$package ($version) unstable; urgency=medium"
  echo
  echo "  * Built from the project's tree (see README.md for what is new)."
  echo
  echo " -- Kestova display team <display@kestova.example>  $(date -u -R -d "@$SOURCE_DATE_EPOCH")"
} | gzip -9n >"$doc/changelog.gz"

# A man page per program, from its --help.
declare -A summary=(
  [kestova-displayd]="Kestova display server without a window, for service managers"
  [kestova-display]="Kestova display server with its log window and tray icon"
  [kestova-send]="publish a message packet for Kestova pole displays over MQTT"
  [kestova-packet]="decode or build a Kestova message packet"
  [kestova-rfid]="drive one RFID door reader from the command line"
  [kestova-virtual-display]="a Kestova pole display on a pseudo-terminal"
)
mkdir -p "$root/usr/share/man/man1"
for program in "${programs[@]}"; do
  help2man --no-info --version-string="$version" --name="${summary[$program]}" "$root/usr/bin/$program" \
    | gzip -9n >"$root/usr/share/man/man1/$program.1.gz"
done

# Control data.
mkdir -p "$root/DEBIAN"
for script in postinst prerm postrm; do install -m 0755 "packaging/debian/$script" "$root/DEBIAN/$script"; done
echo /etc/kestova/Settings.ini >"$root/DEBIAN/conffiles"
shlibs=$(cd "$work" && mkdir -p debian && printf 'Source: %s\n\nPackage: %s\nArchitecture: any\n' "$package" "$package" >debian/control &&
  dpkg-shlibdeps -O "${programs[@]/#/root/usr/bin/}" 2>/dev/null | sed -n 's/^shlibs:Depends=//p')
[ -n "$shlibs" ] || { echo "package: dpkg-shlibdeps found no dependencies" >&2; exit 1; }
installed_size=$(du -sk --exclude=DEBIAN "$root" | cut -f1)
cat >"$root/DEBIAN/control" <<CONTROL
Package: $package
Version: $version
Architecture: $arch
Maintainer: Kestova display team <display@kestova.example>
Installed-Size: $installed_size
Depends: $shlibs, adduser
Suggests: mosquitto
Section: misc
Priority: optional
Description: display server for point-of-sale customer pole displays
 Kestova shows the two lines that point-of-sale stations publish as small XML
 packets over MQTT on a customer pole display (serial line or the vendor's USB
 library), answers display enumeration requests, keeps an online/offline
 status on the broker and reconnects on its own.
 .
 The package holds the server (kestova-displayd, run by the systemd unit
 kestova-displayd.service, and the desktop program kestova-display), the
 integrator's tools kestova-send, kestova-packet and kestova-rfid, and
 kestova-virtual-display, a pole display on a pseudo-terminal for testing.
CONTROL
(cd "$root" && find . -path ./DEBIAN -prune -o -type f -printf '%P\0' | sort -z | xargs -0 md5sum) >"$root/DEBIAN/md5sums"
chmod 0644 "$root/DEBIAN/control" "$root/DEBIAN/conffiles" "$root/DEBIAN/md5sums"
find "$root" -type d -exec chmod 0755 {} +

deb=$out_dir/${package}_${version}_${arch}.deb
dpkg-deb --root-owner-group -Zxz --build "$root" "$deb" >/dev/null
echo "$deb"
