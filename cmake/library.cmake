# The library that other programs use: the core and the C interface of
# include/sndtools.h, static or, with BUILD_SHARED_LIBS, shared with a
# soname from the project's version and only the sndtools_ functions
# exported. Installed (component library) with its header, a CMake package
# (find_package(sndtools), target sndtools::sndtools) and sndtools.pc.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# The header carries the version too: it must be the project's.
file(STRINGS include/sndtools.h header_version REGEX "define SNDTOOLS_VERSION_STRING")
if(NOT header_version MATCHES "\"${PROJECT_VERSION}\"")
  message(FATAL_ERROR "include/sndtools.h does not say ${PROJECT_VERSION}: ${header_version}")
endif()

add_library(sndtools lib/c_api.cpp $<TARGET_OBJECTS:sndtools_objects>)
add_library(sndtools::sndtools ALIAS sndtools)
set_target_properties(sndtools PROPERTIES VERSION ${PROJECT_VERSION}
                      SOVERSION ${PROJECT_VERSION_MAJOR} CXX_VISIBILITY_PRESET hidden
                      VISIBILITY_INLINES_HIDDEN ON)
target_include_directories(sndtools PUBLIC $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
                                           $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>
                                    PRIVATE lib)
target_compile_definitions(sndtools PRIVATE SNDTOOLS_BUILDING)
target_link_libraries(sndtools PRIVATE $<BUILD_INTERFACE:sndtools_flags> Threads::Threads)
if(BUILD_SHARED_LIBS)
  if(CMAKE_SYSTEM_NAME STREQUAL "Linux" OR CMAKE_SYSTEM_NAME MATCHES "BSD")
    # Also what the C++ standard library's headers would otherwise export.
    target_link_options(sndtools PRIVATE
                        "LINKER:--version-script=${PROJECT_SOURCE_DIR}/cmake/sndtools.map")
    set_property(TARGET sndtools APPEND PROPERTY LINK_DEPENDS ${PROJECT_SOURCE_DIR}/cmake/sndtools.map)
  endif()
  set(pc_cflags "")
else()
  target_compile_definitions(sndtools PUBLIC SNDTOOLS_STATIC)
  set(pc_cflags " -DSNDTOOLS_STATIC")
endif()

install(TARGETS sndtools EXPORT sndtoolsTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT library
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT library
                NAMELINK_COMPONENT library
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT library
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES include/sndtools.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT library)
set(package_dir ${CMAKE_INSTALL_LIBDIR}/cmake/sndtools)
install(EXPORT sndtoolsTargets NAMESPACE sndtools:: DESTINATION ${package_dir}
        COMPONENT library)
configure_package_config_file(cmake/sndtoolsConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/sndtoolsConfig.cmake
                              INSTALL_DESTINATION ${package_dir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/sndtoolsConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/sndtoolsConfig.cmake
              ${PROJECT_BINARY_DIR}/sndtoolsConfigVersion.cmake
        DESTINATION ${package_dir} COMPONENT library)
# What a static link needs besides the library: the C++ runtime, the math
# library and threads (pkg-config --static).
configure_file(cmake/sndtools.pc.in ${PROJECT_BINARY_DIR}/sndtools.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/sndtools.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
        COMPONENT library)
