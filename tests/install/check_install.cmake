# Installs the build into a temporary DESTDIR with the prefix /usr and checks what lands there:
# exactly the programs and the desktop files in their freedesktop places (no test program, no
# helper), an installed tvk that runs, a desktop entry that desktop-file-validate accepts and a
# MIME package that update-mime-database takes up (each check skipped when its tool is missing).
#   cmake -DBUILD_DIR=... -DWORK_DIR=... -DWITH_MAN_PAGE=ON|OFF -DVERSION=... -P check_install.cmake
file(REMOVE_RECURSE ${WORK_DIR})
set(ENV{DESTDIR} ${WORK_DIR})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix /usr
  RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${rc}): ${err}")
endif()
set(usr ${WORK_DIR}/usr)

set(expected
  bin/tovask
  bin/tvk
  share/applications/tovask.desktop
  share/doc/tovask/changelog.gz
  share/doc/tovask/copyright
  share/icons/hicolor/scalable/apps/tovask.svg
  share/man/man1/tovask.1.gz
  share/mime/packages/tovask.xml)
if(WITH_MAN_PAGE)
  list(APPEND expected share/man/man1/tvk.1.gz)
endif()
file(GLOB_RECURSE installed LIST_DIRECTORIES false RELATIVE ${usr} ${WORK_DIR}/*)
list(SORT installed)
list(SORT expected)
if(NOT installed STREQUAL expected)
  string(REPLACE ";" "\n  " installed "${installed}")
  string(REPLACE ";" "\n  " expected "${expected}")
  message(FATAL_ERROR "Installed files:\n  ${installed}\nexpected:\n  ${expected}")
endif()

# The installed program runs from its new place (its message file then lands beside it).
execute_process(COMMAND ${usr}/bin/tvk --version RESULT_VARIABLE rc OUTPUT_VARIABLE out)
if(NOT rc EQUAL 0 OR NOT out STREQUAL "tvk ${VERSION}\n")
  message(FATAL_ERROR "installed tvk --version: exit ${rc}, output '${out}'")
endif()

find_program(DESKTOP_FILE_VALIDATE desktop-file-validate)
if(DESKTOP_FILE_VALIDATE)
  execute_process(COMMAND ${DESKTOP_FILE_VALIDATE} ${usr}/share/applications/tovask.desktop
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0 OR out MATCHES "error:|warning:")
    message(FATAL_ERROR "desktop-file-validate: exit ${rc}\n${out}")
  endif()
else()
  message(STATUS "desktop-file-validate not found: desktop entry not validated")
endif()

find_program(UPDATE_MIME_DATABASE update-mime-database)
if(UPDATE_MIME_DATABASE)
  execute_process(COMMAND ${UPDATE_MIME_DATABASE} ${usr}/share/mime RESULT_VARIABLE rc ERROR_VARIABLE err)
  file(READ ${usr}/share/mime/globs2 globs)
  if(NOT rc EQUAL 0 OR NOT globs MATCHES "application/x-tovask:\\*\\.tvk")
    message(FATAL_ERROR "update-mime-database: exit ${rc} ${err}, globs2 without *.tvk:\n${globs}")
  endif()
else()
  message(STATUS "update-mime-database not found: MIME package not checked")
endif()

file(REMOVE_RECURSE ${WORK_DIR})
