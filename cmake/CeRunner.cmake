# The CE runner (tests/cerunner): the device program on an emulated
# StrongARM, with COREDLL and AYGSHELL stubbed. The native build makes the
# runner (where Unicorn is installed) and runs its own checks; the
# wince-arm build runs the scenarios with that runner on its PORTMEDIC.exe.
if(NOT CMAKE_CROSSCOMPILING)
  find_library(UNICORN_LIBRARY unicorn)
  find_path(UNICORN_INCLUDE_DIR unicorn/unicorn.h)
  if(UNICORN_LIBRARY AND UNICORN_INCLUDE_DIR)
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/cerunner/*.cpp)
    add_executable(ce_runner ${sources})
    target_include_directories(ce_runner PRIVATE ${UNICORN_INCLUDE_DIR})
    target_link_libraries(ce_runner PRIVATE ${UNICORN_LIBRARY} pm_repair pm_globals
                                            pm_registry_faults pm_regfile pm_files)
    set_target_properties(ce_runner PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
    pm_quick_to_build(ce_runner)
    add_test(NAME ce_runner.self-test COMMAND ce_runner --self-test)
  endif()
endif()

# The wince-arm build (cmake/WinCE.cmake includes this file once the program
# exists): the scenarios on its PORTMEDIC.exe, by the native build's runner.
if(PM_WINCE AND TARGET portmedic)
  enable_testing()
  # The runner where the native preset builds it (CMakePresets.json names
  # the folder); -DPM_CE_RUNNER=FILE takes another.
  file(READ ${CMAKE_SOURCE_DIR}/CMakePresets.json presets)
  string(JSON count LENGTH "${presets}" configurePresets)
  math(EXPR last "${count} - 1")
  foreach(i RANGE ${last})
    string(JSON name GET "${presets}" configurePresets ${i} name)
    if(name STREQUAL "native")
      string(JSON native_dir GET "${presets}" configurePresets ${i} binaryDir)
    endif()
  endforeach()
  string(REPLACE "\${sourceDir}" "${CMAKE_SOURCE_DIR}" native_dir "${native_dir}")
  set(PM_CE_RUNNER ${native_dir}/ce_runner CACHE FILEPATH "The CE runner of the native build")
  set(run ${PM_CE_RUNNER} $<TARGET_FILE:portmedic> ${CMAKE_SOURCE_DIR}/tests/e2e)
  add_test(NAME ce_runner.scenarios COMMAND ${run})
  # The loaded image's protections: no store into its code or read-only data.
  add_test(NAME ce_runner.image COMMAND ${PM_CE_RUNNER} --self-test $<TARGET_FILE:portmedic>)
  # The runner broken on purpose must notice: without relocation every
  # scenario fails; an import the device lacks stops the program at load,
  # as CE's loader does, naming the import; and where the device's COREDLL
  # has no RegFlushKey, the hive-based registry loses the repair at the
  # soft reset.
  add_test(NAME ce_runner.skip-relocation COMMAND ${run} --skip-relocation)
  set_tests_properties(ce_runner.skip-relocation PROPERTIES
                       PASS_REGULAR_EXPRESSION "\n0 passed, [1-9][0-9]* failed")
  add_test(NAME ce_runner.missing-stub COMMAND ${run} --drop-stub COREDLL!DrawTextW)
  set_tests_properties(ce_runner.missing-stub PROPERTIES PASS_REGULAR_EXPRESSION
                       "load: the program imports COREDLL!DrawTextW, which the runner has no stub")
  add_test(NAME ce_runner.unflushed-repair COMMAND ${run} --drop-stub COREDLL!RegFlushKey)
  set_tests_properties(ce_runner.unflushed-repair PROPERTIES PASS_REGULAR_EXPRESSION
                       "read back [^\n]*Serial5: OBBTDEV.DLL, want BTCEIF.DLL")
endif()
