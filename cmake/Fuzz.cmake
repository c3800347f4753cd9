# libFuzzer targets: every tests/fuzz/*Fuzz.cpp becomes one program, linked
# with the libraries it exercises (all built with the sanitizers of the preset).
file(GLOB PM_FUZZ_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/fuzz/*Fuzz.cpp)
foreach(source ${PM_FUZZ_SOURCES})
  get_filename_component(name ${source} NAME_WE)
  add_executable(${name} ${source})
  target_link_libraries(${name} PRIVATE pm_scan_load pm_repair pm_globals pm_registry_faults pm_text)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
endforeach()
