# Installation in the freedesktop places (`cmake --install`) and the Debian package
# (`cpack -G DEB` in a release build). Tests and their helpers are never installed.
include(GNUInstallDirs)
set(TOVASK_MAINTAINER "The Tovask developers <tovask@example.org>")

install(TARGETS tovask tvk RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/data/tovask.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/data/tovask.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)
install(FILES ${PROJECT_SOURCE_DIR}/data/tovask.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# The documents Debian expects, the manual pages among them, compressed as Debian installs them
# (gzip -9n). tvk's manual page is made from its own --help and --version, so it never goes
# stale; without help2man there is none, and the package then refuses to build
# (packaging/cpack_project.cmake). tovask's page and the changelog are filled in from templates.
find_program(TOVASK_HELP2MAN help2man)
find_program(TOVASK_GZIP gzip REQUIRED)
set(TOVASK_DOC_DIR ${PROJECT_BINARY_DIR}/doc)
set(TOVASK_COMPRESSED_DOCS "")
function(tovask_compressed_doc file)
  add_custom_command(OUTPUT ${file}.gz
    COMMAND ${TOVASK_GZIP} -9 -n -f -k ${file} DEPENDS ${file} VERBATIM)
  set(TOVASK_COMPRESSED_DOCS ${TOVASK_COMPRESSED_DOCS} ${file}.gz PARENT_SCOPE)
endfunction()

configure_file(${PROJECT_SOURCE_DIR}/packaging/tovask.1.in ${TOVASK_DOC_DIR}/tovask.1 @ONLY)
tovask_compressed_doc(${TOVASK_DOC_DIR}/tovask.1)
install(FILES ${TOVASK_DOC_DIR}/tovask.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
if(TOVASK_HELP2MAN)
  add_custom_command(
    OUTPUT ${TOVASK_DOC_DIR}/tvk.1
    COMMAND ${TOVASK_HELP2MAN} --no-info --section=1
      "--name=create, list, change, extract and test Tovask archives"
      --include=${PROJECT_SOURCE_DIR}/packaging/tvk.h2m
      --output=${TOVASK_DOC_DIR}/tvk.1 $<TARGET_FILE:tvk>
    DEPENDS tvk ${PROJECT_SOURCE_DIR}/packaging/tvk.h2m
    COMMENT "Writing the manual page of tvk"
    VERBATIM)
  tovask_compressed_doc(${TOVASK_DOC_DIR}/tvk.1)
  install(FILES ${TOVASK_DOC_DIR}/tvk.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  set(CPACK_TOVASK_HAS_MAN_PAGE ON)
else()
  message(STATUS "help2man not found: tvk gets no manual page (scripts/setup.sh installs help2man)")
  set(CPACK_TOVASK_HAS_MAN_PAGE OFF)
endif()

# Debian looks for a package's documents under share/doc/<package name>, in lower case.
string(TIMESTAMP TOVASK_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.in ${TOVASK_DOC_DIR}/changelog @ONLY)
tovask_compressed_doc(${TOVASK_DOC_DIR}/changelog)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${TOVASK_DOC_DIR}/changelog.gz
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tovask)
add_custom_target(compressed_docs ALL DEPENDS ${TOVASK_COMPRESSED_DOCS})

# The Debian package: tovask_<version>_<arch>.deb with the shared libraries' packages found by
# dpkg-shlibdeps. Debian's own triggers (shared-mime-info, desktop-file-utils,
# hicolor-icon-theme) refresh the MIME, desktop and icon caches when the files land.
set(CPACK_PACKAGE_NAME tovask)
set(CPACK_PACKAGE_VENDOR "The Tovask developers")
set(CPACK_PACKAGE_CONTACT ${TOVASK_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop file archiver for .tvk archives")
set(CPACK_PACKAGE_DESCRIPTION
  "Tovask creates, lists and changes .tvk archives, encrypts entries with a\n"
  "password and extracts them with MD5 and length verification. The package\n"
  "holds the desktop program tovask and the command-line tool tvk.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Icons in hicolor need the theme's index; the caches are refreshed by the triggers of the
# recommended packages; the windows' Chinese texts need a CJK font and Qt's Chinese texts.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "hicolor-icon-theme")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
  "shared-mime-info, desktop-file-utils, fonts-wqy-microhei | fonts-noto-cjk, qt6-translations-l10n, xdg-utils")
# The programs write their default message file next to themselves when they can (as root):
# the package removes it again while it is still the untouched default.
set(TOVASK_PACKAGED_BINDIR ${CPACK_PACKAGING_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR})
file(SHA256 ${PROJECT_SOURCE_DIR}/src/core/DAZezo.ini TOVASK_DEFAULT_MESSAGE_FILE_SHA256)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/core/DAZezo.ini)
configure_file(${PROJECT_SOURCE_DIR}/packaging/postrm.in ${PROJECT_BINARY_DIR}/packaging/postrm
  @ONLY FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
  WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/packaging/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/packaging/cpack_project.cmake)
include(CPack)
