# Install layout and CPack packages: a Debian package from the Linux build, a zip from the
# 32-bit Windows build. `make package` builds both into dist/.
include(GNUInstallDirs)
# Installed directories are 0755 whatever the umask of the build.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

if(WIN32)
  # The zip is carried to the machine under test and run from where it is unpacked: the program
  # and the README side by side at its top.
  set(BRIMVALK_INSTALL_BINDIR .)
  set(BRIMVALK_INSTALL_DOCDIR .)
else()
  set(BRIMVALK_INSTALL_BINDIR ${CMAKE_INSTALL_BINDIR})
  set(BRIMVALK_INSTALL_DOCDIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/brimvalk-test)
endif()
install(TARGETS brimvalk-test RUNTIME DESTINATION ${BRIMVALK_INSTALL_BINDIR})
# The screenshot keeps its place beside the README, so the README's picture shows.
install(FILES README.md DESTINATION ${BRIMVALK_INSTALL_DOCDIR})
install(FILES docs/screenshot.png DESTINATION ${BRIMVALK_INSTALL_DOCDIR}/docs)
if(NOT WIN32)
  install(FILES docs/pacing.png docs/pacing-wayland.png docs/pacing-offscreen.png DESTINATION ${BRIMVALK_INSTALL_DOCDIR}/docs)
else()
  # The Debian package carries the licence in its copyright file (below).
  install(FILES LICENSE DESTINATION ${BRIMVALK_INSTALL_DOCDIR})
endif()

# What Debian asks of a package beside the binaries, under /usr/share: the copyright file in its
# machine-readable format with the licence, the changelog, and a manual page for each command,
# compressed with gzip -9n (no name or time stamp, so the same sources give the same package).
function(brimvalk_debian_documents)
  set(debian_dir ${PROJECT_SOURCE_DIR}/cmake/debian)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/debian)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE ${debian_dir}/changelog)

  # The package is made here, with the sources, not by a Debian packager from a released tarball:
  # in Debian's terms a native package, so its version is the project's alone, with no Debian
  # revision, and its changelog is changelog.gz (changelog.Debian.gz is for packaging done apart
  # from the sources). The newest entry must be for the version being packaged.
  file(READ ${debian_dir}/changelog changelog)
  string(REGEX MATCH "^[^\n]*" newest "${changelog}")
  if(NOT newest MATCHES "^${CPACK_PACKAGE_NAME} \\(([^)]*)\\) " OR NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
    message(FATAL_ERROR "cmake/debian/changelog: the newest entry is \"${newest}\", the project is version "
      "${PROJECT_VERSION}: add an entry \"${CPACK_PACKAGE_NAME} (${PROJECT_VERSION}) ...\" at the top")
  endif()

  # copyright: LICENSE's holder and text in the format's fields (Expat is the format's name for
  # this MIT licence), a continuation line starting with a space and a blank one written " .".
  file(READ ${PROJECT_SOURCE_DIR}/LICENSE licence)
  if(NOT licence MATCHES "\nCopyright \\(c\\) ([^\n]+)\n\n(Permission is hereby granted.*[^\n])\n*$")
    message(FATAL_ERROR "LICENSE: expected a \"Copyright (c) ...\" line, then the text from \"Permission is hereby granted\"")
  endif()
  set(brimvalk_copyright "${CMAKE_MATCH_1}")
  string(REPLACE "\n" "\n " brimvalk_license " ${CMAKE_MATCH_2}")
  string(REPLACE "\n \n" "\n .\n" brimvalk_license "${brimvalk_license}")
  configure_file(${debian_dir}/copyright.in ${out}/copyright @ONLY)
  install(FILES ${out}/copyright DESTINATION ${BRIMVALK_INSTALL_DOCDIR})

  # The program's page is written by hand; the tools' are made from their --help and --version.
  configure_file(${PROJECT_SOURCE_DIR}/man/brimvalk-test.1.in ${out}/brimvalk-test.1 @ONLY)
  configure_file(${debian_dir}/changelog ${out}/changelog COPYONLY)
  foreach(file changelog brimvalk-test.1)
    add_custom_command(OUTPUT ${out}/${file}.gz COMMAND gzip -9nkf ${out}/${file} DEPENDS ${out}/${file} VERBATIM)
  endforeach()
  install(FILES ${out}/changelog.gz DESTINATION ${BRIMVALK_INSTALL_DOCDIR})
  set(pages ${out}/brimvalk-test.1.gz)
  if(TARGET brimvalk-snapshot AND TARGET brimvalk-pacing)
    find_program(BRIMVALK_HELP2MAN help2man)
    if(BRIMVALK_HELP2MAN)
      foreach(tool brimvalk-snapshot brimvalk-pacing)
        add_custom_command(OUTPUT ${out}/${tool}.1.gz
          COMMAND ${PROJECT_SOURCE_DIR}/man/tool-page.sh $<TARGET_FILE:${tool}> ${PROJECT_SOURCE_DIR}/man/${tool}.h2m
                  ${debian_dir}/changelog ${out}/${tool}.1.gz
          DEPENDS ${tool} ${PROJECT_SOURCE_DIR}/man/tool-page.sh ${PROJECT_SOURCE_DIR}/man/${tool}.h2m
                  ${debian_dir}/changelog
          COMMENT "Writing ${tool}'s manual page from its --help"
          VERBATIM)
        list(APPEND pages ${out}/${tool}.1.gz)
      endforeach()
    else()
      message(WARNING "help2man not found (scripts/install-deps.sh installs it): the tools' manual pages are left out")
    endif()
  endif()
  add_custom_target(brimvalk_debian_documents ALL DEPENDS ${out}/changelog.gz ${pages})
  install(FILES ${pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()

set(CPACK_PACKAGE_NAME brimvalk-test)
set(CPACK_PACKAGE_VENDOR "Brimvalk Test developers")
set(CPACK_PACKAGE_CONTACT "Brimvalk Test developers <brimvalk-test@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "OpenGL window, input and frame pacing test program")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "Brimvalk Test opens one 1024x768 OpenGL window with a scrolling grid,\n"
  "1024 drifting bodies, a player steered with the arrow keys or joystick 1\n"
  "and an outline-font title, and prints the input values every frame and\n"
  "the frame rate once a second. It checks that a machine's window, OpenGL\n"
  "context, input and frame pacing work.")
set(CPACK_STRIP_FILES ON)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win32)
else()
  set(CPACK_GENERATOR DEB)
  brimvalk_debian_documents()
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION x11)
  # The linked libraries (SDL2, OpenGL, GLU, FreeType, fontconfig, X11, Wayland, libpng, cairo, the C++ runtime)
  # come from dpkg-shlibdeps reading the binaries. Two are opened at run time, so no binary names
  # them: SDL loads GLX's libGL.so.1 (libgl1, which brings Mesa's driver) for the context, and
  # fontconfig finds the title's outline font.
  set(brimvalk_runtime_depends "libgl1, fonts-dejavu-core")
  find_program(BRIMVALK_DPKG_SHLIBDEPS dpkg-shlibdeps)
  if(BRIMVALK_DPKG_SHLIBDEPS)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "${brimvalk_runtime_depends}")
  else()
    message(STATUS "dpkg-shlibdeps not found (dpkg-dev): the package's library dependencies are named by hand")
    set(CPACK_DEBIAN_PACKAGE_DEPENDS
      "libc6, libstdc++6, libgcc-s1, libsdl2-2.0-0, libopengl0, libglu1-mesa | libglu1, libfreetype6, libfontconfig1, libx11-6, libxi6, libxrandr2, libxtst6, libxkbcommon0, libwayland-client0, libpng16-16, libcairo2, ${brimvalk_runtime_depends}")
  endif()
endif()

include(CPack)
