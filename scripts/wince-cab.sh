#!/usr/bin/env bash
# A Pocket PC installation cabinet: an uncompressed Microsoft cabinet (made
# by gcab) of the setup file and the one file it installs, each under an
# 8.3 name whose extension is its number: STEM.000 for the setup file, which
# the installer wants first, and STEM.001 for FILE.
#
#   wince-cab.sh CAB STEM SETUP FILE
#
# Both members carry one fixed date (SOURCE_DATE_EPOCH when set, else the
# date below), so the same inputs give the same cabinet, byte for byte.
set -euo pipefail
cab=$1 stem=$2 setup=$3 file=$4
date=@${SOURCE_DATE_EPOCH:-1796688000} # 2026-12-08 00:00 UTC: version 2.0

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cp "$setup" "$stage/$stem.000"
cp "$file" "$stage/$stem.001"
touch -d "$date" "$stage"/*
tmp=$(realpath -m "$cab").tmp
(cd "$stage" && gcab --create --nopath "$tmp" "$stem.000" "$stem.001") || { rm -f "$tmp"; exit 1; }
mv "$tmp" "$cab"
