# What `cmake --install` puts beside the binary, and the packages that cpack
# makes from it: a .deb on Linux, a .zip on Windows. scripts/package builds
# both.

if(WIN32)
  # The zip holds bin/stampcast.exe and the README at its top.
  install(FILES README.md DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME
    "${PROJECT_NAME}-${PROJECT_VERSION}-win64")
else()
  # Debian ships man pages compressed; gzip -n leaves out the name and the
  # time so that two builds of the same page give the same bytes.
  set(STAMPCAST_MAN_PAGE ${PROJECT_SOURCE_DIR}/docs/stampcast.1)
  find_program(STAMPCAST_GZIP gzip)
  if(STAMPCAST_GZIP)
    set(STAMPCAST_MAN_GZ ${PROJECT_BINARY_DIR}/stampcast.1.gz)
    add_custom_command(OUTPUT ${STAMPCAST_MAN_GZ}
      COMMAND ${STAMPCAST_GZIP} -9nc ${STAMPCAST_MAN_PAGE} > ${STAMPCAST_MAN_GZ}
      DEPENDS ${STAMPCAST_MAN_PAGE}
      COMMENT "Compressing the man page"
      VERBATIM)
    add_custom_target(stampcast_man_page ALL DEPENDS ${STAMPCAST_MAN_GZ})
    install(FILES ${STAMPCAST_MAN_GZ} DESTINATION share/man/man1)
  else()
    install(FILES ${STAMPCAST_MAN_PAGE} DESTINATION share/man/man1)
  endif()
  install(FILES README.md DESTINATION share/doc/stampcast)

  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "stampcast developers")
  set(CPACK_DEBIAN_PACKAGE_SECTION net)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # The C and C++ runtime libraries the binary links, as dpkg finds them.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()

set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "stampcast developers")
set(CPACK_PACKAGE_CONTACT "stampcast developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "send and receive DSCP-marked multicast timestamps")
# Debian wants the long description in lines of under 80 characters.
set(CPACK_PACKAGE_DESCRIPTION
"stampcast sends IPv4 multicast UDP datagrams that carry the sender's local
time, with the sender's traffic marked with a DiffServ code point, and
receives them, printing each time and optionally setting the local clock to
it. Use it to check that multicast and DSCP marking survive a network path.")
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
# Only the program, its page and its README: no debug sections in a package.
set(CPACK_STRIP_FILES ON)
include(CPack)
