#!/usr/bin/env bash
# A Pocket PC installation cabinet: an uncompressed Microsoft cabinet (made
# by gcab) of the setup file and the files it installs, each under an 8.3
# name whose extension is its number: STEM.000 for the setup file, STEM.001
# for the first FILE and so on. The installer wants the setup file first and
# the rest in descending order of their numbers.
#
#   wince-cab.sh CAB STEM SETUP FILE...
#
# Every member carries one fixed date (SOURCE_DATE_EPOCH when set, else the
# date below), so the same inputs give the same cabinet, byte for byte.
set -euo pipefail
cab=$1 stem=$2 setup=$3
shift 3
date=@${SOURCE_DATE_EPOCH:-1796688000} # 2026-12-08 00:00 UTC: version 2.0

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
members=("$stem.000")
cp "$setup" "$stage/$stem.000"
n=0
for f in "$@"; do
    n=$((n + 1))
    member=$(printf '%s.%03d' "$stem" "$n")
    cp "$f" "$stage/$member"
    members=("${members[0]}" "$member" "${members[@]:1}")
done
touch -d "$date" "$stage"/*
tmp=$(realpath -m "$cab").tmp
(cd "$stage" && gcab --create --nopath "$tmp" "${members[@]}") || { rm -f "$tmp"; exit 1; }
mv "$tmp" "$cab"
