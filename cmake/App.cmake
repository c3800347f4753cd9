# The Windows program: PORTMEDIC.exe, our aygshell.dll stand-in for the
# Pocket PC shell, their tests, the end-to-end driver and the size report.
# Included by the top-level CMakeLists.txt in the Windows builds only.

# Size matters on a handheld: the program and the shell are built small
# (PM_LIBRARY_FLAGS, the same settings as the libraries they link), without
# libstdc++ (app/Memory.cpp supplies the allocation operators).

# pm_app, the resources and the size report, as the device build has them;
# the resource compiler needs nothing of its own here.
set(PM_RC_ARGUMENTS)
set(PM_RC_DEPENDS)
include(${CMAKE_SOURCE_DIR}/cmake/Program.cmake)
pm_library_settings(pm_app)

set(PM_SHELL_DIR ${CMAKE_SOURCE_DIR}/aygshell)

# ---- aygshell.dll: exports by number only ----------------------------------
# The .def names carry the i686 stdcall decoration; x86_64 has none.
file(READ ${PM_SHELL_DIR}/aygshell.def PM_SHELL_DEF)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  string(REGEX REPLACE "@[0-9]+ @" " @" PM_SHELL_DEF "${PM_SHELL_DEF}")
endif()
set(PM_SHELL_DEF_FILE ${CMAKE_BINARY_DIR}/aygshell.def)
file(WRITE ${PM_SHELL_DEF_FILE} "${PM_SHELL_DEF}")

function(pm_add_shell target source folder)
  add_library(${target} SHARED ${source} ${PM_SHELL_DEF_FILE})
  set_target_properties(${target} PROPERTIES PREFIX "" OUTPUT_NAME aygshell
                        RUNTIME_OUTPUT_DIRECTORY ${folder} LIBRARY_OUTPUT_DIRECTORY ${folder})
  pm_library_settings(${target})
  # No C++ runtime: the shell uses the Windows API and msvcrt only.
  target_link_options(${target} PRIVATE -nostdlib -s -Wl,--kill-at -Wl,--gc-sections)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    target_link_options(${target} PRIVATE -Wl,-e,_DllMain@12)
  else()
    target_link_options(${target} PRIVATE -Wl,-e,DllMain)
  endif()
  target_link_libraries(${target} PRIVATE user32 gdi32 kernel32 msvcrt)
endfunction()
pm_add_shell(aygshell ${PM_SHELL_DIR}/Aygshell.cpp ${CMAKE_BINARY_DIR})

# The import library a device SDK would give: every entry by number.
set(PM_SHELL_IMPLIB ${CMAKE_BINARY_DIR}/libaygshell-import.a)
add_custom_command(OUTPUT ${PM_SHELL_IMPLIB}
  COMMAND ${PM_MINGW_TRIPLE}-dlltool -d ${PM_SHELL_DEF_FILE} -l ${PM_SHELL_IMPLIB} -k
  DEPENDS ${PM_SHELL_DEF_FILE}
  COMMENT "Import library for aygshell.dll")
add_custom_target(pm_shell_implib DEPENDS ${PM_SHELL_IMPLIB})

# ---- PORTMEDIC.exe ----------------------------------------------------------
# The program links the same library builds as its tests.
add_executable(portmedic WIN32 ${PM_APP_DIR}/WinMain.cpp ${PM_APP_DIR}/Memory.cpp ${PM_RES})
add_dependencies(portmedic pm_resources pm_shell_implib aygshell)
set_target_properties(portmedic PROPERTIES OUTPUT_NAME PORTMEDIC)
pm_library_settings(portmedic)
target_link_libraries(portmedic PRIVATE pm_app)
# Linked by the C driver: no libstdc++; stripped, unused code dropped, and
# no relocations (a program always loads at its own base).
set_target_properties(portmedic PROPERTIES LINKER_LANGUAGE C)
target_link_options(portmedic PRIVATE -s -Wl,--gc-sections -Wl,--disable-reloc-section)
target_link_libraries(portmedic PRIVATE ${PM_SHELL_IMPLIB})

# No unwinding tables, for the size budget (cmake/NoUnwindTables.cmake says
# why and how); build/<preset>/PORTMEDIC.map shows what is linked.
include(${CMAKE_SOURCE_DIR}/cmake/NoUnwindTables.cmake)
pm_link_without_unwind_tables(portmedic ${CMAKE_BINARY_DIR}/PORTMEDIC.map)

# ---- size report --------------------------------------------------------------
# Each file's size in bytes against its budget (40 KiB and 24 KiB).
pm_size_report(PM_SIZE_CHECK PORTMEDIC.exe portmedic 40960 aygshell.dll aygshell 24576)

# ---- tests ---------------------------------------------------------------------
if(PORTMEDIC_TESTS)
  # Window texts for the tests and the end-to-end driver.
  add_library(pm_test_window STATIC ${CMAKE_SOURCE_DIR}/tests/support/WindowText.cpp)
  target_link_libraries(pm_test_window PUBLIC pm_text)

  # The window procedure and the start-up, driven in-process, with a shell
  # that records what it is handed; and the program's resources read back.
  pm_add_suite(app_tests app pm_app pm_test_window)
  target_sources(app_tests PRIVATE ${PM_RES})
  add_dependencies(app_tests pm_resources portmedic)
  file(TO_NATIVE_PATH "${CMAKE_BINARY_DIR}/PORTMEDIC.exe" PM_EXE_NATIVE)
  string(REPLACE "/" "\\\\" PM_EXE_WIN "Z:${CMAKE_BINARY_DIR}/PORTMEDIC.exe")
  target_compile_definitions(app_tests PRIVATE "PM_PROGRAM_PATH=L\"${PM_EXE_WIN}\"")

  # The shell on its own: loaded by number from the built aygshell.dll.
  pm_add_suite(aygshell_tests aygshell pm_test_window)
  target_sources(aygshell_tests PRIVATE ${PM_RES})
  add_dependencies(aygshell_tests pm_resources aygshell)
  target_compile_definitions(aygshell_tests PRIVATE UNICODE _UNICODE)
  string(REPLACE "/" "\\\\" PM_SHELL_WIN "Z:${CMAKE_BINARY_DIR}/aygshell.dll")
  target_compile_definitions(aygshell_tests PRIVATE "PM_SHELL_PATH=L\"${PM_SHELL_WIN}\"")

  # End to end: the driver, a copy of the program beside a shell without a
  # menu bar, and the script that runs them.
  add_executable(portmedic_e2e ${CMAKE_SOURCE_DIR}/tests/e2e/Driver.cpp)
  target_compile_definitions(portmedic_e2e PRIVATE UNICODE _UNICODE)
  target_link_options(portmedic_e2e PRIVATE -municode)
  target_link_libraries(portmedic_e2e PRIVATE pm_globals pm_test_window pm_text advapi32 gdi32)
  set(PM_NO_BAR_DIR ${CMAKE_BINARY_DIR}/no-menu-bar)
  pm_add_shell(aygshell_no_menu_bar ${CMAKE_SOURCE_DIR}/tests/e2e/NoMenuBarShell.cpp
               ${PM_NO_BAR_DIR})
  add_custom_command(TARGET portmedic POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PM_NO_BAR_DIR}
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:portmedic> ${PM_NO_BAR_DIR}/)
  add_test(NAME e2e.portmedic
           COMMAND ${CMAKE_SOURCE_DIR}/tests/e2e/run-e2e.sh ${CMAKE_CROSSCOMPILING_EMULATOR}
                   ${CMAKE_BINARY_DIR} ${PM_MINGW_TRIPLE}-objdump)
  set_tests_properties(e2e.portmedic PROPERTIES TIMEOUT 600 RUN_SERIAL TRUE)
endif()
