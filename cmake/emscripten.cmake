# The page's build: emscripten's own toolchain, wherever it is installed
# (EMSCRIPTEN, else beside the emcc on the PATH: Debian puts it in
# /usr/share/emscripten). Debian's emscripten finds the JavaScript parser
# its tools need only in Debian's node folder, which a node built elsewhere
# does not search: NODE_PATH is set for the configure step here and, through
# the launchers, for every compile and link.
set(emscripten_root "$ENV{EMSCRIPTEN}")
if(NOT emscripten_root)
  find_program(emcc_path emcc)
  if(NOT emcc_path)
    message(FATAL_ERROR "No emscripten: install it (Debian: apt-get install emscripten) or set "
                        "EMSCRIPTEN to its folder")
  endif()
  file(READ "${emcc_path}" emcc_text LIMIT 4096)
  if(emcc_text MATCHES "\"(/[^\"$]+)/(\\$BASENAME|emcc)\\.py")
    set(emscripten_root "${CMAKE_MATCH_1}") # Debian's emcc is a script that runs emcc.py
  else()
    file(REAL_PATH "${emcc_path}" emcc_real)
    get_filename_component(emscripten_root "${emcc_real}" DIRECTORY)
  endif()
endif()
set(EMSCRIPTEN_ROOT_PATH "${emscripten_root}" CACHE PATH "emscripten's folder")

set(node_path /usr/share/nodejs)
if("$ENV{NODE_PATH}" MATCHES "/usr/share/nodejs")
  set(node_path "$ENV{NODE_PATH}") # (this file is read again for each compiler check)
elseif(NOT "$ENV{NODE_PATH}" STREQUAL "")
  string(APPEND node_path ":$ENV{NODE_PATH}")
endif()
set(ENV{NODE_PATH} "${node_path}")
set(CMAKE_CXX_COMPILER_LAUNCHER "${CMAKE_COMMAND};-E;env;NODE_PATH=${node_path}" CACHE STRING "")
set(CMAKE_CXX_LINKER_LAUNCHER "${CMAKE_COMMAND};-E;env;NODE_PATH=${node_path}" CACHE STRING "")

include("${EMSCRIPTEN_ROOT_PATH}/cmake/Modules/Platform/Emscripten.cmake")
