# When cross building, every test program runs through Wine in a prefix private to this build tree.
# The wrapper script sets the prefix, a home folder inside the build tree and quiet debug output.
if(CMAKE_CROSSCOMPILING)
  find_program(DROVANE_WINE64 NAMES wine64 PATHS /usr/lib/wine /usr/lib64/wine NO_DEFAULT_PATH)
  if(NOT DROVANE_WINE64)
    find_program(DROVANE_WINE64 NAMES wine64 wine)
  endif()
  set(DROVANE_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  set(DROVANE_WINEHOME ${CMAKE_BINARY_DIR}/winehome)
  configure_file(${CMAKE_SOURCE_DIR}/scripts/wine-run.in ${CMAKE_BINARY_DIR}/wine-run
                 FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                  WORLD_READ WORLD_EXECUTE @ONLY)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run)
endif()
