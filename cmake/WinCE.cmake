# The Pocket PC build: PORTMEDIC.exe for ARM Windows CE 3.0 and later, from
# the same sources as the desktop program. Included by the top-level
# CMakeLists.txt when the toolchain file (cmake/Toolchain-wince-arm.cmake)
# sets PM_WINCE, once the program's libraries are defined there; nothing
# after them applies here.
#
# What differs from the desktop stays in platform/: the headers a device SDK
# would give (platform/wince/include), what a device lacks (platform/wince:
# start-up, exit list, formatting, runtime, error stream) and the import
# libraries made here from platform/wince/*.def. The program imports only
# COREDLL.dll (by name) and AYGSHELL.dll (by number).
set(PM_WINCE_DIR ${CMAKE_SOURCE_DIR}/platform/wince)

# ---- the program's own code, resources and size report ------------------------
# The libraries (pm_text, pm_system with the device's pieces, pm_repair,
# pm_globals, pm_registry_win32, pm_window) are the top-level file's, built
# with the device's headers and flags set there. The resources are the
# desktop's script compiled with the toolchain's windres settings (its
# preprocessor, _WIN32_WCE, which adds the device-only resources such as
# HI_RES_AWARE) and the device's headers.
separate_arguments(PM_RC_ARGUMENTS UNIX_COMMAND "${CMAKE_RC_FLAGS_INIT}")
list(APPEND PM_RC_ARGUMENTS -I${PM_WINCE_DIR}/include)
set(PM_RC_DEPENDS ${PM_WINCE_DIR}/include/windows.h)
include(${CMAKE_SOURCE_DIR}/cmake/Program.cmake)

# ---- import libraries -----------------------------------------------------------
set(PM_COREDLL_IMPLIB ${CMAKE_BINARY_DIR}/libcoredll.a)
set(PM_AYGSHELL_IMPLIB ${CMAKE_BINARY_DIR}/libaygshell.a)
foreach(dll coredll aygshell)
  string(TOUPPER ${dll} DLL)
  add_custom_command(OUTPUT ${PM_${DLL}_IMPLIB}
    COMMAND ${PM_WINCE_DLLTOOL} -d ${PM_WINCE_DIR}/${dll}.def -l ${PM_${DLL}_IMPLIB}
    DEPENDS ${PM_WINCE_DIR}/${dll}.def
    COMMENT "Import library for ${DLL}.dll")
endforeach()
add_custom_target(pm_import_libraries DEPENDS ${PM_COREDLL_IMPLIB} ${PM_AYGSHELL_IMPLIB})

# ---- PORTMEDIC.exe -----------------------------------------------------------------
# The start-up and exit list come first; the program's allocation operators
# are the desktop program's own (app/Memory.cpp).
add_executable(portmedic ${PM_WINCE_DIR}/Startup.cpp ${PM_WINCE_DIR}/ExitList.cpp
                         ${PM_APP_DIR}/WinMain.cpp ${PM_APP_DIR}/Memory.cpp)
set_target_properties(portmedic PROPERTIES OUTPUT_NAME PORTMEDIC SUFFIX .exe)
target_link_libraries(portmedic PRIVATE pm_app)
add_dependencies(portmedic pm_resources pm_import_libraries)

# Linked by arm-wince-pe-ld as the toolchain file says (a CE GUI image for
# CE 3.0 with its relocations, entry WinMainCRTStartup), with the resources,
# the import libraries beside libgcc's helpers, and a map of what is linked
# (build/wince-arm/PORTMEDIC.map).
target_link_options(portmedic PRIVATE ${PM_RES} -Map ${CMAKE_BINARY_DIR}/PORTMEDIC.map)
target_link_libraries(portmedic PRIVATE ${PM_COREDLL_IMPLIB} ${PM_AYGSHELL_IMPLIB})
set_target_properties(portmedic PROPERTIES
  LINK_DEPENDS "${PM_RES};${PM_COREDLL_IMPLIB};${PM_AYGSHELL_IMPLIB}")

# ---- size report ----------------------------------------------------------------------
# PORTMEDIC.exe's size in bytes against its budget (32 KiB).
pm_size_report(PM_SIZE_CHECK "PORTMEDIC.exe (ARM, Windows CE)" portmedic 32768)

# ---- checks (ctest --preset wince-arm) ----------------------------------------------
enable_testing()
# What a Pocket PC loader needs of the headers and imports.
add_test(NAME wince.exe-headers
         COMMAND ${CMAKE_SOURCE_DIR}/tests/wince/check-exe.sh ${PM_WINCE_OBJDUMP}
                 $<TARGET_FILE:portmedic>)
add_test(NAME wince.size COMMAND ${PM_SIZE_CHECK})

# The program on an emulated handheld, by the native build's CE runner.
include(${CMAKE_SOURCE_DIR}/cmake/CeRunner.cmake)

# ---- the installation cabinet ---------------------------------------------------------
# build/wince-arm/PORTMEDIC.ARM.CAB: what a Pocket PC owner taps to install
# the program. Its setup file (scripts/wince-setup.py) puts PORTMEDIC.exe
# into \Program Files\PORTMEDIC and a shortcut "PORTMEDIC" into Start >
# Programs, for any ARM device (processor type 2577) from Windows CE 3.0 on;
# the installer lists it in Settings > Remove Programs as provider and name.
# PORTMEDIC.ini hands the cabinet to the desktop's application manager.
# Both are made with the program, so its checks run on what ships.
set(PM_CAB ${CMAKE_BINARY_DIR}/PORTMEDIC.ARM.CAB)
set(PM_CAB_SETUP ${CMAKE_BINARY_DIR}/PORTMEDIC.000)
set(PM_CAB_SETUP_ARGS --app PORTMEDIC --provider "PORTMEDIC developers" --processor 2577
    --min-version 3.0 --folder PORTMEDIC --shortcut PORTMEDIC PORTMEDIC.exe)
add_custom_command(OUTPUT ${PM_CAB_SETUP}
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/scripts/wince-setup.py ${PM_CAB_SETUP}
          ${PM_CAB_SETUP_ARGS}
  DEPENDS ${CMAKE_SOURCE_DIR}/scripts/wince-setup.py
  COMMENT "The installation cabinet's setup file" VERBATIM)
add_custom_command(OUTPUT ${PM_CAB}
  COMMAND ${CMAKE_SOURCE_DIR}/scripts/wince-cab.sh ${PM_CAB} PORTME~1 ${PM_CAB_SETUP}
          $<TARGET_FILE:portmedic>
  DEPENDS portmedic ${PM_CAB_SETUP} ${CMAKE_SOURCE_DIR}/scripts/wince-cab.sh
  COMMENT "The installation cabinet" VERBATIM)
add_custom_target(cab ALL DEPENDS ${PM_CAB})
set(PM_APP_MANAGER_INI ${CMAKE_BINARY_DIR}/PORTMEDIC.ini)
configure_file(${CMAKE_SOURCE_DIR}/docs/appmanager.ini ${PM_APP_MANAGER_INI} @ONLY
               NEWLINE_STYLE CRLF)

# The cabinet as a device's installer would unpack it: its members, the
# program byte for byte the one the runner runs, the scenarios on that very
# copy, its setup file as an independent reader sees it, a rebuild from
# the same inputs giving the same cabinet, and the .ini naming it.
add_test(NAME wince.cab
         COMMAND ${CMAKE_SOURCE_DIR}/tests/wince/check-cab.sh ${PM_CAB} ${PM_APP_MANAGER_INI}
                 $<TARGET_FILE:portmedic>
                 ${PM_CE_RUNNER} ${CMAKE_SOURCE_DIR}/tests/e2e ${Python3_EXECUTABLE}
                 ${PM_CAB_SETUP_ARGS})
# The reader refuses a setup file broken on purpose, each breakage by its
# own check.
add_test(NAME wince.cab-setup-breakages
         COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/wince/check-setup-file.py
                 --breakages ${PM_CAB_SETUP})

# ---- make dist-pocketpc ---------------------------------------------------------------
# The device's program in a zip with a short README.txt, the installation
# cabinet and the application manager's file. The linker already stripped
# the program (strip would mark it for one processor only), so it goes in as
# built.
set(PM_BUNDLE_README ${CMAKE_BINARY_DIR}/bundle/README.txt)
configure_file(${CMAKE_SOURCE_DIR}/docs/pocketpc-bundle.txt ${PM_BUNDLE_README} @ONLY)
add_custom_target(dist-pocketpc
  COMMAND ${CMAKE_SOURCE_DIR}/scripts/dist-zip.sh
          ${CMAKE_BINARY_DIR}/portmedic-${PROJECT_VERSION}-pocketpc-arm.zip ${PM_BUNDLE_README}
          ${PM_WINCE_OBJDUMP} - pei-arm-wince-little "coredll.dll aygshell.dll"
          $<TARGET_FILE:portmedic> -- ${PM_CAB} ${PM_APP_MANAGER_INI}
  DEPENDS portmedic cab
  COMMENT "The Pocket PC bundle" VERBATIM)
