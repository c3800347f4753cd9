# The CE runner (tests/cerunner): the device program on an emulated
# StrongARM, with COREDLL and AYGSHELL stubbed. The native build makes the
# runner (where Unicorn is installed) and runs its alignment table; the
# wince-arm build runs the scenarios with that runner on its PORTMEDIC.exe.
if(NOT CMAKE_CROSSCOMPILING)
  find_library(UNICORN_LIBRARY unicorn)
  find_path(UNICORN_INCLUDE_DIR unicorn/unicorn.h)
  if(UNICORN_LIBRARY AND UNICORN_INCLUDE_DIR)
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/cerunner/*.cpp)
    add_executable(ce_runner ${sources})
    target_include_directories(ce_runner PRIVATE ${UNICORN_INCLUDE_DIR})
    target_link_libraries(ce_runner PRIVATE ${UNICORN_LIBRARY} pm_repair pm_globals
                                            pm_registry_faults)
    set_target_properties(ce_runner PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
    add_test(NAME ce_runner.alignment COMMAND ce_runner --alignment)
  endif()
endif()
