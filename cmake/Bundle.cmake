# make dist-windows: the 32-bit program, its shell stand-in and the scan
# tool in one zip with a short README.txt, and beside them the Pocket PC
# build's installation cabinet and PORTMEDIC.ini, with which the PC's
# application manager installs PORTMEDIC on a connected handheld (the
# Makefile builds them first). Included in the 32-bit Windows build only.
set(PM_BUNDLE_README ${CMAKE_BINARY_DIR}/bundle/README.txt)
configure_file(${CMAKE_SOURCE_DIR}/docs/windows-bundle.txt ${PM_BUNDLE_README} @ONLY)
set(PM_POCKETPC_BUILD ${CMAKE_SOURCE_DIR}/build/wince-arm CACHE PATH
    "The Pocket PC build, whose cabinet and application-manager file the Windows bundle takes")
add_custom_target(dist-windows
  COMMAND ${CMAKE_SOURCE_DIR}/scripts/dist-zip.sh
          ${CMAKE_BINARY_DIR}/portmedic-${PROJECT_VERSION}-win32.zip ${PM_BUNDLE_README}
          ${PM_MINGW_TRIPLE}-objdump ${PM_MINGW_TRIPLE}-strip pei-i386
          "kernel32.dll user32.dll gdi32.dll advapi32.dll msvcrt.dll aygshell.dll"
          $<TARGET_FILE:portmedic> $<TARGET_FILE:aygshell> $<TARGET_FILE:portmedic-scan>
          -- ${PM_POCKETPC_BUILD}/PORTMEDIC.ARM.CAB ${PM_POCKETPC_BUILD}/PORTMEDIC.ini
  DEPENDS portmedic aygshell portmedic-scan
  COMMENT "The Windows bundle" VERBATIM)
