#!/usr/bin/env bash
# Builds the tools of the Pocket PC (ARM Windows CE) build from Debian's own
# sources, once, into a cache folder named by a hash of its inputs, and prints
# that folder as the last line of its output.
#
#   scripts/wince-toolchain.sh
#
# Cache root: $PORTMEDIC_WINCE_TOOLCHAIN, else build/wince-toolchain in the
# repository. Compile jobs at once: $PORTMEDIC_WINCE_JOBS, else one per
# processor (nproc). The toolchain folder, <root>/toolchain-<key>/, holds
#   bin/arm-wince-pe-{as,ld,ar,ranlib,dlltool,windres,objdump,nm}
#        binutils 2.40 built for --target=arm-wince-pe (package binutils-source)
#   bin/wince-cc
#        the compiler driver, the one that built lib/
#   lib/libgcc-wince.a
#        the helpers GCC calls for ARM code (division, 64-bit shifts and
#        division, soft float) from libgcc (package gcc-12-source), built for
#        the CE calling convention
#   build.log
# The binutils build (minutes) is cached on its own in <root>/binutils-<key>/,
# so a change to the driver or to the helpers' build costs seconds.
#
# An entry is built in a temporary folder and renamed into place only when
# everything in it succeeded: an interrupted build is never taken as done.
# Quiet: the build's output goes to the log; on failure its tail is printed.
# Packages: scripts/install-deps.sh wince
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/.." && pwd)
root=${PORTMEDIC_WINCE_TOOLCHAIN:-$repo/build/wince-toolchain}
driver=$here/wince-cc

binutils_tar=/usr/src/binutils/binutils-2.40.tar.xz
gcc_tar=/usr/src/gcc-12/gcc-12.2.0-dfsg.tar.xz
cross_gcc=${PORTMEDIC_WINCE_GCC:-arm-linux-gnueabi-gcc}
host_cc=${CC:-cc}
jobs=${PORTMEDIC_WINCE_JOBS:-$(nproc)}
tools=(as ld ar ranlib dlltool windres objdump nm)

say() { echo "wince-toolchain: $*" >&2; }
fail() { say "$*"; exit 1; }

for f in "$binutils_tar" "$gcc_tar"; do
    [ -r "$f" ] || fail "$f is missing (scripts/install-deps.sh wince)"
done
for p in "$cross_gcc" "$host_cc" python3 make bison flex xz flock; do
    command -v "$p" >/dev/null || fail "$p is missing (scripts/install-deps.sh wince)"
done

hash_of() { sha256sum | cut -c1-16; }
self_sum=$(sha256sum <"${BASH_SOURCE[0]}")

# What the binutils build depends on: its sources, this script, the host
# compiler that builds it.
binutils_key=$({
    echo "binutils $(sha256sum <"$binutils_tar")"
    echo "script $self_sum"
    echo "host $("$host_cc" --version | head -n 1)"
} | hash_of)
# What the finished toolchain depends on in addition: libgcc's sources, the
# ARM compiler that builds the helpers, the driver that adapts them.
toolchain_key=$({
    echo "binutils-entry $binutils_key"
    echo "gcc $(sha256sum <"$gcc_tar")"
    echo "cross $("$cross_gcc" --version | head -n 1)"
    echo "driver $(sha256sum <"$driver")"
} | hash_of)

binutils_dir=$root/binutils-$binutils_key
toolchain_dir=$root/toolchain-$toolchain_key

complete() {  # DIR: every tool (and the helpers, for a toolchain) in place
    local t
    for t in "${tools[@]}"; do [ -x "$1/bin/arm-wince-pe-$t" ] || return 1; done
    case $1 in */toolchain-*) [ -s "$1/lib/libgcc-wince.a" ] && [ -x "$1/bin/wince-cc" ] || return 1 ;; esac
}

work=
log=
cleanup() {
    local rc=$?
    if [ "$rc" -ne 0 ] && [ -n "$log" ] && [ -f "$log" ]; then
        cp "$log" "$root/last-failure.log" 2>/dev/null || true
        say "failed; the end of the log ($root/last-failure.log):"
        tail -n 40 "$log" >&2 || true
    fi
    if [ -n "$work" ]; then rm -rf "$work"; fi
    exit "$rc"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

run() { "$@" >>"$log" 2>&1; }

build_binutils() {
    local out=$work/entry b=$work/build
    mkdir -p "$out/bin" "$b"
    say "building binutils 2.40 for arm-wince-pe (a minute or two; log: $log)"
    run tar -xJf "$binutils_tar" -C "$work"
    # Debian's patches to binutils (series in /usr/src/binutils/patches) are
    # not applied: they concern Debian's ELF targets, library paths, gold,
    # gprof and shared libraries, none of which this PE cross build uses.
    # Without zstd and debuginfod the tools depend on libc alone.
    # The tools only ever assemble and link one small program, so they are
    # built unoptimised and only those the build calls: half the time of a
    # full optimised build. The configure scripts run under /bin/sh (dash on
    # Debian), which starts their thousands of commands faster than bash.
    (cd "$b" && CONFIG_SHELL=/bin/sh run /bin/sh "$work/binutils-2.40/configure" \
        --target=arm-wince-pe --prefix=/nonexistent \
        --disable-nls --disable-werror --disable-gold --disable-gprof \
        --disable-gprofng --disable-gdb --disable-sim --disable-libctf \
        --disable-plugins --disable-lto --disable-shared \
        --without-zstd --without-debuginfod \
        CC="$host_cc" CFLAGS="-O0" MAKEINFO=true)
    run make -C "$b" -j"$jobs" MAKEINFO=true all-gas all-ld configure-binutils
    run make -C "$b/binutils" -j"$jobs" MAKEINFO=true ar ranlib dlltool windres objdump nm-new
    local t src
    for t in "${tools[@]}"; do
        case $t in
            as) src=gas/as-new ;;
            ld) src=ld/ld-new ;;
            nm) src=binutils/nm-new ;;
            *) src=binutils/$t ;;
        esac
        run install -s -m 755 "$b/$src" "$out/bin/arm-wince-pe-$t"
    done
    "$out/bin/arm-wince-pe-ld" -V | grep -q arm_wince_pe || fail "ld lacks arm_wince_pe"
}

# The ARM helpers GCC's code calls: from lib1funcs.S (hand-written ARM code:
# 32-bit division, 64-bit shifts, the soft-float operations and conversions)
# and libgcc2.c (64-bit division, conversions to 64-bit integers, bit
# counting), one object per function as libgcc builds them, so a link takes
# only what it calls.
asm_funcs=(_udivsi3 _divsi3 _umodsi3 _modsi3 _dvmd_tls _lshrdi3 _ashrdi3 _ashldi3
    _arm_negdf2 _arm_addsubdf3 _arm_muldivdf3 _arm_cmpdf2 _arm_unorddf2
    _arm_fixdfsi _arm_fixunsdfsi _arm_truncdfsf2 _arm_negsf2 _arm_addsubsf3
    _arm_muldivsf3 _arm_cmpsf2 _arm_unordsf2 _arm_fixsfsi _arm_fixunssfsi
    _arm_floatdidf _arm_floatdisf _arm_floatundidf _arm_floatundisf
    _clzsi2 _clzdi2 _ctzsi2)
c_funcs=(_muldi3 _negdi2 _cmpdi2 _ucmpdi2 _ffssi2 _ffsdi2 _clz _ctzdi2
    _popcount_tab _popcountsi2 _popcountdi2 _paritysi2 _paritydi2
    _powisf2 _powidf2 _bswapsi2 _bswapdi2 _clrsbsi2 _clrsbdi2
    _fixsfdi _fixdfdi _fixunssfdi _fixunsdfdi
    _divdi3 _moddi3 _divmoddi4 _udivdi3 _umoddi3 _udivmoddi4)
# Left out: the trapping arithmetic (_addvsi3 ...) calls abort, which CE
# lacks; complex arithmetic, __main/_ctors and the cache and trampoline
# helpers have no use here.

build_helpers() {
    local out=$work/entry src=$work/gcc obj=$work/obj stub=$work/stub
    mkdir -p "$out/bin" "$out/lib" "$obj" "$stub" "$src"
    say "building libgcc's ARM helpers for the CE calling convention (log: $log)"
    run tar -xJf "$gcc_tar" -C "$src" --strip-components=1 --wildcards \
        '*/libgcc/config/arm/lib1funcs.S' '*/libgcc/config/arm/ieee754-df.S' \
        '*/libgcc/config/arm/ieee754-sf.S' '*/libgcc/config/arm/bpabi.S' \
        '*/libgcc/libgcc2.c' '*/libgcc/libgcc2.h' '*/include/longlong.h' \
        '*/gcc/tsystem.h'
    # libgcc2.c includes headers that a GCC build generates: empty ones do,
    # with the word size of 32-bit ARM.
    : >"$stub/tconfig.h"
    : >"$stub/coretypes.h"
    : >"$stub/libgcc_tm.h"
    : >"$stub/filenames.h"
    echo '#define MIN_UNITS_PER_WORD 4' >"$stub/tm.h"

    local t
    for t in "${tools[@]}"; do
        ln "$binutils_dir/bin/arm-wince-pe-$t" "$out/bin/" 2>/dev/null ||
            cp "$binutils_dir/bin/arm-wince-pe-$t" "$out/bin/"
    done
    install -m 755 "$driver" "$out/bin/wince-cc"

    local cc=("$out/bin/wince-cc" "--wince-tools=$out/bin") f running=0
    local cflags=(-O2 -fbuilding-libgcc -Dinhibit_libc -DIN_LIBGCC2 -I"$stub"
        -I"$src/libgcc" -I"$src/include" -I"$src/gcc")
    for f in "${asm_funcs[@]}" "${c_funcs[@]}"; do
        if [[ " ${asm_funcs[*]} " == *" $f "* ]]; then
            run "${cc[@]}" -DL"$f" -c "$src/libgcc/config/arm/lib1funcs.S" -o "$obj/$f.o" &
        else
            run "${cc[@]}" "${cflags[@]}" -DL"$f" -c "$src/libgcc/libgcc2.c" -o "$obj/$f.o" &
        fi
        if ((++running >= jobs)); then
            wait -n || fail "compiling a helper failed"
            running=$((running - 1))
        fi
    done
    while ((running > 0)); do
        wait -n || fail "compiling a helper failed"
        running=$((running - 1))
    done
    run "$out/bin/arm-wince-pe-ar" rcs "$out/lib/libgcc-wince.a" "$obj"/*.o

    # Every helper the archive calls is in the archive.
    local nm=$out/bin/arm-wince-pe-nm missing
    missing=$(comm -23 \
        <("$nm" -u "$out/lib/libgcc-wince.a" | awk '$1 == "U" { print $2 }' | sort -u) \
        <("$nm" -g --defined-only "$out/lib/libgcc-wince.a" | awk 'NF == 3 { print $3 }' | sort -u))
    [ -z "$missing" ] || fail "libgcc-wince.a calls what it lacks: $missing"
}

# All of the run is one function, read whole before it starts: editing this
# file while a build runs cannot change what that build does next.
main() {
    if complete "$toolchain_dir"; then
        echo "$toolchain_dir"
        exit 0
    fi

    mkdir -p "$root"
    # One build at a time per cache root (two configures may start together).
    exec 9>"$root/.lock"
    flock 9
    if complete "$toolchain_dir"; then
        echo "$toolchain_dir"
        exit 0
    fi
    # Left by a build that was killed outright; no build runs now (the lock).
    rm -rf "$root"/.building.*

    # One stage in a scratch folder of its own, with its log there: the
    # function fills $work/entry, which, with the log in it, then becomes
    # the stage's folder, made anew.
    stage() {  # FUNCTION DIR
        work=$(mktemp -d "$root/.building.XXXXXX")
        log=$work/build.log
        : >"$log"
        rm -rf "$2"
        "$1"
        mv "$log" "$work/entry/build.log"
        log=$work/entry/build.log
        mv "$work/entry" "$2"
        log=$2/build.log
        rm -rf "$work"
        work=
    }

    start=$SECONDS
    complete "$binutils_dir" || stage build_binutils "$binutils_dir"
    stage build_helpers "$toolchain_dir"
    say "done in $((SECONDS - start)) s"
    echo "$toolchain_dir"
}

main "$@"
exit
