#!/usr/bin/env bash
# Stands in for apt-get, dpkg, dpkg-query and id (by the name it is called
# under) in the installer's test. Every call is logged to $FAKE/calls; the
# machine it pretends to be is files in $FAKE:
#   absent       packages not installed (an install takes them out)
#   arches       foreign architectures
#   bad-arches   architectures whose package index cannot be fetched
#   unknown      packages no index has
#   broken       packages the resolver cannot install
#   lock         how many more calls find the lock held
set -u
cd "$FAKE" || exit 1
touch absent arches bad-arches unknown broken
has() { grep -qxF "$2" "$1"; }
case "$(basename "$0")" in
id) echo 0 ;;
dpkg-query)
    has absent "${!#}" && exit 1
    echo "install ok installed" ;;
dpkg)
    echo "dpkg $*" >>calls
    case "$1" in
    --print-architecture) echo amd64 ;;
    --print-foreign-architectures) cat arches ;;
    --add-architecture) echo "$2" >>arches ;;
    --remove-architecture) grep -vxF "$2" arches >arches.new; mv arches.new arches ;;
    esac ;;
apt-get)
    args=()
    while [ $# -gt 0 ]; do
        case "$1" in -o) shift ;; -*) ;; *) args+=("$1") ;; esac
        shift
    done
    echo "apt-get ${args[*]}" >>calls
    held=$(cat lock 2>/dev/null || echo 0)
    if [ "$held" -gt 0 ]; then
        echo $((held - 1)) >lock
        echo "E: Could not get lock /var/lib/dpkg/lock-frontend. It is held by process 4242 (apt-get)"
        exit 100
    fi
    status=0
    if [ "${args[0]}" = update ]; then
        for a in amd64 $(cat arches); do
            has bad-arches "$a" || continue
            echo "E: Failed to fetch http://deb.example/dists/main/binary-$a/Packages.xz  File has unexpected size (10 != 20). Mirror sync in progress?"
            status=100
        done
        [ "$status" -eq 0 ] ||
            echo "E: Some index files failed to download. They have been ignored, or old ones used instead."
        exit $status
    fi
    for p in "${args[@]:1}"; do
        arch=${p#*:}
        if has unknown "$p" || { [ "$arch" != "$p" ] && ! has arches "$arch"; }; then
            echo "E: Unable to locate package $p"; exit 100
        fi
        if has broken "$p"; then
            echo "E: Unable to correct problems, you have held broken packages."; exit 100
        fi
    done
    for p in "${args[@]:1}"; do grep -vxF "$p" absent >absent.new; mv absent.new absent; done ;;
esac
