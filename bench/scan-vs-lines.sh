#!/usr/bin/env bash
# A detect-only scan of a large REGEDIT4 export against Python splitting the
# same file into lines, in the same run, and the scan's peak memory against
# the file's size.
#   bench/scan-vs-lines.sh PORTMEDIC_SCAN [MEGABYTES] [WORK_DIR]
set -euo pipefail
scan=$1
megabytes=${2:-50}
work=${3:-$(mktemp -d)}
mkdir -p "$work"
file=$work/export-${megabytes}mb.reg

# A device export grown to size: loaded drivers, their driver keys with
# strings, dwords and wrapped binary data, comments; one damaged port.
python3 - "$file" "$megabytes" <<'PY'
import sys
path, mb = sys.argv[1], int(sys.argv[2])
out = ["REGEDIT4\r\n\r\n"]
size = 0
i = 0
while size < mb * 1000 * 1000:
    blob = ",".join("%02x" % ((i + k) & 255) for k in range(40))
    part = (
        "; driver %d\r\n"
        "[HKEY_LOCAL_MACHINE\\Drivers\\Active\\%d]\r\n"
        "\"Hnd\"=dword:%08x\r\n\"Name\"=\"COM%d:\"\r\n\"Key\"=\"Drivers\\\\Ports\\\\P%d\"\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\Drivers\\Ports\\P%d]\r\n"
        "\"Dll\"=\"%s\"\r\n\"Prefix\"=\"COM\"\r\n\"Index\"=dword:%08x\r\n"
        "\"FriendlyName\"=\"Serial port number %d on the device\"\r\n"
        "\"Config\"=hex:%s,\\\r\n  %s\r\n\r\n"
        % (i, i, i, i % 10, i, i, "OBBTDEV.DLL" if i == 7 else "serial.dll", i % 10, i,
           blob[:71], blob[72:]))
    out.append(part)
    size += len(part)
    i += 1
open(path, "w", newline="").write("".join(out))
PY
bytes=$(stat -c %s "$file")

seconds() { local start end; start=$(date +%s.%N); "$@" >/dev/null 2>&1 || true; end=$(date +%s.%N); echo "$end - $start" | bc; }
best() { local best=999 t; for _ in 1 2 3; do t=$(seconds "$@"); best=$(echo "if ($t < $best) $t else $best" | bc); done; echo "$best"; }
python_s=$(best python3 -c "import sys; open(sys.argv[1], 'rb').read().splitlines()" "$file")
scan_s=$(best "$scan" --quiet "$file")
# (portmedic-scan exits 1 on this damaged export; the memory is all we ask.)
peak_kb=$({ /usr/bin/time -f %M "$scan" --quiet "$file" 2>&1 >/dev/null || true; } | tail -1)
repair_kb=$({ /usr/bin/time -f %M "$scan" --quiet --repair --output "$work/repaired.reg" "$file" 2>&1 >/dev/null || true; } | tail -1)
printf 'file            %d bytes (%d MB REGEDIT4 export)\n' "$bytes" "$megabytes"
printf 'python split    %.3f s\n' "$python_s"
printf 'scan (detect)   %.3f s   ratio scan/python %.2f\n' "$scan_s" "$(echo "$scan_s / $python_s" | bc -l)"
printf 'peak memory     detect %d KB = %.2f x file, repair %d KB = %.2f x file\n' \
    "$peak_kb" "$(echo "$peak_kb * 1024 / $bytes" | bc -l)" "$repair_kb" "$(echo "$repair_kb * 1024 / $bytes" | bc -l)"
