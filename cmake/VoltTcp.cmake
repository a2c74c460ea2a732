# One helper per kind of target, so every folder builds the same way.

set(VOLTTCP_WARNINGS -Wall -Wextra -Wshadow -Wconversion -Wold-style-cast -Woverloaded-virtual
    -Wnon-virtual-dtor -Wpedantic)
if(VOLTTCP_WERROR)
  list(APPEND VOLTTCP_WARNINGS -Werror)
endif()

if(VOLTTCP_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
if(VOLTTCP_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "VOLTTCP_FUZZ needs clang: -DCMAKE_CXX_COMPILER=clang++-14")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()


function(volttcp_add_if_present dir)
  if(EXISTS ${PROJECT_SOURCE_DIR}/${dir}/CMakeLists.txt)
    add_subdirectory(${PROJECT_SOURCE_DIR}/${dir} ${CMAKE_BINARY_DIR}/${dir})
  endif()
endfunction()

function(volttcp_add_subdirectories)
  file(GLOB children LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT children)
  foreach(child IN LISTS children)
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()

# Headers are included by their path from the top ("lib/Tcp.h"), but no target sees the whole
# tree: each folder's headers are linked into a folder of their own in the build tree
# (include/<folder>/<folder path>/*.h). A target sees its own folder's, and those of the
# libraries it links: a layer reaches only the layers below it that it names.
function(_volttcp_folder_headers out)
  file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  string(REPLACE "/" "." key "${folder}")
  set(root ${CMAKE_BINARY_DIR}/include/${key})
  file(GLOB headers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  file(MAKE_DIRECTORY ${root}/${folder})
  foreach(header IN LISTS headers)
    get_filename_component(name ${header} NAME)
    if(NOT EXISTS ${root}/${folder}/${name})
      file(CREATE_LINK ${header} ${root}/${folder}/${name} SYMBOLIC)
    endif()
  endforeach()
  set(${out} ${root} PARENT_SCOPE)
endfunction()

function(_volttcp_target_defaults target)
  target_compile_options(${target} PRIVATE ${VOLTTCP_WARNINGS})
  _volttcp_folder_headers(headers)
  target_include_directories(${target} PRIVATE ${headers})
  set_property(GLOBAL APPEND PROPERTY VOLTTCP_TARGETS ${target})
endfunction()

# volttcp_library(name [SOURCES ...] [DEPS ...]) : without sources, the folder's headers alone
function(volttcp_library name)
  cmake_parse_arguments(A "" "" "SOURCES;DEPS" ${ARGN})
  _volttcp_folder_headers(headers)
  if(NOT A_SOURCES)
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${headers})
    target_link_libraries(${name} INTERFACE ${A_DEPS})
    set_property(GLOBAL APPEND PROPERTY VOLTTCP_TARGETS ${name})
    return()
  endif()
  add_library(${name} STATIC ${A_SOURCES})
  _volttcp_target_defaults(${name})
  target_include_directories(${name} PUBLIC ${headers})
  target_link_libraries(${name} PUBLIC ${A_DEPS})
endfunction()

# Every library of ours that a target names must exist in this configuration: a name that is
# no target would otherwise reach the linker as "-lname", and a build without Qt would fail
# only there. (Names with "::" are checked by CMake itself.)
function(volttcp_check_dependencies)
  get_property(targets GLOBAL PROPERTY VOLTTCP_TARGETS)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "INTERFACE_LIBRARY")
      get_target_property(deps ${target} INTERFACE_LINK_LIBRARIES)
    else()
      get_target_property(deps ${target} LINK_LIBRARIES)
    endif()
    foreach(dep IN LISTS deps)
      if(dep AND NOT TARGET ${dep} AND NOT dep MATCHES "::|^\\$<|^-")
        message(SEND_ERROR "${target} links ${dep}, which is not built in this configuration")
      endif()
    endforeach()
  endforeach()
endfunction()

# volttcp_program(name SOURCES ... [DEPS ...]) : an installed program in bin/
function(volttcp_program name)
  cmake_parse_arguments(A "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  _volttcp_target_defaults(${name})
  target_link_libraries(${name} PRIVATE ${A_DEPS})
  target_compile_definitions(${name} PRIVATE VOLTTCP_VERSION="${PROJECT_VERSION}")
  install(TARGETS ${name} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endfunction()

# volttcp_test(name LABELS unit|integration|gui SOURCES ... [DEPS ...] [TIMEOUT s] [RESOURCE_LOCK r])
# A GoogleTest program; every test case becomes one ctest test. Its environment (offscreen
# Qt, sanitizer options) is built into the program by tests/TestEnvironment.cpp, because
# list-valued test properties do not survive test discovery.
function(volttcp_test name)
  cmake_parse_arguments(A "" "TIMEOUT;LABELS;RESOURCE_LOCK" "SOURCES;DEPS" ${ARGN})
  if(NOT A_TIMEOUT)
    set(A_TIMEOUT 120)
  endif()
  set(lock "")
  if(A_RESOURCE_LOCK)
    set(lock RESOURCE_LOCK ${A_RESOURCE_LOCK})
  endif()
  add_executable(${name} ${A_SOURCES} ${PROJECT_SOURCE_DIR}/tests/TestEnvironment.cpp)
  _volttcp_target_defaults(${name})
  target_link_libraries(${name} PRIVATE ${A_DEPS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE VOLTTCP_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  gtest_discover_tests(${name}
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/tests
    DISCOVERY_TIMEOUT 60
    NO_PRETTY_VALUES
    PROPERTIES LABELS ${A_LABELS} TIMEOUT ${A_TIMEOUT} ${lock})
endfunction()

# volttcp_bench(name SOURCES ... [DEPS ...]) : built, never run by the test suite; its command
# line is read with CCommandLine like every program's
function(volttcp_bench name)
  cmake_parse_arguments(A "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  _volttcp_target_defaults(${name})
  target_link_libraries(${name} PRIVATE ${A_DEPS} volttcp_cmdline)
  target_compile_definitions(${name} PRIVATE VOLTTCP_VERSION="${PROJECT_VERSION}")
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endfunction()

# volttcp_fuzz(name SOURCES ... [DEPS ...] [CORPUS dir]) : a libFuzzer target; ctest runs it
# for VOLTTCP_FUZZ_SECONDS (label fuzz) on a copy of its seed corpus.
set(VOLTTCP_FUZZ_SECONDS 30 CACHE STRING "Seconds each fuzz target runs under ctest")
function(volttcp_fuzz name)
  cmake_parse_arguments(A "" "CORPUS" "SOURCES;DEPS" ${ARGN})
  if(NOT VOLTTCP_FUZZ)
    return()
  endif()
  add_executable(${name} ${A_SOURCES})
  _volttcp_target_defaults(${name})
  target_link_libraries(${name} PRIVATE ${A_DEPS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
  set(work ${CMAKE_BINARY_DIR}/fuzz/${name}.corpus)
  set(seed_args "")
  if(A_CORPUS)
    set(seed_args ${CMAKE_CURRENT_SOURCE_DIR}/${A_CORPUS})
  endif()
  add_test(NAME ${name}
    COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=1
      $<TARGET_FILE:${name}> -max_total_time=${VOLTTCP_FUZZ_SECONDS} -print_final_stats=1 ${work} ${seed_args})
  set_tests_properties(${name} PROPERTIES LABELS fuzz TIMEOUT 600)
  file(MAKE_DIRECTORY ${work})
endfunction()
