# What the desktop (cmake/App.cmake) and the Pocket PC (cmake/WinCE.cmake)
# builds of PORTMEDIC.exe share: the program's code but WinMain, its
# compiled resources and its size report. Each build includes this file
# first, having set
#   PM_RC_ARGUMENTS  what its resource compiler needs before the include
#                    folders of the program (may be empty)
#   PM_RC_DEPENDS    headers of its own the resource script reads (may be empty)
find_package(Python3 REQUIRED COMPONENTS Interpreter)

set(PM_APP_DIR ${CMAKE_SOURCE_DIR}/app)

# Everything but WinMain, so the desktop tests can drive the window procedure.
add_library(pm_app STATIC ${PM_APP_DIR}/Startup.cpp ${PM_APP_DIR}/MainWindow.cpp
                          ${PM_APP_DIR}/AboutDialog.cpp)
target_link_libraries(pm_app PUBLIC pm_repair pm_globals pm_registry_win32 pm_window pm_text)

# The icon, drawn from its pixel map, and the resources compiled once into
# an object every user links.
include(${CMAKE_SOURCE_DIR}/cmake/Icon.cmake)
add_custom_target(pm_icon DEPENDS ${PM_ICON})
set(PM_RES ${CMAKE_BINARY_DIR}/app/portmedic.res.o)
add_custom_command(OUTPUT ${PM_RES}
  COMMAND ${CMAKE_RC_COMPILER} ${PM_RC_ARGUMENTS} -I${CMAKE_SOURCE_DIR} -I${CMAKE_BINARY_DIR}/app
          -i ${PM_APP_DIR}/portmedic.rc -O coff -o ${PM_RES}
  DEPENDS ${PM_APP_DIR}/portmedic.rc ${PM_APP_DIR}/resource.h ${PM_ICON} ${PM_RC_DEPENDS}
  COMMENT "Compiling the resources")
add_custom_target(pm_resources DEPENDS ${PM_RES})

# pm_size_report(VAR LABEL TARGET BUDGET [LABEL TARGET BUDGET ...]): the
# `size` target, which prints each target's file size in bytes against its
# budget and fails when one is over (scripts/size-report.sh); VAR gets the
# same command, for a test.
function(pm_size_report var)
  set(check ${CMAKE_SOURCE_DIR}/scripts/size-report.sh)
  set(targets)
  while(ARGN)
    list(POP_FRONT ARGN label target budget)
    list(APPEND check ${label} $<TARGET_FILE:${target}> ${budget})
    list(APPEND targets ${target})
  endwhile()
  add_custom_target(size COMMAND ${check} DEPENDS ${targets} VERBATIM)
  set(${var} ${check} PARENT_SCOPE)
endfunction()
