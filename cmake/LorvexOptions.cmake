# Compiler flags shared by every target of the project.

if(NOT CMAKE_BUILD_TYPE AND NOT CMAKE_CONFIGURATION_TYPES)
  set(CMAKE_BUILD_TYPE RelWithDebInfo CACHE STRING "Build type" FORCE)
endif()

add_compile_options(-Wall -Wextra -Wpedantic)
# A switch over an enumeration without a default names every case: a case added without its branch
# stops every build, the release build too, not only the ones that make all warnings errors.
add_compile_options(-Werror=switch)

# -O1 keeps sanitized debug builds fast enough for the larger table-driven and differential tests.
set(CMAKE_CXX_FLAGS_DEBUG "-g -O1 -fno-omit-frame-pointer")
set(CMAKE_C_FLAGS_DEBUG "-g -O1 -fno-omit-frame-pointer")

if(LORVEX_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
  # Every test executable carries its own copy of the libraries' debug information: with full,
  # uncompressed DWARF the sanitized tree outgrew 18 GB. Line tables, compressed, are all the
  # sanitizers' stack traces need (file, line and function of every frame); debug in build/dev.
  set(CMAKE_CXX_FLAGS_DEBUG "-g1 -gz -O1 -fno-omit-frame-pointer")
  set(CMAKE_C_FLAGS_DEBUG "-g1 -gz -O1 -fno-omit-frame-pointer")
  add_link_options(-Wl,--compress-debug-sections=zlib)
endif()

# Data races between threads; only the plain C++ tests (the database's) are meant to run under it.
if(LORVEX_THREAD_SANITIZER)
  if(LORVEX_SANITIZE)
    message(FATAL_ERROR "LORVEX_THREAD_SANITIZER cannot be combined with LORVEX_SANITIZE")
  endif()
  add_compile_options(-fsanitize=thread)
  add_link_options(-fsanitize=thread)
endif()

if(LORVEX_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "LORVEX_FUZZ needs clang")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# GCC 12's optimiser reports uninitialised variant/optional members and impossible std::string
# overlaps in optimised builds (GCC bugs 105329, 105651 and relatives). The sanitized debug build is
# what checks our memory use, so those diagnostics are off where they are known to be noise.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  add_compile_options($<$<NOT:$<CONFIG:Debug>>:-Wno-maybe-uninitialized>
                      $<$<NOT:$<CONFIG:Debug>>:-Wno-restrict>
                      $<$<NOT:$<CONFIG:Debug>>:-Wno-stringop-overflow>
                      $<$<NOT:$<CONFIG:Debug>>:-Wno-stringop-overread>
                      $<$<NOT:$<CONFIG:Debug>>:-Wno-array-bounds>)
endif()
