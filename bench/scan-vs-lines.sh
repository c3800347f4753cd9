#!/usr/bin/env bash
# portmedic-scan on large registry exports against Debian's Python reading
# the same file and splitting it at "\r\n", in the same run, A and B in
# turn, medians of RUNS; beside them the floor: mapping the file and finding
# every line end with memchr. Each figure is printed as a ratio.
#   bench/scan-vs-lines.sh PORTMEDIC_SCAN [MEGABYTES] [WORK_DIR] [RUNS]
# The files:
#   device    a device-shaped REGEDIT4 export: mostly settings keys of other
#             programs, about 100 serial drivers among them, one damaged
#   device5   the same content as a version 5 UTF-16 export
#   drivers   every section a loaded driver and its driver key, each reported
# and the device file at 10, MEGABYTES and 200 MB for the growth.
set -euo pipefail
scan=$1
megabytes=${2:-50}
work=${3:-$(mktemp -d)}
runs=${4:-5}
mkdir -p "$work"
# Debian's interpreter itself: a version manager's shim on PATH would add
# its own start to every run.
python=/usr/bin/python3

# The floor: map the file and find every line end.
cat >"$work/floor.c" <<'C'
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
int main(int argc, char** argv) {
    int fd = open(argv[1], O_RDONLY);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0) return 2;
    const char* p = mmap(0, st.st_size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (p == MAP_FAILED) return 2;
    const char* end = p + st.st_size;
    size_t lines = 0;
    for (const char* at = p; (at = memchr(at, '\n', end - at)); ++at) ++lines;
    return lines == 0;
}
C
cc -O2 -o "$work/floor" "$work/floor.c"

generate() {  # KIND MEGABYTES FILE
    "$python" - "$@" <<'PY'
import sys
kind, mb, path = sys.argv[1], int(sys.argv[2]), sys.argv[3]
limit = mb * 1000 * 1000
out, size = [], 0
def put(text):
    global size
    out.append(text)
    size += len(text)
def blob(i, n):
    b = ",".join("%02x" % ((i + k) & 255) for k in range(n))
    return b[:71] + ",\\\r\n  " + b[72:]
def driver(i, active, key, dll):
    put("[HKEY_LOCAL_MACHINE\\Drivers\\Active\\%s]\r\n\"Hnd\"=dword:%08x\r\n"
        "\"Name\"=\"COM%d:\"\r\n\"Key\"=\"%s\"\r\n\r\n" % (active, i, i % 10, key.replace("\\", "\\\\")))
    put("[HKEY_LOCAL_MACHINE\\%s]\r\n\"Dll\"=\"%s\"\r\n\"Prefix\"=\"COM\"\r\n"
        "\"Index\"=dword:%08x\r\n\"FriendlyName\"=\"Serial port number %d on the device\"\r\n"
        "\"Config\"=hex:%s\r\n\r\n" % (key, dll, i % 10, i, blob(i, 40)))
def setting(i):
    put("; program %d\r\n[HKEY_LOCAL_MACHINE\\Software\\Vendor%d\\Program%d\\Settings]\r\n"
        "\"Path\"=\"\\\\Program Files\\\\Program%d\\\\main.exe\"\r\n\"Version\"=dword:%08x\r\n"
        "\"Window\"=hex:%s\r\n\"Title\"=\"Settings of program %d\"\r\n\r\n"
        "[HKEY_CURRENT_USER\\ControlPanel\\Program%d]\r\n\"Shown\"=dword:00000001\r\n"
        "\"Recent\"=hex(7):41,00,3a,00,5c,00,00,00,00,00\r\n\r\n"
        % (i, i % 50, i, i, i, blob(i, 40), i, i))
put("REGEDIT4\r\n\r\n")
if kind == "drivers":
    i = 0
    while size < limit:
        driver(i, str(i), "Drivers\\Ports\\P%d" % i, "OBBTDEV.DLL" if i == 7 else "serial.dll")
        i += 1
else:
    i = 0
    while size < limit / 2:
        setting(i); i += 1
    for n in range(100):  # built-in ports and USB ones, as a device has them
        key = "Drivers\\BuiltIn\\Serial%d" % n if n % 2 else "Drivers\\USB\\Serial%d" % n
        driver(n, "%02d" % n, key, "OBBTDEV.DLL" if n == 7 else "serial.dll")
    while size < limit:
        setting(i); i += 1
text = "".join(out)
if kind == "device5":
    text = "Windows Registry Editor Version 5.00" + text[len("REGEDIT4"):]
    open(path, "wb").write(b"\xff\xfe" + text.encode("utf-16-le"))
else:
    open(path, "w", newline="", encoding="latin-1").write(text)
PY
}

seconds() {  # the wall time of one run, output and status ignored
    local start end
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1 || true
    end=$(date +%s%N)
    echo $(((end - start) / 1000))
}
median() { sort -n | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}'; }
peak_kb() { { /usr/bin/time -f %M "$@" 2>&1 >/dev/null || true; } | tail -1; }

# Medians of alternating runs: python, scan, floor, each in turn.
measure() {  # FILE SCAN_ARGS...
    local file=$1
    shift
    local p=() s=() f=()
    for _ in $(seq "$runs"); do
        p+=("$(seconds "$python" -c "import sys; open(sys.argv[1], 'rb').read().split(b'\r\n')" "$file")")
        s+=("$(seconds "$scan" "$@" "$file")")
        f+=("$(seconds "$work/floor" "$file")")
    done
    py_us=$(printf '%s\n' "${p[@]}" | median)
    scan_us=$(printf '%s\n' "${s[@]}" | median)
    floor_us=$(printf '%s\n' "${f[@]}" | median)
}
ratio() { echo "scale=3; $1 / $2" | bc; }

report() {  # LABEL FILE SCAN_ARGS...
    local label=$1 file=$2
    shift 2
    measure "$file" "$@"
    local bytes kb
    bytes=$(stat -c %s "$file")
    kb=$(peak_kb "$scan" "$@" "$file")
    printf '%-22s %4d MB  python %6.1f ms  floor %5.1f ms  scan %6.1f ms = %5.2fx python (floor %4.2fx)  peak %4.2fx file\n' \
        "$label" $((bytes / 1000000)) "$(ratio "$py_us" 1000)" "$(ratio "$floor_us" 1000)" \
        "$(ratio "$scan_us" 1000)" "$(ratio "$scan_us" "$py_us")" "$(ratio "$floor_us" "$py_us")" \
        "$(ratio "$((kb * 1024))" "$bytes")"
    last_us=$scan_us
}

for kind in device device5 drivers; do
    [ -f "$work/$kind-$megabytes.reg" ] || generate "$kind" "$megabytes" "$work/$kind-$megabytes.reg"
done
echo "goals: detect <= 0.5x (aim 0.25x), peak <= 1.2x file; repair <= 2x; drivers <= 1x;"
echo "       version 5 UTF-16 <= 2x the 8-bit scan; 10/50/200 MB within 15% of a line"
report "device detect" "$work/device-$megabytes.reg" --quiet
device_us=$last_us
report "device repair" "$work/device-$megabytes.reg" --quiet --repair --output "$work/repaired.reg"
report "device5 detect" "$work/device5-$megabytes.reg" --quiet
printf 'version 5 UTF-16 / 8-bit scan time: %.2fx\n' "$(ratio "$last_us" "$device_us")"
report "drivers detect" "$work/drivers-$megabytes.reg" --quiet

# Growth: time per MB at 10, MEGABYTES and 200 MB against the straight line
# through the smallest and the largest.
sizes=(10 "$megabytes" 200)
times=()
peaks=()
for mb in "${sizes[@]}"; do
    [ -f "$work/device-$mb.reg" ] || generate device "$mb" "$work/device-$mb.reg"
    measure "$work/device-$mb.reg" --quiet
    times+=("$scan_us")
    peaks+=("$(peak_kb "$scan" --quiet "$work/device-$mb.reg")")
done
line_mid=$(echo "${times[0]} + (${times[2]} - ${times[0]}) * (${sizes[1]} - ${sizes[0]}) / (${sizes[2]} - ${sizes[0]})" | bc -l)
printf 'growth: %d MB %.1f ms, %d MB %.1f ms, %d MB %.1f ms; middle %.2fx the straight line\n' \
    "${sizes[0]}" "$(ratio "${times[0]}" 1000)" "${sizes[1]}" "$(ratio "${times[1]}" 1000)" \
    "${sizes[2]}" "$(ratio "${times[2]}" 1000)" "$(ratio "${times[1]}" "$line_mid")"
peak_mid=$(echo "${peaks[0]} + (${peaks[2]} - ${peaks[0]}) * (${sizes[1]} - ${sizes[0]}) / (${sizes[2]} - ${sizes[0]})" | bc -l)
printf 'growth of peak memory: %d, %d, %d MB; middle %.2fx the straight line\n' \
    $((peaks[0] / 1024)) $((peaks[1] / 1024)) $((peaks[2] / 1024)) "$(ratio "${peaks[1]}" "$peak_mid")"
