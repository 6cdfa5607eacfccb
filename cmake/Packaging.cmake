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
endif()

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
