# Cross build for Pocket PC handhelds: ARM Windows CE 3.0 and later.
#
# Debian has no compiler for this target: scripts/wince-toolchain.sh builds
# binutils for arm-wince-pe and libgcc's ARM helpers from Debian's source
# packages into a cache folder (once; later runs find it), and
# scripts/wince-cc compiles with Debian's ARM GCC, rewriting its assembly for
# the CE assembler. Objects are linked by arm-wince-pe-ld directly.
#
# For the project:
#   PM_WINCE                ON: the top-level CMakeLists.txt takes its CE branch
#   PM_WINCE_TOOLCHAIN_DIR  the toolchain folder (bin/, lib/)
#   PM_WINCE_TOOLS          its bin/ (arm-wince-pe-as, -ld, -dlltool, ...)
#   PM_WINCE_LIBGCC         lib/libgcc-wince.a (linked into every program)
#   PM_WINCE_DLLTOOL        import libraries from .def files
#   PM_WINCE_OBJDUMP, PM_WINCE_NM
#   PM_WINCE_LINK_FLAGS     what every executable is linked with (a list)
# The system name is Generic, not WindowsCE: CMake's WindowsCE platform is
# the Visual Studio one (MSVC flags, WIN32 set). Neither WIN32 nor UNIX is
# set here, so the desktop branches stay off.
set(CMAKE_SYSTEM_NAME Generic)
set(CMAKE_SYSTEM_PROCESSOR arm)

set(PM_WINCE ON CACHE BOOL "Pocket PC (ARM Windows CE) build" FORCE)

# The cache root is kept from the first configure, so a re-configure that a
# build starts later (without the first one's environment) finds it again.
if(NOT PM_WINCE_TOOLCHAIN_ROOT)
  if(DEFINED ENV{PORTMEDIC_WINCE_TOOLCHAIN})
    set(_pm_root "$ENV{PORTMEDIC_WINCE_TOOLCHAIN}")
  else()
    get_filename_component(_pm_root "${CMAKE_CURRENT_LIST_DIR}/../build/wince-toolchain" ABSOLUTE)
  endif()
  set(PM_WINCE_TOOLCHAIN_ROOT "${_pm_root}" CACHE PATH "Cache root of the CE toolchain builds")
endif()

# The script is run once per configure (try_compile projects get its answer
# through CMAKE_TRY_COMPILE_PLATFORM_VARIABLES): cheap when the toolchain is
# cached, and it notices a changed driver or source package.
get_property(_pm_dir GLOBAL PROPERTY PM_WINCE_TOOLCHAIN_DIR_SEEN)
if(NOT _pm_dir AND PM_WINCE_TOOLCHAIN_DIR AND PM_WINCE_TRY_COMPILE)
  set(_pm_dir "${PM_WINCE_TOOLCHAIN_DIR}")
endif()
if(NOT _pm_dir)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env "PORTMEDIC_WINCE_TOOLCHAIN=${PM_WINCE_TOOLCHAIN_ROOT}"
            bash "${CMAKE_CURRENT_LIST_DIR}/../scripts/wince-toolchain.sh"
    OUTPUT_VARIABLE _pm_out
    RESULT_VARIABLE _pm_rc)
  if(NOT _pm_rc EQUAL 0)
    message(FATAL_ERROR "scripts/wince-toolchain.sh failed (${_pm_rc}); packages: scripts/install-deps.sh wince")
  endif()
  string(STRIP "${_pm_out}" _pm_out)
  string(REGEX REPLACE ".*\n" "" _pm_dir "${_pm_out}")
  set_property(GLOBAL PROPERTY PM_WINCE_TOOLCHAIN_DIR_SEEN "${_pm_dir}")
endif()
set(PM_WINCE_TOOLCHAIN_DIR "${_pm_dir}" CACHE PATH "CE toolchain folder" FORCE)
set(PM_WINCE_TRY_COMPILE ON)
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES PM_WINCE_TOOLCHAIN_DIR PM_WINCE_TRY_COMPILE
     PM_WINCE_TOOLCHAIN_ROOT)

set(PM_WINCE_TOOLS "${PM_WINCE_TOOLCHAIN_DIR}/bin")
set(PM_WINCE_LIBGCC "${PM_WINCE_TOOLCHAIN_DIR}/lib/libgcc-wince.a")
set(PM_WINCE_DLLTOOL "${PM_WINCE_TOOLS}/arm-wince-pe-dlltool")
set(PM_WINCE_OBJDUMP "${PM_WINCE_TOOLS}/arm-wince-pe-objdump")
set(PM_WINCE_NM "${PM_WINCE_TOOLS}/arm-wince-pe-nm")

# The driver beside the tools is the one that built libgcc-wince.a; it finds
# the assembler next to itself.
set(CMAKE_C_COMPILER "${PM_WINCE_TOOLS}/wince-cc")
set(CMAKE_CXX_COMPILER "${PM_WINCE_TOOLS}/wince-cc")
set(CMAKE_RC_COMPILER "${PM_WINCE_TOOLS}/arm-wince-pe-windres")
# A new toolchain folder (changed driver or sources) means new compilers:
# CMake keeps the compiler it found first in CMakeFiles/<version>/, so that
# record goes and CMake identifies the new one.
foreach(_pm_lang C CXX RC)
  set(_pm_record "${CMAKE_BINARY_DIR}/CMakeFiles/${CMAKE_VERSION}/CMake${_pm_lang}Compiler.cmake")
  if(EXISTS "${_pm_record}")
    file(STRINGS "${_pm_record}" _pm_line REGEX "^set\\(CMAKE_${_pm_lang}_COMPILER \"")
    if(NOT _pm_line STREQUAL "set(CMAKE_${_pm_lang}_COMPILER \"${CMAKE_${_pm_lang}_COMPILER}\")")
      file(REMOVE "${_pm_record}")
    endif()
  endif()
endforeach()
set(CMAKE_AR "${PM_WINCE_TOOLS}/arm-wince-pe-ar" CACHE FILEPATH "" FORCE)
set(CMAKE_RANLIB "${PM_WINCE_TOOLS}/arm-wince-pe-ranlib" CACHE FILEPATH "" FORCE)
set(CMAKE_LINKER "${PM_WINCE_TOOLS}/arm-wince-pe-ld" CACHE FILEPATH "" FORCE)
set(CMAKE_OBJDUMP "${PM_WINCE_OBJDUMP}" CACHE FILEPATH "" FORCE)
set(CMAKE_NM "${PM_WINCE_NM}" CACHE FILEPATH "" FORCE)
set(CMAKE_STRIP "" CACHE FILEPATH "" FORCE)  # strip would set the 0x4000 header flag; ld -s strips

# Compiler checks build a library: nothing here links without the program's
# own start-up code.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)

# Resources: windres with the cross preprocessor (the host gcc would define
# __linux__ and use glibc's headers).
set(CMAKE_RC_FLAGS_INIT
    "--preprocessor=arm-linux-gnueabi-cpp --preprocessor-arg=-xc --preprocessor-arg=-nostdinc --preprocessor-arg=-DRC_INVOKED --preprocessor-arg=-U__linux__ --preprocessor-arg=-U__unix__ -D_WIN32_WCE=0x300 -DUNDER_CE -DARM -D_ARM_")
set(CMAKE_RC_COMPILE_OBJECT "<CMAKE_RC_COMPILER> -O coff <DEFINES> <INCLUDES> <FLAGS> <SOURCE> <OBJECT>")

# The CE image: subsystem CE GUI 3.00 (a 4.20 or later value would not load
# on CE 3.0), CE's 64 KiB stack, no ASLR/NX bits (binutils 2.40 sets them by
# default; CE rejects neither but they mean nothing there), base relocations
# kept so CE can load the image at another address, stripped by ld (strip
# would set the "uniprocessor only" flag), unused sections dropped, and no
# link time in the header (0), so that a rebuild gives the same program and
# the same installation cabinet.
set(PM_WINCE_LINK_FLAGS
    --subsystem wince:3.00 --major-os-version 3 --minor-os-version 0
    --stack 0x10000,0x1000 --disable-dynamicbase --disable-nxcompat
    --enable-reloc-section -s --gc-sections -e WinMainCRTStartup --no-insert-timestamp)
list(JOIN PM_WINCE_LINK_FLAGS " " _pm_link_flags)
foreach(_pm_lang C CXX)
  set(CMAKE_${_pm_lang}_LINK_EXECUTABLE
      "<CMAKE_LINKER> ${_pm_link_flags} <LINK_FLAGS> <OBJECTS> -o <TARGET> --start-group <LINK_LIBRARIES> \"${PM_WINCE_LIBGCC}\" --end-group")
endforeach()

# Per language: the Generic platform resets CMAKE_EXECUTABLE_SUFFIX after
# this file is read.
set(CMAKE_EXECUTABLE_SUFFIX_C .exe)
set(CMAKE_EXECUTABLE_SUFFIX_CXX .exe)

# Nothing from the host: the device has no libraries or headers but the
# program's own.
include(${CMAKE_CURRENT_LIST_DIR}/TargetRoot.cmake)
pm_target_root("${PM_WINCE_TOOLCHAIN_DIR}")
