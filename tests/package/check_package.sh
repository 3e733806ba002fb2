#!/usr/bin/env bash
# Builds the Debian package into WORK_DIR and checks it: lintian (no errors),
# the desktop entry, AppStream and MIME data, the systemd units (verify and the
# offline security rating), manual pages, bash completion, and the programs
# run from a scratch root unpacked with dpkg -x.
#   check_package.sh SOURCE_DIR WORK_DIR VERSION
set -euo pipefail
source_dir=$1 work=$2 version=$3
mkdir -p "$work"
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# The package, built as the release is.
deb=$("$source_dir/scripts/package.sh" "$work/build" | tail -n 1)
echo "$deb"
[ -f "$deb" ] || { echo "FAIL: no package" >&2; exit 1; }

lintian --fail-on error --no-tag-display-limit "$deb" || fail "lintian reports errors"

# Its fields: the shared libraries it links and the version.
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libc6 libstdc++6 libusb-1.0-0 libssl3; do
  grep -q "\b$lib\b" <<<"$depends" || fail "Depends lacks $lib"
done
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "version is not $version"

root="$work/root"
rm -rf "$root" && dpkg -x "$deb" "$root"

# The files the later steps do not read or run.
for f in usr/share/skyharvester/demo/ScnList.dat usr/share/skyharvester/demo/ParDesc.dat \
         usr/share/skyharvester/demo/SPD7FF0201.par usr/lib/udev/rules.d/70-skyharvester.rules \
         usr/lib/sysusers.d/skyharvester.conf usr/share/icons/hicolor/scalable/apps/org.skyharvester.SkyHarvester.svg \
         usr/share/doc/skyharvester/copyright usr/share/doc/skyharvester/changelog.gz; do
  [ -f "$root/$f" ] || fail "missing /$f"
done

# The desktop entry and the AppStream data.
desktop-file-validate "$root/usr/share/applications/org.skyharvester.SkyHarvester.desktop" \
  || fail "desktop-file-validate"
appstreamcli validate --no-net "$root/usr/share/metainfo/org.skyharvester.SkyHarvester.metainfo.xml" \
  || fail "appstreamcli validate"
grep -q "^MimeType=application/x-skyharvester-k8;" "$root/usr/share/applications/org.skyharvester.SkyHarvester.desktop" \
  || fail "the desktop entry does not open K8 files"

# The MIME type of *.k8.
mime="$work/mime"
rm -rf "$mime" && mkdir -p "$mime/packages" && cp "$root/usr/share/mime/packages/skyharvester.xml" "$mime/packages/"
update-mime-database "$mime"
grep -q "application/x-skyharvester-k8:\*\.k8" "$mime/globs2" || fail "*.k8 is not application/x-skyharvester-k8"

# The systemd units.
units="$root/usr/lib/systemd/system"
grep -q "^ExecStart=/usr/bin/skyharvester-cli .*--clock-needs-sync" "$units/skyharvester-retrieve.service" \
  || fail "the service does not run /usr/bin/skyharvester-cli with --clock-needs-sync"
grep -q "^ExecStart=/usr/bin/skyharvester-cli .*--clock-needs-sync --config /etc/skyharvester/%i\.ini$" \
  "$units/skyharvester-retrieve@.service" || fail "the instance service does not run with /etc/skyharvester/%i.ini"
# Every line of the single service but its description, configuration and
# comments is in the instance service: the same sandbox.
missing=$(grep -vE '^(#|Description=|ExecStart=|$)' "$units/skyharvester-retrieve.service" \
  | grep -vxFf "$units/skyharvester-retrieve@.service" || true)
[ -z "$missing" ] || fail "the instance service lacks: $missing"
# verify resolves the units' dependencies (sysinit.target, ...) and ExecStart
# inside --root: the scratch root with the host's units beside ours.
verify_root="$work/verify-root"
rm -rf "$verify_root" && cp -a "$root" "$verify_root" && cp -rnP /usr/lib/systemd/system/. "$verify_root/usr/lib/systemd/system/"
# The templates are verified through an instance.
verify=$(systemd-analyze verify --man=no --root="$verify_root" skyharvester-retrieve.service \
  skyharvester-retrieve.timer skyharvester-retrieve@site1.service skyharvester-retrieve@site1.timer 2>&1) \
  || fail "systemd-analyze verify"
if [ -n "$verify" ]; then echo "$verify"; fail "systemd-analyze verify warns"; fi
for service in skyharvester-retrieve.service skyharvester-retrieve@site1.service; do
  rating=$(systemd-analyze security --offline=true --root="$root" "$service" 2>&1 | tail -n 1)
  echo "$rating"
  exposure=$(grep -oE "[0-9]+\.[0-9]+" <<<"$rating" | head -n 1)
  [ -n "$exposure" ] && awk -v e="$exposure" 'BEGIN { exit !(e <= 3.0) }' \
    || fail "$service: security exposure ${exposure:-unknown} above 3.0"
done

# The programs, run from the scratch root.
export LD_LIBRARY_PATH="$root/usr/lib:$root/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null || echo x)${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
for program in skyharvester-cli skyharvester skyharvester-sim; do
  out=$(env -u DISPLAY -u WAYLAND_DISPLAY "$root/usr/bin/$program" --version) || fail "$program --version fails"
  [ "$out" = "$program $version" ] || fail "$program --version says \"$out\""
  # Whole text first: grep -q stops reading early, and a long help would then die of SIGPIPE.
  help=$(env -u DISPLAY -u WAYLAND_DISPLAY "$root/usr/bin/$program" --help) || fail "$program --help fails"
  grep -q "Usage:" <<<"$help" || fail "$program --help"
done

# The manual pages.
for program in skyharvester-cli skyharvester skyharvester-sim; do
  page=$(zcat "$root/usr/share/man/man1/$program.1.gz")
  for section in NAME SYNOPSIS DESCRIPTION FILES "EXIT STATUS" EXAMPLES; do
    grep -q "^\.SH \"\?$section\"\?" <<<"$page" || fail "$program(1) lacks $section"
  done
  grep -q "$version" <<<"$page" || fail "$program(1) lacks the version"
  [ "$program" != skyharvester-cli ] || grep -q 'clear\\-flash' <<<"$page" || fail "$program(1) lacks the commands"
  [ "$program" != skyharvester-cli ] || grep -q '\\-\\-config' <<<"$page" || fail "$program(1) lacks --config"
done

# The bash completion.
complete_words() {
  bash -c '
    source /usr/share/bash-completion/bash_completion
    source "$0"
    COMP_WORDS=("$@"); COMP_CWORD=$(( $# - 1 )); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
    _skyharvester_cli
    echo "${COMPREPLY[*]}"' "$root/usr/share/bash-completion/completions/skyharvester-cli" "$@"
}
[ "$(complete_words skyharvester-cli re)" = "retrieve reset" ] || fail "completion of commands"
[ "$(complete_words skyharvester-cli retrieve --p)" = "--port --phone" ] || fail "completion of options"
[ "$(complete_words skyharvester-cli firmware --link "")" = "usb serial modem" ] || fail "completion of links"
[ "$(complete_words skyharvester-cli --config site1.ini time "")" = "get set" ] || fail "completion after --config"
ports=$(complete_words skyharvester-cli time get --port /dev/tty)
expected=$(shopt -s nullglob; ports=(/dev/ttyUSB* /dev/ttyACM* /dev/ttyS*); echo "${ports[*]}")
[ "$ports" = "$expected" ] || fail "completion of ports: \"$ports\", expected \"$expected\""

[ "$failures" -eq 0 ] || { echo "$failures check(s) failed" >&2; exit 1; }
echo "package checks passed"
