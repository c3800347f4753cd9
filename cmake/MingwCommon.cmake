# What both mingw-w64 toolchain files share; PM_MINGW_TRIPLE names the compiler.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${PM_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PM_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${PM_MINGW_TRIPLE}-windres)

include(${CMAKE_CURRENT_LIST_DIR}/TargetRoot.cmake)
pm_target_root(/usr/${PM_MINGW_TRIPLE})

# No libgcc, libstdc++ or libwinpthread DLL beside any program: their pieces
# are linked in statically. The C runtime stays msvcrt.dll.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")

# ctest runs every test program (and its listing of test cases) under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
