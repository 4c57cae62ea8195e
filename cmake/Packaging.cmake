# The Debian packages: cmake --build build --target package gives two, from
# the install components:
#   tolvik-cli_<version>_<arch>.deb  the terminal program and its user unit
#                                    (no Qt, for machines without a display)
#   tolvik_<version>_<arch>.deb      the window, its menu entry, icon and
#                                    AppStream metainfo; depends on tolvik-cli
# Each has its manual page, copyright file and changelog where Debian keeps
# them; library dependencies come from dpkg-shlibdeps (OpenSSL, loaded at run
# time, is named by hand).

set(TOLVIK_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)
find_program(TOLVIK_GZIP gzip REQUIRED)

# Compressed as Debian wants them (gzip -9n: no name, no time).
function(tolvik_gzip source out)
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
    COMMAND ${TOLVIK_GZIP} -9nc ${source} > ${out}
    DEPENDS ${source} VERBATIM)
endfunction()

set(changelog ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
tolvik_gzip(${TOLVIK_PACKAGING_DIR}/changelog ${changelog})
set(TOLVIK_PACKAGED_DOCS ${changelog})

# One component per program: its manual page, and the copyright file and
# changelog in its own doc directory.
set(TOLVIK_COMPONENTS tolvik-cli)
if(TARGET tolvik)
  list(APPEND TOLVIK_COMPONENTS tolvik)
endif()
foreach(component IN LISTS TOLVIK_COMPONENTS)
  set(page ${CMAKE_BINARY_DIR}/packaging/${component}.1.gz)
  tolvik_gzip(${TOLVIK_PACKAGING_DIR}/man/${component}.1 ${page})
  list(APPEND TOLVIK_PACKAGED_DOCS ${page})
  install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${component})
  install(FILES ${changelog} ${TOLVIK_PACKAGING_DIR}/copyright
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${component} COMPONENT ${component})
  # Every setting a new owner may want, annotated.
  install(FILES ${TOLVIK_PACKAGING_DIR}/examples/Bot.ini
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${component}/examples COMPONENT ${component})
endforeach()
# Part of "all", so the install step (and with it the package) finds them.
add_custom_target(tolvik_packaged_docs ALL DEPENDS ${TOLVIK_PACKAGED_DOCS})

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
" COMPONENT tolvik-cli)

# A stripped install (the package's) also drops the compiler's .comment
# section, as Debian's own strip step does.
find_program(TOLVIK_OBJCOPY NAMES objcopy ${CMAKE_OBJCOPY} REQUIRED)
foreach(component IN LISTS TOLVIK_COMPONENTS)
  install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
      file(GLOB _programs \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/*\"
                          \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBEXECDIR}/tolvik/*\")
      foreach(_program IN LISTS _programs)
        if(NOT IS_SYMLINK \"\${_program}\" AND NOT IS_DIRECTORY \"\${_program}\")
          execute_process(COMMAND \"${TOLVIK_OBJCOPY}\" --remove-section=.comment --remove-section=.note \"\${_program}\")
        endif()
      endforeach()
    endif()
  " COMPONENT ${component})
endforeach()

# Directories made by the install step get the usual modes, whatever the umask.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tolvik)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Tolvik developers")
set(CPACK_PACKAGE_CONTACT "Tolvik Maintainers <maintainers@tolvik.example.org>")
# No package-wide summary (CPack takes the project's description otherwise):
# CPack would put it above each package's own description, and both packages
# would show the same line in apt's lists. Each description's first line is
# its package's summary instead.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "")
set(CPACK_PACKAGE_HOMEPAGE_URL ${PROJECT_HOMEPAGE_URL})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL ${TOLVIK_COMPONENTS})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The window's package needs the terminal program's package of the same
# version: the two share the helper programs installed with tolvik-cli.
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_COMPONENT_TOLVIK_DEPENDS tolvik-cli)

set(_tolvik_about "\
Tolvik logs in to a chat gateway's line protocol (TCP port 6112), holds a
home channel and keeps it: it greets and says goodbye, answers configured
phrases, obeys whispered and channel commands by each user's access level,
kicks and bans (an auto-ban list, limits per game product), and runs user
Tcl scripts on chat events.")
set(CPACK_DEBIAN_TOLVIK-CLI_PACKAGE_NAME tolvik-cli)
# Both programs load OpenSSL when they first need TLS, so dpkg-shlibdeps
# cannot see it: each package names it.
set(CPACK_DEBIAN_TOLVIK-CLI_PACKAGE_DEPENDS "libssl3 (>= 3.0.0)")
set(CPACK_DEBIAN_TOLVIK-CLI_PACKAGE_SECTION net)
set(CPACK_DEBIAN_TOLVIK-CLI_DESCRIPTION "chat channel moderator bot for terminals and headless servers
${_tolvik_about}
.
This package holds the terminal program tolvik-cli, for machines without a
display, with line editing and coloured chat, and a systemd user unit,
tolvik-cli@.service, that keeps one bot running per profile under
~/.local/share/tolvik. An annotated example Bot.ini is in
/usr/share/doc/tolvik-cli/examples.")
set(CPACK_DEBIAN_TOLVIK_PACKAGE_NAME tolvik)
set(CPACK_DEBIAN_TOLVIK_PACKAGE_DEPENDS "libssl3 (>= 3.0.0)")
set(CPACK_DEBIAN_TOLVIK_PACKAGE_SECTION net)
set(CPACK_DEBIAN_TOLVIK_DESCRIPTION "chat channel moderator bot in a desktop window
${_tolvik_about}
.
This package holds the desktop program tolvik (Qt 6): the channel's chat,
its users and a chat bar in one window, with configuration dialogs, desktop
notifications and a tray icon, and its menu entry.")
include(CPack)
