# Sourced by the scripts that differ between the Debian releases Pindle is built on. Sets
# debian_release to 12 (bookworm) or 13 (trixie, and anything newer).
# shellcheck shell=bash
debian_codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
case "$debian_codename" in
bookworm) debian_release=12 ;;
*) debian_release=13 ;;
esac
# The clang that builds the fuzz targets: 16 is the oldest that takes the structured bindings the
# server captures in lambdas.
case "$debian_release" in
12) fuzz_clang=16 ;;
*) fuzz_clang=19 ;;
esac
