# Warnings and floating-point rules, per compiler, as a usage requirement of
# the project's own targets (sndtools_flags) rather than of everything built.
# Output bytes depend on every rounding point: no contraction into fused
# multiply-adds, no fast-math, and float arithmetic at its own width.
add_library(sndtools_flags INTERFACE)
target_compile_definitions(sndtools_flags INTERFACE SNDTOOLS_PROGRAM_VERSION="${PROJECT_VERSION}")
if(MSVC)
  # /fp:precise does not contract from Visual Studio 2022 on.
  target_compile_options(sndtools_flags INTERFACE /W4 /fp:precise /utf-8)
  # fopen, strtod and the other standard functions, without the advice to
  # use Microsoft's own instead.
  target_compile_definitions(sndtools_flags INTERFACE _CRT_SECURE_NO_WARNINGS)
  if(SNDTOOLS_WERROR)
    target_compile_options(sndtools_flags INTERFACE /WX)
  endif()
elseif(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  target_compile_options(sndtools_flags INTERFACE -Wall -Wextra -Wpedantic -ffp-contract=off)
  # 32-bit x86 compilers evaluate float arithmetic on the x87 unit, wider
  # than float; SSE2 evaluates it as written.
  if(CMAKE_SIZEOF_VOID_P EQUAL 4 AND NOT EMSCRIPTEN AND
     CMAKE_SYSTEM_PROCESSOR MATCHES "^(i.86|x86|X86|AMD64|x86_64)$")
    target_compile_options(sndtools_flags INTERFACE -msse2 -mfpmath=sse)
  endif()
  if(SNDTOOLS_WERROR)
    target_compile_options(sndtools_flags INTERFACE -Werror)
  endif()
  if(SNDTOOLS_FUZZ)
    # Coverage for libFuzzer in everything the fuzz targets link.
    target_compile_options(sndtools_flags INTERFACE -fsanitize=fuzzer-no-link,address,undefined
                           -fno-sanitize-recover=all)
    target_link_options(sndtools_flags INTERFACE -fsanitize=address,undefined)
  endif()
  if(SNDTOOLS_SANITIZE)
    target_compile_options(sndtools_flags INTERFACE -fsanitize=address,undefined
                           -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_link_options(sndtools_flags INTERFACE -fsanitize=address,undefined)
  endif()
else()
  message(WARNING "${CMAKE_CXX_COMPILER_ID} is not a compiler this project knows: "
                  "build without fused multiply-adds and without fast-math")
endif()
