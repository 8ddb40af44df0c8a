# What the Debian package adds to the installed files, and CPack's settings
# for it. The version is the project's VERSION; KNOLL_RELEASE_DATE goes with
# it. Included from the top CMakeLists.txt after the program's targets.

set(KNOLL_RELEASE_DATE 2026-12-07)
set(KNOLL_SCREENSHOTS_URL "${KNOLL_HOMEPAGE}/docs" CACHE STRING
  "Public address of the folder docs/ with the README's pictures")
set(KNOLL_APP_ID example.knoll.Knoll)
set(KNOLL_DEB_VERSION ${PROJECT_VERSION}-1)
set(KNOLL_MAN_DATE ${KNOLL_RELEASE_DATE})
execute_process(COMMAND date -u -R -d "${KNOLL_RELEASE_DATE} 12:00"
  OUTPUT_VARIABLE KNOLL_CHANGELOG_DATE OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)

set(KNOLL_PKG_DIR ${CMAKE_BINARY_DIR}/packaging)
configure_file(packaging/knoll.6.in ${KNOLL_PKG_DIR}/knoll.6 @ONLY)
configure_file(packaging/knoll.metainfo.xml.in ${KNOLL_PKG_DIR}/${KNOLL_APP_ID}.metainfo.xml @ONLY)
configure_file(packaging/copyright.in ${KNOLL_PKG_DIR}/copyright @ONLY)
configure_file(packaging/changelog.in ${KNOLL_PKG_DIR}/changelog.Debian @ONLY)

# Debian wants the manual page and the changelog compressed to the maximum,
# without a time stamp, so that builds are reproducible.
set(KNOLL_GZIPPED)
foreach(name knoll.6 changelog.Debian)
  add_custom_command(OUTPUT ${KNOLL_PKG_DIR}/${name}.gz
    COMMAND gzip -9nc ${KNOLL_PKG_DIR}/${name} > ${KNOLL_PKG_DIR}/${name}.gz
    DEPENDS ${KNOLL_PKG_DIR}/${name}
    COMMENT "Compressing ${name}")
  list(APPEND KNOLL_GZIPPED ${KNOLL_PKG_DIR}/${name}.gz)
endforeach()
file(CREATE_LINK knoll.6.gz ${KNOLL_PKG_DIR}/knoll-launch.6.gz SYMBOLIC)
add_custom_target(knoll_package_docs ALL DEPENDS ${KNOLL_GZIPPED})

install(FILES ${KNOLL_PKG_DIR}/knoll.6.gz ${KNOLL_PKG_DIR}/knoll-launch.6.gz
  DESTINATION share/man/man6)
install(FILES ${KNOLL_PKG_DIR}/${KNOLL_APP_ID}.metainfo.xml DESTINATION share/metainfo)
install(FILES ${KNOLL_PKG_DIR}/copyright ${KNOLL_PKG_DIR}/changelog.Debian.gz
  DESTINATION share/doc/knoll)
# Only the package carries the notes for lintian: a plain install leaves them out.
install(FILES packaging/lintian-overrides DESTINATION share/lintian/overrides RENAME knoll
  COMPONENT debian EXCLUDE_FROM_ALL)

# ---------------------------------------------------------------- CPack ----
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME knoll)
set(CPACK_PACKAGE_VENDOR "The Knoll developers")
set(CPACK_PACKAGE_CONTACT ${KNOLL_CONTACT})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "fly over a real-time 3D landscape")
# The summary is the description's first line; this is the rest of it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Knoll flies a camera over a small patch of hilly terrain, drawn in real
time with OpenGL 3.3: eight ground materials, one sun with soft shadows,
fog that fades into the sky, and a barrel, ferns, a palm and a cactus on
the hills. Arrow keys fly, the right mouse button looks around, and a few
keys change the light or show a grid. Everything it shows is built into
the program.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_CMAKE_PROJECTS
  "${CMAKE_BINARY_DIR};knoll;ALL;/" "${CMAKE_BINARY_DIR};knoll;debian;/")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
# Not "games": Debian keeps games in /usr/games. The manual page is in
# section 6 all the same, the one for demos.
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${KNOLL_HOMEPAGE})
# The dependencies come from the libraries the executable links, through
# dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# GLFW 3.4 draws the title bar of Wayland windows through a libdecor plugin,
# which GNOME needs (it draws none itself); the GTK one looks like GNOME's own.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libdecor-0-plugin-1-gtk | libdecor-0-plugin-1-cairo")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
