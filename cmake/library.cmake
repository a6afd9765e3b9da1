# The library that other programs use: the core and the C interface of
# include/sndtools.h, shared (libsndtools.so.3, exporting that interface
# alone; on Windows the DLL and its import library) and static
# (libsndtools.a), installed together: the shared one (component runtime)
# apart from what building against it needs (component development: the
# header, the static library, the link, a CMake package with
# sndtools::sndtools and sndtools::sndtools_static, and sndtools.pc).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

option(SNDTOOLS_SHARED "Build and install the shared library beside the static one" ON)
# The ABI: the shared library's soname and the runtime package's name.
set(SNDTOOLS_SOVERSION 3)

# The header carries the version too: it must be the project's.
file(STRINGS include/sndtools.h header_version REGEX "define SNDTOOLS_(VERSION_STRING|ABI)")
if(NOT header_version MATCHES "\"${PROJECT_VERSION}\".*SNDTOOLS_ABI ${SNDTOOLS_SOVERSION}")
  message(FATAL_ERROR "include/sndtools.h does not say ${PROJECT_VERSION} and ABI "
                      "${SNDTOOLS_SOVERSION}: ${header_version}")
endif()

# Windows: the DLL, its import library, the static library, the header and
# the packages' files in a folder of their own beside the programs.
if(WIN32)
  set(library_lib_dir library)
  set(library_include_dir library)
  set(library_bin_dir library)
elseif(CMAKE_SYSTEM_NAME STREQUAL "Linux" AND CMAKE_LIBRARY_ARCHITECTURE AND
       EXISTS /usr/bin/dpkg-architecture)
  # Debian's multiarch folder, where its loader and pkg-config look (also
  # under /usr/local), whatever the prefix.
  set(library_lib_dir lib/${CMAKE_LIBRARY_ARCHITECTURE})
  set(library_include_dir ${CMAKE_INSTALL_INCLUDEDIR})
  set(library_bin_dir ${CMAKE_INSTALL_BINDIR})
else()
  set(library_lib_dir ${CMAKE_INSTALL_LIBDIR})
  set(library_include_dir ${CMAKE_INSTALL_INCLUDEDIR})
  set(library_bin_dir ${CMAKE_INSTALL_BINDIR})
endif()

set(c_sources lib/c_api.cpp lib/c_bank.cpp lib/c_wav.cpp)
set(library_targets sndtools_static)
add_library(sndtools_static STATIC ${c_sources} $<TARGET_OBJECTS:sndtools_objects>)
add_library(sndtools::sndtools_static ALIAS sndtools_static)
target_compile_definitions(sndtools_static PUBLIC SNDTOOLS_STATIC)
# MSVC names an import library and a static one alike: there it keeps its
# target's name.
if(NOT MSVC)
  set_target_properties(sndtools_static PROPERTIES OUTPUT_NAME sndtools)
endif()
# A project that enables only C links with the C compiler, which knows
# nothing of the C++ runtime the core needs.
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  if(APPLE)
    set(cxx_runtime c++)
  else()
    set(cxx_runtime stdc++)
  endif()
  target_link_libraries(sndtools_static INTERFACE
                        "$<$<LINK_LANGUAGE:C>:${cxx_runtime}>" "$<$<LINK_LANGUAGE:C>:m>")
endif()

if(SNDTOOLS_SHARED)
  list(APPEND library_targets sndtools)
  add_library(sndtools SHARED ${c_sources} $<TARGET_OBJECTS:sndtools_objects>)
  set_target_properties(sndtools PROPERTIES VERSION ${SNDTOOLS_SOVERSION}.0.0
                        SOVERSION ${SNDTOOLS_SOVERSION})
  target_compile_definitions(sndtools PRIVATE SNDTOOLS_BUILDING)
  if(CMAKE_SYSTEM_NAME STREQUAL "Linux" OR CMAKE_SYSTEM_NAME MATCHES "BSD")
    # Also what the C++ standard library's headers would otherwise export.
    target_link_options(sndtools PRIVATE
                        "LINKER:--version-script=${PROJECT_SOURCE_DIR}/cmake/sndtools.map")
    set_property(TARGET sndtools APPEND PROPERTY LINK_DEPENDS ${PROJECT_SOURCE_DIR}/cmake/sndtools.map)
  endif()
  set(pc_cflags "")
else()
  add_library(sndtools ALIAS sndtools_static)
  set(pc_cflags " -DSNDTOOLS_STATIC")
endif()
foreach(target ${library_targets})
  set_target_properties(${target} PROPERTIES CXX_VISIBILITY_PRESET hidden
                        VISIBILITY_INLINES_HIDDEN ON EXPORT_NAME ${target})
  target_include_directories(${target} PUBLIC $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
                                              $<INSTALL_INTERFACE:${library_include_dir}>
                                       PRIVATE lib)
  target_link_libraries(${target} PRIVATE $<BUILD_INTERFACE:sndtools_flags>
                                  PUBLIC Threads::Threads)
endforeach()

install(TARGETS ${library_targets} EXPORT sndtoolsTargets
        ARCHIVE DESTINATION ${library_lib_dir} COMPONENT development
        LIBRARY DESTINATION ${library_lib_dir} COMPONENT runtime
                NAMELINK_COMPONENT development
        RUNTIME DESTINATION ${library_bin_dir} COMPONENT runtime
        INCLUDES DESTINATION ${library_include_dir})
install(FILES include/sndtools.h DESTINATION ${library_include_dir} COMPONENT development)
set(package_dir ${library_lib_dir}/cmake/sndtools)
install(EXPORT sndtoolsTargets NAMESPACE sndtools:: DESTINATION ${package_dir}
        COMPONENT development)
configure_package_config_file(cmake/sndtoolsConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/sndtoolsConfig.cmake
                              INSTALL_DESTINATION ${package_dir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/sndtoolsConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/sndtoolsConfig.cmake
              ${PROJECT_BINARY_DIR}/sndtoolsConfigVersion.cmake
        DESTINATION ${package_dir} COMPONENT development)
# pkg-config --libs links the shared library, which brings what it needs;
# --static adds what a static link needs besides it (the C++ runtime, the
# math library and threads) and the static declarations.
file(RELATIVE_PATH pc_to_prefix /prefix/${library_lib_dir}/pkgconfig /prefix)
configure_file(cmake/sndtools.pc.in ${PROJECT_BINARY_DIR}/sndtools.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/sndtools.pc DESTINATION ${library_lib_dir}/pkgconfig
        COMPONENT development)

# The Python package, on request: beside the shared library by default,
# where it finds it (Debian's python3-sndtools puts it in
# lib/python3/dist-packages, and the loader finds the library).
option(SNDTOOLS_INSTALL_PYTHON "Install the Python package sndtools (component python)" OFF)
set(SNDTOOLS_PYTHON_DIR "${library_lib_dir}" CACHE STRING
    "Where the Python package goes, under the prefix")
if(SNDTOOLS_INSTALL_PYTHON)
  install(FILES python/sndtools/__init__.py python/sndtools/py.typed
          DESTINATION ${SNDTOOLS_PYTHON_DIR}/sndtools COMPONENT python)
endif()
