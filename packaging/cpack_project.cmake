# Read by cpack: a package without the manual page of tvk is incomplete, so it is not built.
if(NOT CPACK_TOVASK_HAS_MAN_PAGE)
  message(FATAL_ERROR "The package needs the manual page of tvk: install help2man (scripts/setup.sh) "
    "and configure the build again.")
endif()
