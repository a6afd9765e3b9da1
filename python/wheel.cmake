# The Python package as a wheel that carries the shared library beside
# __init__.py (build/python/sndtools-VERSION-py3-none-PLATFORM.whl), written
# by python/make_wheel.py with Python's standard library alone, so that
# `pip install` of it needs no index and no build backend. Made where the
# shared library is built for the machine that builds it, by its Python 3;
# not of a library built with the sanitizers, which loads in no plain Python.

# The version is the project's; the package, the Debian changelog and the
# source install (pyproject.toml reads the package's) must say the same.
file(STRINGS python/sndtools/__init__.py package_version REGEX "^__version__ = ")
file(STRINGS packaging/changelog changelog_version LIMIT_COUNT 1)
if(NOT package_version STREQUAL "__version__ = \"${PROJECT_VERSION}\"" OR
   NOT changelog_version MATCHES "^sndtools \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "python/sndtools/__init__.py or packaging/changelog does not name "
                      "${PROJECT_VERSION}: ${package_version}; ${changelog_version}")
endif()

if(SNDTOOLS_SHARED AND NOT CMAKE_CROSSCOMPILING AND NOT SNDTOOLS_SANITIZE)
  find_package(Python3 COMPONENTS Interpreter)
endif()
if(Python3_Interpreter_FOUND)
  # The platform tag: the platform Python names, with '_' for '-' and '.'.
  execute_process(COMMAND ${Python3_EXECUTABLE} -c
                  "import sysconfig; print(sysconfig.get_platform().replace('-', '_').replace('.', '_'))"
                  OUTPUT_VARIABLE wheel_platform OUTPUT_STRIP_TRAILING_WHITESPACE)
  set(wheel ${PROJECT_BINARY_DIR}/python/sndtools-${PROJECT_VERSION}-py3-none-${wheel_platform}.whl)
  if(WIN32)
    set(wheel_library_name $<TARGET_FILE_NAME:sndtools>)
  else()
    set(wheel_library_name $<TARGET_SONAME_FILE_NAME:sndtools>)
  endif()
  file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/python)
  add_custom_command(OUTPUT ${wheel}
    COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/python/make_wheel.py ${wheel}
            ${PROJECT_VERSION} $<TARGET_FILE:sndtools> ${wheel_library_name}
    DEPENDS sndtools python/make_wheel.py python/sndtools/__init__.py python/sndtools/py.typed
            python/pyproject.toml python/README.md LICENSE
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} VERBATIM)
  add_custom_target(python_wheel ALL DEPENDS ${wheel})
else()
  message(STATUS "no wheel of the Python package: it needs the shared library built "
                 "natively and a Python 3")
endif()
