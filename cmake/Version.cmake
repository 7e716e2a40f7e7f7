# The client's version lives in one place: the top project's VERSION (major.minor.patch). Every
# other form is made from it here: the version text "major.minor.PP" (the patch in two digits,
# "1.9.01" for 1.9.1) that the client reports to the service and the packages carry, and the
# four numbers of the Windows version resource. Both go into <build>/generated/base/Version.h.
#   drovane_version_header(MAJOR MINOR PATCH OUTPUT_FOLDER)
function(drovane_version_header major minor patch folder)
  if(patch LESS 10)
    set(padded "0${patch}")
  else()
    set(padded "${patch}")
  endif()
  set(DROVANE_VERSION_TEXT "${major}.${minor}.${padded}")
  set(DROVANE_VERSION_NUMBERS "${major}, ${minor}, ${patch}, 0")
  configure_file(${CMAKE_CURRENT_FUNCTION_LIST_DIR}/Version.h.in ${folder}/base/Version.h @ONLY)
  set(DROVANE_VERSION_TEXT ${DROVANE_VERSION_TEXT} PARENT_SCOPE)
endfunction()
