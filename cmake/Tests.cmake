# The unit suites. Each folder under tests/ is one test program, built from
# every .cpp in it, so a new test file needs no edit here.
if(CMAKE_CROSSCOMPILING)
  # The cross builds (Windows, ARM Linux) compile GoogleTest from Debian's
  # sources.
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
else()
  find_package(GTest REQUIRED)
endif()
include(GoogleTest)

# Under qemu: a script that starts an ARM program under the toolchain's
# emulator, keeping its arguments, exit status and signals (exec: the
# script's process becomes the emulator's).
if(CMAKE_CROSSCOMPILING_EMULATOR AND NOT WIN32)
  set(emulator)
  foreach(word ${CMAKE_CROSSCOMPILING_EMULATOR})
    string(APPEND emulator "'${word}' ")
  endforeach()
  set(PM_EMULATED ${CMAKE_BINARY_DIR}/emulated)
  file(GENERATE OUTPUT ${PM_EMULATED} CONTENT "#!/bin/sh\nexec ${emulator}\"$@\"\n"
       FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                        WORLD_READ WORLD_EXECUTE)
endif()

add_library(pm_test_support STATIC ${CMAKE_SOURCE_DIR}/tests/support/AllocCounter.cpp)
target_link_libraries(pm_test_support PUBLIC GTest::gtest)

# The suites' own files are most of what a build compiles. Unoptimised and
# compiled as one file per program (GoogleTest's headers read once), they
# build in a third of the time; the code they test keeps its build's flags
# in the libraries. A file of a suite names nothing another file of it names
# at file level (anonymous namespaces included).
function(pm_quick_to_build target)
  target_compile_options(${target} PRIVATE -O0 $<$<CXX_COMPILER_ID:GNU>:-Wno-subobject-linkage>)
  set_target_properties(${target} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE 0)
endfunction()

function(pm_add_suite name folder)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/${folder}/*.cpp)
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE ${ARGN} pm_test_support GTest::gtest_main)
  pm_quick_to_build(${name})
  if(CMAKE_CROSSCOMPILING_EMULATOR AND NOT WIN32)
    # qemu: the few cases that read thousands of files read a sample of them.
    target_compile_definitions(${name} PRIVATE PM_EMULATED_CPU)
  endif()
  set(fixture)
  if(CMAKE_CROSSCOMPILING_EMULATOR)
    # A suite runs whole, in one process (the test NAME.run), and each case
    # reads its result from that run's report: under Wine one start per
    # suite in a prefix of its own, no two cases in one prefix at once;
    # under qemu the suite's start-up translated once, not once per case.
    set(suite_runner ${CMAKE_SOURCE_DIR}/scripts/suite-run.sh)
    if(NOT WIN32)
      list(APPEND suite_runner --with ${PM_EMULATED})
    endif()
    set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR "${suite_runner}")
    add_test(NAME ${name}.run COMMAND ${suite_runner} --run $<TARGET_FILE:${name}>
             WORKING_DIRECTORY ${CMAKE_SOURCE_DIR})
    set_tests_properties(${name}.run PROPERTIES FIXTURES_SETUP ${name}_run TIMEOUT 900)
    set(fixture PROPERTIES FIXTURES_REQUIRED ${name}_run)
  endif()
  # Natively each case is a program run of its own.
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
                       WORKING_DIRECTORY ${CMAKE_SOURCE_DIR} ${fixture})
endfunction()

pm_add_suite(text_tests text pm_text)
pm_add_suite(repair_tests repair pm_repair pm_globals pm_registry_faults pm_regfile)
pm_add_suite(unicode_tests unicode pm_unicode)
pm_add_suite(registry_tests registry pm_registry_faults)
pm_add_suite(regfile_tests regfile pm_regfile)
pm_add_suite(platform_tests platform pm_text)
pm_add_suite(scanload_tests scanload pm_scan_load pm_repair pm_globals pm_registry_faults)
if(NOT CMAKE_CROSSCOMPILING)
  # The device build's own runtime pieces (platform/wince), compiled against
  # the device's headers and renamed, so the host's C library keeps its own.
  set(PM_WINCE_RUNTIME ${CMAKE_SOURCE_DIR}/platform/wince/Format.cpp
      ${CMAKE_SOURCE_DIR}/platform/wince/Math.cpp ${CMAKE_SOURCE_DIR}/platform/wince/ExitList.cpp)
  pm_add_suite(wince_tests wince)
  target_sources(wince_tests PRIVATE ${PM_WINCE_RUNTIME})
  # These and the two below are the device's code, not the suite's: built
  # -Os as the device builds them (their own options also keep them out of
  # the suite's one file).
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=include
                  OUTPUT_VARIABLE PM_CXX_OWN_INCLUDE OUTPUT_STRIP_TRAILING_WHITESPACE)
  set_source_files_properties(${PM_WINCE_RUNTIME} TARGET_DIRECTORY wince_tests PROPERTIES
    COMPILE_OPTIONS "-Os;-nostdinc;-ffreestanding;-isystem;${CMAKE_SOURCE_DIR}/platform/wince/include;-isystem;${PM_CXX_OWN_INCLUDE}"
    COMPILE_DEFINITIONS "vsnprintf=CeVsnprintf;snprintf=CeSnprintf;_vsnprintf=CoredllVsnprintf;trunc=CeTrunc;__cxa_atexit=CeCxaAtexit;atexit=CeAtexit;__dso_handle=CeDsoHandle")
  # The case mapping and the debugger's error stream speak the device's
  # 16-bit wchar_t; the COREDLL calls they make are played by the suite, and
  # the error stream's few window declarations come from tests/wince/host
  # (the device's windows.h insists on 32 bits).
  set(PM_WINCE_WIDE ${CMAKE_SOURCE_DIR}/platform/wince/Runtime.cpp
      ${CMAKE_SOURCE_DIR}/platform/wince/DebugOutput.cpp)
  target_sources(wince_tests PRIVATE ${PM_WINCE_WIDE})
  set_source_files_properties(${PM_WINCE_WIDE} TARGET_DIRECTORY wince_tests PROPERTIES
    COMPILE_OPTIONS "-Os;-nostdinc;-ffreestanding;-fshort-wchar;-isystem;${CMAKE_SOURCE_DIR}/tests/wince/host;-isystem;${CMAKE_SOURCE_DIR}/platform/wince/include;-isystem;${PM_CXX_OWN_INCLUDE}"
    COMPILE_DEFINITIONS "_WIN32;wcstod=CoredllWcstod;stderr=CeStderr;fputs=CeFputs;fputc=CeFputc;abort=CeAbort;OutputDebugStringW=CoredllOutputDebugString;TerminateProcess=CoredllTerminateProcess")
endif()
if(WIN32)
  # The scan against Windows' own registry, in the suite's private prefix.
  pm_add_suite(win32_tests win32 pm_repair pm_globals pm_registry_win32 pm_window)
endif()

# The tool's suite runs the built portmedic-scan on temporary files, through
# the harness in tests/support/ToolHarness.h (compiled here: it names the tool),
# and the file writes in process.
pm_add_suite(cli_tests cli pm_files)
target_sources(cli_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests/support/ToolHarness.cpp)
if(WIN32 AND CMAKE_CROSSCOMPILING)
  # Under Wine the Linux root is drive Z:.
  target_compile_definitions(cli_tests PRIVATE PORTMEDIC_SCAN_TOOL="Z:$<TARGET_FILE:portmedic-scan>")
elseif(CMAKE_CROSSCOMPILING_EMULATOR)
  # qemu's user-mode emulator runs only the suite: the tool the suite starts
  # is a foreign program to this machine's kernel. A script beside the tool
  # starts it under the same emulator.
  set(PM_SCAN_EMULATED ${CMAKE_BINARY_DIR}/portmedic-scan-emulated)
  file(GENERATE OUTPUT ${PM_SCAN_EMULATED}
       CONTENT "#!/bin/sh\nexec ${emulator}'$<TARGET_FILE:portmedic-scan>' \"$@\"\n"
       FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                        WORLD_READ WORLD_EXECUTE)
  target_compile_definitions(cli_tests PRIVATE PORTMEDIC_SCAN_TOOL="${PM_SCAN_EMULATED}")
else()
  target_compile_definitions(cli_tests PRIVATE PORTMEDIC_SCAN_TOOL="$<TARGET_FILE:portmedic-scan>")
endif()
add_dependencies(cli_tests portmedic-scan)

# The tool under valgrind memcheck on both examples, repairing into the build
# folder with a fix file beside: any memory error or leak fails the test. Not
# in sanitizer builds.
find_program(VALGRIND valgrind)
if(VALGRIND AND TARGET portmedic-scan AND NOT CMAKE_CXX_FLAGS MATCHES "sanitize"
   AND NOT CMAKE_CROSSCOMPILING)
  foreach(example damaged-device clean-device)
    add_test(NAME valgrind.portmedic-scan.${example}
             COMMAND ${VALGRIND} --quiet --error-exitcode=99 --leak-check=full
                     --show-leak-kinds=all --errors-for-leak-kinds=all
                     $<TARGET_FILE:portmedic-scan> --quiet --repair
                     --output ${CMAKE_BINARY_DIR}/valgrind-${example}.reg
                     --fix-file ${CMAKE_BINARY_DIR}/valgrind-${example}-fix.reg
                     ${CMAKE_SOURCE_DIR}/examples/${example}.reg)
  endforeach()
endif()

# The installer (scripts/install-deps.sh) against a fake package manager.
if(NOT CMAKE_CROSSCOMPILING AND NOT CMAKE_CXX_FLAGS MATCHES "sanitize")
  add_test(NAME install-deps COMMAND ${CMAKE_SOURCE_DIR}/tests/scripts/install-deps-test.sh)
endif()

# Our registry files against a real regedit under Wine (native build only:
# the tool runs here, regedit in a throwaway 64-bit prefix).
if(EXISTS /usr/lib/wine/wine64 AND TARGET portmedic-scan AND NOT CMAKE_CXX_FLAGS MATCHES "sanitize"
   AND NOT CMAKE_CROSSCOMPILING)
  add_test(NAME regedit.interop
           COMMAND ${CMAKE_SOURCE_DIR}/tests/interop/regedit-interop.sh
                   $<TARGET_FILE:portmedic-scan> ${CMAKE_BINARY_DIR}/regedit-interop)
  set_tests_properties(regedit.interop PROPERTIES TIMEOUT 300)

  # Our reading of a corpus of tricky files against regedit /S.
  add_executable(regdump ${CMAKE_SOURCE_DIR}/tests/interop/RegDump.cpp)
  target_link_libraries(regdump PRIVATE pm_regfile pm_files)
  add_test(NAME regedit.differential
           COMMAND ${CMAKE_SOURCE_DIR}/tests/interop/regedit-differential.sh
                   $<TARGET_FILE:regdump> ${CMAKE_SOURCE_DIR}/tests/interop/corpus
                   ${CMAKE_BINARY_DIR}/regedit-differential)
  set_tests_properties(regedit.differential PROPERTIES TIMEOUT 300)

  # The fix file: REGFILE then its fix file import as the repaired file does.
  add_test(NAME regedit.fixfile
           COMMAND ${CMAKE_SOURCE_DIR}/tests/interop/regedit-fixfile.sh
                   $<TARGET_FILE:portmedic-scan> $<TARGET_FILE:regdump>
                   ${CMAKE_BINARY_DIR}/regedit-fixfile)
  set_tests_properties(regedit.fixfile PROPERTIES TIMEOUT 300)

  # A program that writes into its prefix's shared libraries changes no
  # later prefix (scripts/wine-run.sh).
  add_test(NAME wine.shared-prefix
           COMMAND ${CMAKE_SOURCE_DIR}/tests/scripts/wine-prefix-test.sh
                   ${CMAKE_BINARY_DIR}/wine-prefix-test)
  set_tests_properties(wine.shared-prefix PROPERTIES TIMEOUT 300)
endif()

# The device program's runner (native build, where Unicorn is installed).
include(${CMAKE_SOURCE_DIR}/cmake/CeRunner.cmake)
