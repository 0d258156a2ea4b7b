# What `cmake --install` puts beside the binary, and the packages that cpack
# makes from it: a .deb on Linux, a .zip on Windows. scripts/package builds
# both.

# Two lines for whoever publishes the packages to fill in. Until they are,
# lintian reports the .deb's maintainer without an address (malformed-contact,
# and bogus-mail-host-in-debian-changelog for the changelog's signature) and
# its missing copyright file (no-copyright-file).
# The maintainer, as "Name <address>"; the Debian changelog is signed with it.
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "stampcast developers")
# The file that states the copyright and the licence: the .deb holds it as
# /usr/share/doc/stampcast/copyright, the .zip beside the README.
set(CPACK_RESOURCE_FILE_LICENSE "")

if(WIN32)
  # The zip holds bin/stampcast.exe and the README at its top, with the
  # plot of a run's records beside it (it needs Python and matplotlib) and
  # the records' schema, for Test-Json.
  install(FILES README.md docs/stampcast-records.schema.json DESTINATION .)
  install(PROGRAMS tools/stampcast-plot DESTINATION .)
  # The Wireshark dissector of the datagrams (docs/wire-format.md).
  install(FILES tools/stampcast.lua docs/wire-format.md DESTINATION .)
  if(CPACK_RESOURCE_FILE_LICENSE)
    install(FILES ${CPACK_RESOURCE_FILE_LICENSE} DESTINATION .)
  endif()
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME
    "${PROJECT_NAME}-${PROJECT_VERSION}-win64")
else()
  # Debian ships man pages and changelogs compressed; gzip -n leaves out the
  # name and the time so that two builds of the same file give the same
  # bytes. Without gzip the file goes as it is.
  find_program(STAMPCAST_GZIP gzip)
  function(stampcast_install_compressed source destination)
    if(NOT STAMPCAST_GZIP)
      install(FILES ${source} DESTINATION ${destination})
      return()
    endif()
    get_filename_component(name ${source} NAME)
    set(compressed ${PROJECT_BINARY_DIR}/compressed/${name}.gz)
    add_custom_command(OUTPUT ${compressed}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/compressed
      COMMAND ${STAMPCAST_GZIP} -9nc ${source} > ${compressed}
      DEPENDS ${source}
      COMMENT "Compressing ${name}"
      VERBATIM)
    add_custom_target(stampcast_${name}_gz ALL DEPENDS ${compressed})
    install(FILES ${compressed} DESTINATION ${destination})
  endfunction()

  stampcast_install_compressed(${PROJECT_SOURCE_DIR}/docs/stampcast.1
    share/man/man1)
  # The package's Debian changelog (a native package's changelog.gz), with
  # the version above, signed by the maintainer: with an empty address
  # (<>) until the maintainer's line has one.
  set(STAMPCAST_CHANGELOG_SIGNATURE ${CPACK_DEBIAN_PACKAGE_MAINTAINER})
  if(NOT STAMPCAST_CHANGELOG_SIGNATURE MATCHES "<.*>$")
    string(APPEND STAMPCAST_CHANGELOG_SIGNATURE " <>")
  endif()
  configure_file(cmake/changelog.in changelog @ONLY)
  stampcast_install_compressed(${PROJECT_BINARY_DIR}/changelog
    share/doc/stampcast)
  install(FILES README.md DESTINATION share/doc/stampcast)
  # The plot of a run's records, with its page; it needs Python 3, and
  # matplotlib to draw.
  install(PROGRAMS tools/stampcast-plot DESTINATION bin)
  stampcast_install_compressed(${PROJECT_SOURCE_DIR}/docs/stampcast-plot.1
    share/man/man1)
  install(FILES docs/stampcast-records.schema.json docs/stampcast-watch.service
    docs/wire-format.md DESTINATION share/doc/stampcast)
  # The Wireshark dissector of the datagrams.
  install(FILES tools/stampcast.lua DESTINATION share/stampcast)
  if(CPACK_RESOURCE_FILE_LICENSE)
    install(FILES ${CPACK_RESOURCE_FILE_LICENSE}
      DESTINATION share/doc/stampcast RENAME copyright)
  endif()

  # A stripped install (cpack's, below) also drops the compiler's notes,
  # as Debian's own packages do.
  install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
      execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment
        --remove-section=.note
        \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin/$<TARGET_FILE_NAME:stampcast>\")
    endif()")

  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION net)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # The C and C++ runtime libraries the binary links, as dpkg finds them,
  # and OpenSSL's libcrypto (libssl3) once the program hashes with it.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "python3")
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "python3-matplotlib")
endif()

set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "stampcast developers")
set(CPACK_PACKAGE_CONTACT ${CPACK_DEBIAN_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "send and receive DSCP-marked multicast timestamps")
# Debian wants the long description in lines of under 80 characters.
set(CPACK_PACKAGE_DESCRIPTION
"stampcast sends IPv4 multicast UDP datagrams that carry the sender's local
time, with the sender's traffic marked with a DiffServ code point, and
receives them, printing each time and optionally setting the local clock to
it. Use it to check that multicast and DSCP marking survive a network path.")
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
# Without a licence file CPack falls back on a template of its own, which
# no package installs.
if(NOT CPACK_RESOURCE_FILE_LICENSE)
  unset(CPACK_RESOURCE_FILE_LICENSE)
endif()
# Only the program, its page and its documents: no debug sections in a
# package.
set(CPACK_STRIP_FILES ON)
include(CPack)
