# The program's icon, drawn at build time from the pixel maps in
# app/MakeIcon.py into ${PM_ICON}, for the resource script of the desktop
# and of the device build alike.
set(PM_ICON ${CMAKE_BINARY_DIR}/app/portmedic.ico)
add_custom_command(OUTPUT ${PM_ICON}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/app
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/app/MakeIcon.py ${PM_ICON}
  DEPENDS ${CMAKE_SOURCE_DIR}/app/MakeIcon.py
  COMMENT "Drawing the icon")
