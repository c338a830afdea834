# Where "cmake --install" puts the program and what comes with it, and the
# Debian package that cpack makes from the same rules.
include(GNUInstallDirs)

install(TARGETS zof RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES packaging/zof.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES packaging/zof.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES packaging/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The manual page is the program's own "--man-page" output, compressed as
# Debian wants it (gzip -n: no name or time inside, so builds compare equal).
# A program that fails fails the build; in a sanitizer build the leak check
# at exit is not the page's business.
set(zof_man ${CMAKE_BINARY_DIR}/zof.1.gz)
add_custom_command(OUTPUT ${zof_man}
  COMMAND sh -c "ASAN_OPTIONS=detect_leaks=0 \"$1\" --man-page > \"$2.tmp\" && gzip -9n < \"$2.tmp\" > \"$2\" && rm \"$2.tmp\""
          sh $<TARGET_FILE:zof> ${zof_man}
  DEPENDS zof
  COMMENT "Writing the manual page zof.1.gz"
  VERBATIM)
add_custom_target(zof_man ALL DEPENDS ${zof_man})
install(FILES ${zof_man} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(zof_changelog ${CMAKE_BINARY_DIR}/changelog.gz)
add_custom_command(OUTPUT ${zof_changelog}
  COMMAND sh -c "gzip -9n < \"$1\" > \"$2\"" sh ${CMAKE_SOURCE_DIR}/packaging/changelog ${zof_changelog}
  DEPENDS ${CMAKE_SOURCE_DIR}/packaging/changelog
  VERBATIM)
add_custom_target(zof_changelog ALL DEPENDS ${zof_changelog})
install(FILES ${zof_changelog} DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The unit names the program by its installed path: /usr/bin/zof in the
# package, the prefix's bin folder otherwise. The prefix is read when
# installing, since cpack installs under its own.
set(ZOF_SYSTEMD_UNIT_DIR "lib/systemd/system" CACHE STRING
  "Where the systemd unit goes, relative to the installation prefix")
install(CODE "
  set(unit_src \"${CMAKE_SOURCE_DIR}/packaging/zof.service\")
  set(unit_out \"${CMAKE_BINARY_DIR}/packaging/zof.service\")
  file(READ \"\${unit_src}\" unit)
  string(REPLACE \"/usr/bin/zof \" \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/zof \" unit \"\${unit}\")
  file(WRITE \"\${unit_out}\" \"\${unit}\")
  file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${ZOF_SYSTEMD_UNIT_DIR}\" TYPE FILE
       PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ FILES \"\${unit_out}\")
")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zof)
set(CPACK_PACKAGE_VENDOR "ZOF developers")
set(CPACK_PACKAGE_CONTACT "ZOF developers <zof@example.org>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "publish files and folders over HTTP")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION httpd)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "ZOF developers <zof@example.org>")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://zof.example.org/")
# The libraries the program links (Qt, zlib, the storage library) found by
# dpkg-shlibdeps in the built binary.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The synopsis is the summary above; this is the longer text under it.
set(CPACK_PACKAGE_DESCRIPTION "ZOF publishes files and folders over HTTP: a tree of files, folders bound
to folders on disk and virtual folders, shown as pages built from
templates, with downloads that resume, folders as tar or zip archives,
accounts, uploads, bandwidth limits and a log.

It runs with a desktop window or headless, as a systemd service.")
set(CPACK_THREADS 2)
include(CPack)
