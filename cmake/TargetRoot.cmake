# pm_target_root(DIR): a cross build looks for the target's libraries,
# headers and packages under DIR only, never among the host's, and for
# programs on the host only (they run here). Used by the toolchain files.
macro(pm_target_root dir)
  set(CMAKE_FIND_ROOT_PATH "${dir}")
  set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
  set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
  set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
  set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
endmacro()
