# Helpers that keep each folder's CMakeLists to a table of its files.

include(GoogleTest OPTIONAL)

# Adds every child folder of `parent` that has a CMakeLists.txt.
function(lorvex_add_child_directories parent)
  file(GLOB children LIST_DIRECTORIES true ${CMAKE_SOURCE_DIR}/${parent}/*)
  list(SORT children)
  foreach(child IN LISTS children)
    if(IS_DIRECTORY ${child} AND EXISTS ${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()

# lorvex_add_library(<layer> SOURCES ... [PUBLIC_LIBS ...] [PRIVATE_LIBS ...])
# One static library per src/ folder, named lorvex_<layer>; includes are "<layer>/file.h".
function(lorvex_add_library layer)
  cmake_parse_arguments(ARG "" "" "SOURCES;PUBLIC_LIBS;PRIVATE_LIBS" ${ARGN})
  add_library(lorvex_${layer} STATIC ${ARG_SOURCES})
  target_include_directories(lorvex_${layer} PUBLIC ${CMAKE_SOURCE_DIR}/src)
  target_link_libraries(lorvex_${layer} PUBLIC ${ARG_PUBLIC_LIBS} PRIVATE ${ARG_PRIVATE_LIBS})
endfunction()

# lorvex_add_test(<name> SOURCES ... LIBS ...)
# A GoogleTest executable; each test case becomes one CTest test. Tests that read the shared
# real-image fixtures find them through LORVEX_FIXTURES_DIR and skip when it is absent.
function(lorvex_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gmock GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE
    LORVEX_FIXTURES_DIR="${CMAKE_SOURCE_DIR}/../shared/fixtures"
    LORVEX_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60 TEST_PREFIX "${name}."
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()

# lorvex_add_benchmark(<name> SOURCES ... LIBS ...)
function(lorvex_add_benchmark name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} benchmark::benchmark)
endfunction()

# lorvex_add_tool(<name> SOURCES ... LIBS ...)
function(lorvex_add_tool name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
endfunction()

# lorvex_add_fuzzer(<name> SOURCES ... LIBS ... [DICT file])
# With LORVEX_FUZZ (clang) a libFuzzer binary; otherwise the same entry point linked with a small
# driver that replays the files named on its command line, so every fuzz target also compiles
# in the ordinary build.
function(lorvex_add_fuzzer name)
  cmake_parse_arguments(ARG "" "DICT" "SOURCES;LIBS" ${ARGN})
  if(LORVEX_FUZZ)
    add_executable(${name} ${ARG_SOURCES})
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    add_dependencies(lorvex_fuzzers ${name})
  else()
    add_executable(${name} ${ARG_SOURCES} ${CMAKE_SOURCE_DIR}/fuzz/replay_main.cpp)
  endif()
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzzers)
  if(ARG_DICT)
    configure_file(${ARG_DICT} ${CMAKE_BINARY_DIR}/fuzzers/${name}.dict COPYONLY)
  endif()
endfunction()

# lorvex_add_layer_library(<layer> [PUBLIC_LIBS ...] [PRIVATE_LIBS ...])
# The library of one src/ folder: every .cpp below the folder.
function(lorvex_add_layer_library layer)
  cmake_parse_arguments(ARG "" "" "PUBLIC_LIBS;PRIVATE_LIBS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT sources)
    message(STATUS "src/${layer}: no sources yet")
    return()
  endif()
  lorvex_add_library(${layer} SOURCES ${sources} PUBLIC_LIBS ${ARG_PUBLIC_LIBS} PRIVATE_LIBS ${ARG_PRIVATE_LIBS})
endfunction()

# lorvex_add_folder_tests(LIBS ... [SUPPORT file ...])
# One test executable per *_test.cpp below the current folder, named after the file, each linked
# with the listed libraries and the shared support sources.
function(lorvex_add_folder_tests)
  cmake_parse_arguments(ARG "" "" "LIBS;SUPPORT" ${ARGN})
  file(GLOB_RECURSE tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  foreach(test IN LISTS tests)
    get_filename_component(name ${test} NAME_WE)
    lorvex_add_test(${name} SOURCES ${test} ${ARG_SUPPORT} LIBS ${ARG_LIBS})
  endforeach()
endfunction()
