# Installation on Linux, macOS and other POSIX systems: the programs and
# their manual pages. On Linux with gzip and dpkg-shlibdeps (Debian's
# dpkg-dev) the rules that make a lintian-clean .deb take over; without them
# the pages are installed as they are, and no .deb can be made.
include(GNUInstallDirs)
install(TARGETS sndextract sndimplant sndbank RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
find_program(SNDTOOLS_GZIP gzip)
find_program(SNDTOOLS_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(CMAKE_SYSTEM_NAME STREQUAL "Linux" AND SNDTOOLS_GZIP AND SNDTOOLS_DPKG_SHLIBDEPS)
  include(packaging/debian.cmake)
else()
  if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    message(STATUS "gzip or dpkg-shlibdeps not found: plain installation, no .deb "
                   "(on Debian: sudo apt-get install gzip dpkg-dev)")
  endif()
  install(FILES man/sndextract.1 man/sndimplant.1 man/sndbank.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  set(CPACK_GENERATOR TGZ)
endif()
