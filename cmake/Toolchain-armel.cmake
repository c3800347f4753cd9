# Cross build for ARM Linux (Debian armel) with arm-linux-gnueabi-g++: the
# handhelds' kind of processor, to run the libraries' suites on ARM code.
# ARMv5TE, and `char` signed as the device's compilers have it (ARM Linux
# makes it unsigned by default). Test programs run under qemu-arm-static.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)

set(PM_ARM_TRIPLE arm-linux-gnueabi)
set(CMAKE_C_COMPILER ${PM_ARM_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${PM_ARM_TRIPLE}-g++)
set(CMAKE_C_FLAGS_INIT "-march=armv5te -fsigned-char")
set(CMAKE_CXX_FLAGS_INIT "-march=armv5te -fsigned-char")
# qemu neither faults on a misaligned load or store, as ARMv5 hardware does
# (Windows CE raises a datatype misalignment), nor rotates the word as the
# ARMv5 core itself does: every access through a pointer is checked for the
# alignment its type needs on ARM instead, and a misaligned one ends the
# program with its place (UBSan's alignment check alone).
string(APPEND CMAKE_CXX_FLAGS_INIT " -fsanitize=alignment -fno-sanitize-recover=alignment")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fsanitize=alignment")
# ARMv5 has no 64-bit atomic instructions: std::atomic<int64_t> (the tests'
# allocation counter) and the sanitizer's runtime call into libatomic.
set(CMAKE_C_STANDARD_LIBRARIES -latomic)
set(CMAKE_CXX_STANDARD_LIBRARIES -latomic)

include(${CMAKE_CURRENT_LIST_DIR}/TargetRoot.cmake)
pm_target_root(/usr/${PM_ARM_TRIPLE})

# ctest runs every test program (and its listing of test cases) under
# qemu's user-mode emulator, with the ARM C library as its root.
find_program(PM_QEMU_ARM qemu-arm-static REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${PM_QEMU_ARM} -L /usr/${PM_ARM_TRIPLE})
