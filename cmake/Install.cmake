# make install and make package: portmedic-scan and its manual page, and
# the Debian package of the two. Included on Linux only.
include(GNUInstallDirs)

# ---- the manual page, generated from the tool's own --help ------------------
# help2man turns --help into the synopsis, description and options, so a new
# option shows up in the page by itself; docs/portmedic-scan.h2m adds the
# exit status, the files written and examples.
find_program(HELP2MAN help2man)
find_program(GZIP gzip)
set(PM_MAN_PAGE ${CMAKE_BINARY_DIR}/man/portmedic-scan.1)
if(HELP2MAN AND GZIP)
  add_custom_command(OUTPUT ${PM_MAN_PAGE} ${PM_MAN_PAGE}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND ${HELP2MAN} --no-info --section=1 --manual=User\ Commands
            --include=${CMAKE_SOURCE_DIR}/docs/portmedic-scan.h2m
            --output=${PM_MAN_PAGE} $<TARGET_FILE:portmedic-scan>
    # -n: no name or time stamp inside, so the same page gives the same file.
    COMMAND ${GZIP} -9nkf ${PM_MAN_PAGE}
    DEPENDS portmedic-scan ${CMAKE_SOURCE_DIR}/docs/portmedic-scan.h2m
    COMMENT "Writing the manual page portmedic-scan(1)" VERBATIM)
  add_custom_target(portmedic-scan-man ALL DEPENDS ${PM_MAN_PAGE}.gz)
elseif(PORTMEDIC_TESTS)
  message(FATAL_ERROR "help2man and gzip write the manual page: run scripts/install-deps.sh")
else()
  message(STATUS "No help2man: the manual page is not built")
endif()

# ---- make install -------------------------------------------------------------
# The tool and its page, nothing else (component "tool"). The Debian files
# below are only for the package.
install(TARGETS portmedic-scan RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tool)
if(TARGET portmedic-scan-man)
  install(FILES ${PM_MAN_PAGE}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tool)
endif()

# ---- the Debian package (make package) ---------------------------------------
set(PM_DEB_NAME portmedic-scan)
set(PORTMEDIC_MAINTAINER "PORTMEDIC developers <portmedic@example.org>"
    CACHE STRING "Maintainer named in the Debian package and its changelog")
set(PM_DEB_DOC ${CMAKE_BINARY_DIR}/debian)
configure_file(${CMAKE_SOURCE_DIR}/cmake/debian/changelog.in ${PM_DEB_DOC}/changelog @ONLY)
add_custom_command(OUTPUT ${PM_DEB_DOC}/changelog.gz
  COMMAND ${GZIP} -9nkf ${PM_DEB_DOC}/changelog
  DEPENDS ${PM_DEB_DOC}/changelog VERBATIM)
add_custom_target(portmedic-deb-doc ALL DEPENDS ${PM_DEB_DOC}/changelog.gz)
install(FILES ${CMAKE_SOURCE_DIR}/cmake/debian/copyright ${PM_DEB_DOC}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${PM_DEB_NAME}
        COMPONENT debian EXCLUDE_FROM_ALL)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${PM_DEB_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${PORTMEDIC_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL tool debian)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_DEBIAN_PACKAGE_NAME ${PM_DEB_NAME})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "find and repair broken Bluetooth serial-port drivers in a Pocket PC registry
A navigation program's installer on Pocket PC handhelds changes the Dll
value of the Bluetooth serial-port drivers to ---BTCEIF.DLL or
OBBTDEV.DLL, and no other program reaches a Bluetooth GPS receiver any
more. portmedic-scan reads an export of the handheld's registry (REGEDIT4
or Windows Registry Editor Version 5.00), prints one line per serial port
and marks the damaged entries; with --repair it writes BTCEIF.DLL back
and saves the registry file, keeping the original as a backup.
.
It is the offline companion of PORTMEDIC, the program that does the same on
the handheld itself.")
include(CPack)

# ---- test: install, run the installed tool, read its page ---------------------
if(PORTMEDIC_TESTS)
  add_test(NAME release.install
           COMMAND ${CMAKE_SOURCE_DIR}/tests/release/install-test.sh ${CMAKE_BINARY_DIR}
                   ${CMAKE_SOURCE_DIR} ${PROJECT_VERSION})
endif()
