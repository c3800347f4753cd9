# Cross build for 64-bit Windows with Debian's mingw-w64 (x86_64, posix
# threads). The same sources as the 32-bit build; its test programs run under
# 64-bit Wine, which needs no 32-bit support from the Linux kernel.
set(PM_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
include(${CMAKE_CURRENT_LIST_DIR}/MingwCommon.cmake)
