# PORTMEDIC.exe without unwinding tables, for its size budget (make size).
#
# The program throws nothing, yet the linker's own script keeps every
# .eh_frame record of the C runtime's objects, and with them every function
# those records name (mingw-w64's C99 number reader, 17 KB, that the program
# never calls). pm_link_without_unwind_tables(target map) links target with
# the linker's own script, .eh_frame discarded, and writes a map of what is
# linked to the file map. Without the tables, the start-up objects that only
# hand them to the unwinder (crtbegin.o, crtend.o) are left out too; crt2.o,
# the C runtime's start-up, is named by hand.
#
# Fragile by nature: the script is the one this linker prints with --verbose,
# rewritten by pattern. A linker whose script spells the .eh_frame rule
# differently stops the configuration here rather than quietly giving a
# program that keeps its tables.
function(pm_link_without_unwind_tables target map)
  execute_process(COMMAND ${CMAKE_C_COMPILER} -Wl,--verbose -x c /dev/null -o /dev/null
                  OUTPUT_VARIABLE verbose ERROR_QUIET)
  string(REGEX MATCH "=====+\n(.*)\n=====+" script "${verbose}")
  set(script "${CMAKE_MATCH_1}")
  set(eh_frame_rule
      "\\.eh_frame BLOCK\\(__section_alignment__\\) :[ \n]*{[ \n]*KEEP ?\\(\\*\\(\\.eh_frame\\*\\)\\)[ \n]*}")
  string(REGEX REPLACE "${eh_frame_rule}" "/DISCARD/ : { *(.eh_frame*) }" small "${script}")
  if(small STREQUAL script)
    message(FATAL_ERROR "The linker's script has no .eh_frame rule as expected; "
                        "${target} would keep its unwinding tables")
  endif()
  set(script_file ${CMAKE_BINARY_DIR}/${target}.ld)
  file(WRITE ${script_file} "${small}")
  execute_process(COMMAND ${CMAKE_C_COMPILER} -print-file-name=crt2.o
                  OUTPUT_VARIABLE crt2 OUTPUT_STRIP_TRAILING_WHITESPACE)
  target_link_options(${target} PRIVATE -nostartfiles ${crt2} -Wl,-T,${script_file}
                      -Wl,-Map,${map})
  set_target_properties(${target} PROPERTIES LINK_DEPENDS ${script_file})
endfunction()
