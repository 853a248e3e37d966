# nlohmann json: header only. The mingw cross build must not see /usr/include,
# so it gets a private include folder holding only nlohmann/.
add_library(klarna_json INTERFACE)
find_path(KLARNA_NLOHMANN_DIR nlohmann/json.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH REQUIRED)
if(CMAKE_CROSSCOMPILING AND WIN32)
  set(private_include ${CMAKE_BINARY_DIR}/private-include)
  file(MAKE_DIRECTORY ${private_include})
  if(NOT EXISTS ${private_include}/nlohmann)
    file(CREATE_LINK ${KLARNA_NLOHMANN_DIR}/nlohmann ${private_include}/nlohmann SYMBOLIC)
  endif()
  target_include_directories(klarna_json SYSTEM INTERFACE ${private_include})
else()
  target_include_directories(klarna_json SYSTEM INTERFACE ${KLARNA_NLOHMANN_DIR})
endif()

# libuuid (Linux only; Windows uses the RPC runtime).
if(NOT WIN32)
  add_library(klarna_uuid INTERFACE)
  find_library(KLARNA_UUID_LIB uuid REQUIRED)
  target_link_libraries(klarna_uuid INTERFACE ${KLARNA_UUID_LIB})
endif()

# GoogleTest from its Debian sources, so that every build (the cross build
# too) compiles it with its own compiler.
if(KLARNA_BUILD_TESTS AND NOT TARGET gtest)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
endif()

# klarna_unity_build(TARGET...): with KLARNA_UNITY_BUILD, the target's files
# are compiled KLARNA_UNITY_BATCH_SIZE at a time, each batch as one file. The
# headers (nlohmann json, GoogleTest) and the code they instantiate are then
# compiled once per batch instead of once per file: a build from nothing takes
# about half the CPU time. Every file still compiles on its own (the build with
# -DKLARNA_UNITY_BUILD=OFF), so helpers in anonymous namespaces need names of
# their own across a target. Debug information names the real source files.
function(klarna_unity_build)
  if(KLARNA_UNITY_BUILD)
    set_target_properties(${ARGN} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE ${KLARNA_UNITY_BATCH_SIZE})
  endif()
endfunction()

# klarna_test_program(TARGET...): test programs and GoogleTest are compiled
# without optimisation. They test the module's and the simulator's code,
# which keeps the build type's optimisation; optimising the tests' own code
# (GoogleTest's macros expand to much of it) took about half of the compile
# time of the linux32 and win32 trees and bought nothing.
function(klarna_test_program)
  foreach(target IN LISTS ARGN)
    target_compile_options(${target} PRIVATE -O0)
  endforeach()
endfunction()
if(KLARNA_BUILD_TESTS)
  klarna_test_program(gtest gtest_main gmock gmock_main)
endif()
