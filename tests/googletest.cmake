# Where GoogleTest comes from: Debian's library for native builds, its
# sources for cross builds and for builds whose long double differs from the
# library's (-mlong-double-64). Sets SNDTOOLS_HAVE_GTEST.
set(SNDTOOLS_GTEST_SOURCE "" CACHE PATH
    "GoogleTest sources to build with the project's own flags (cross builds: /usr/src/googletest)")
if(CMAKE_CROSSCOMPILING AND NOT SNDTOOLS_GTEST_SOURCE)
  set(SNDTOOLS_GTEST_SOURCE /usr/src/googletest)
endif()
set(SNDTOOLS_HAVE_GTEST OFF)
if(SNDTOOLS_GTEST_SOURCE AND EXISTS ${SNDTOOLS_GTEST_SOURCE}/CMakeLists.txt)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${SNDTOOLS_GTEST_SOURCE} googletest EXCLUDE_FROM_ALL)
  set(SNDTOOLS_HAVE_GTEST ON)
elseif(NOT SNDTOOLS_GTEST_SOURCE)
  find_package(GTest QUIET)
  set(SNDTOOLS_HAVE_GTEST ${GTest_FOUND})
endif()
set(how "on Debian or Ubuntu: sudo apt-get install libgtest-dev (its sources: googletest)")
set(where "")
if(SNDTOOLS_GTEST_SOURCE)
  set(where " in ${SNDTOOLS_GTEST_SOURCE}")
endif()
if(NOT SNDTOOLS_HAVE_GTEST AND NOT SNDTOOLS_TESTS STREQUAL "AUTO")
  message(FATAL_ERROR "The tests need GoogleTest, which was not found${where}; "
                      "${how}. Or configure with -DSNDTOOLS_TESTS=OFF.")
elseif(NOT SNDTOOLS_HAVE_GTEST)
  message(STATUS "GoogleTest not found: the tools are built without their tests (${how})")
endif()
