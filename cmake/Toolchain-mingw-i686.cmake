# Cross build for 32-bit Windows with Debian's mingw-w64 (i686, posix threads):
# 32-bit like the handhelds, so every Win32 record has the devices' size.
# Test programs run under Wine through scripts/wine-run.sh.
set(PM_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86)
include(${CMAKE_CURRENT_LIST_DIR}/MingwCommon.cmake)
