# The Debian package: cmake --build build --target package
# gives tolvik_<version>_<arch>.deb with both programs, the menu entry and
# icon, the manual pages, the systemd user unit, and the copyright file and
# changelog where Debian keeps them. Library dependencies come from
# dpkg-shlibdeps.

set(TOLVIK_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)
set(TOLVIK_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/tolvik)

# Manual pages, compressed as Debian wants them (gzip -9n: no name, no time).
find_program(TOLVIK_GZIP gzip REQUIRED)
set(TOLVIK_MAN_PAGES tolvik-cli)
if(TARGET tolvik)
  list(APPEND TOLVIK_MAN_PAGES tolvik)
endif()
set(TOLVIK_PACKAGED_DOCS)
foreach(page IN LISTS TOLVIK_MAN_PAGES)
  set(out ${CMAKE_BINARY_DIR}/packaging/${page}.1.gz)
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
    COMMAND ${TOLVIK_GZIP} -9nc ${TOLVIK_PACKAGING_DIR}/man/${page}.1 > ${out}
    DEPENDS ${TOLVIK_PACKAGING_DIR}/man/${page}.1 VERBATIM)
  list(APPEND TOLVIK_PACKAGED_DOCS ${out})
  install(FILES ${out} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
set(changelog ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
add_custom_command(OUTPUT ${changelog}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
  COMMAND ${TOLVIK_GZIP} -9nc ${TOLVIK_PACKAGING_DIR}/changelog > ${changelog}
  DEPENDS ${TOLVIK_PACKAGING_DIR}/changelog VERBATIM)
list(APPEND TOLVIK_PACKAGED_DOCS ${changelog})
# Part of "all", so the install step (and with it the package) finds them.
add_custom_target(tolvik_packaged_docs ALL DEPENDS ${TOLVIK_PACKAGED_DOCS})

install(FILES ${changelog} ${TOLVIK_PACKAGING_DIR}/copyright DESTINATION ${TOLVIK_DOC_DIR})

# The user unit names the program by its installed path, known only when
# installing (the package installs under /usr, a hand install wherever
# --prefix says).
install(CODE "
  set(_bindir \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
  file(READ \"${TOLVIK_PACKAGING_DIR}/systemd/tolvik-cli@.service.in\" _unit)
  string(REPLACE \"@BINDIR@\" \"\${_bindir}\" _unit \"\${_unit}\")
  set(_dir \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/lib/systemd/user\")
  file(MAKE_DIRECTORY \"\${_dir}\")
  message(STATUS \"Installing: \${_dir}/tolvik-cli@.service\")
  file(WRITE \"\${_dir}/tolvik-cli@.service\" \"\${_unit}\")
")

# Directories made by the install step get the usual modes, whatever the umask.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tolvik)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Tolvik developers")
set(CPACK_PACKAGE_CONTACT "Tolvik Maintainers <maintainers@tolvik.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "moderator bot for a text chat gateway")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "\
Tolvik logs in to a chat gateway's line protocol (TCP port 6112), holds a
home channel and keeps it: it greets and says goodbye, answers configured
phrases, obeys whispered and channel commands by each user's access level,
kicks and bans (an auto-ban list, limits per game product), and runs user
Tcl scripts on chat events.
.
The package holds the desktop program tolvik (Qt 6) and the terminal
program tolvik-cli, with a systemd user unit, tolvik-cli@.service, that
keeps one bot running per directory under ~/.local/share/tolvik.")
include(CPack)
