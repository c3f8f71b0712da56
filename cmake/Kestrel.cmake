# Shared build settings and the two helpers every folder uses.

set(KESTREL_WARNINGS -Wall -Wextra)
set(KESTREL_SAN_FLAGS)
# The fuzz build runs the same sanitizers as the sanitizer build, and instruments every library
# for libFuzzer's coverage; only the fuzz programs themselves link the fuzzer's main.
if(KESTREL_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "KESTREL_FUZZ needs clang: configure with CC=clang CXX=clang++ (fuzz/run.sh does)")
  endif()
  set(KESTREL_SANITIZE ON)
endif()
if(KESTREL_SANITIZE)
  set(KESTREL_SAN_FLAGS -fsanitize=address,undefined -fno-omit-frame-pointer
                        -fno-sanitize-recover=undefined)
  add_compile_options(${KESTREL_SAN_FLAGS})
  add_link_options(${KESTREL_SAN_FLAGS})
endif()
if(KESTREL_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

find_package(Threads REQUIRED)

# kestrel_library(name SOURCES ... [DEPS ...]): one static library per folder.
function(kestrel_library name)
  cmake_parse_arguments(KL "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${KL_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_compile_options(${name} PRIVATE ${KESTREL_WARNINGS})
  target_link_libraries(${name} PUBLIC ${KL_DEPS} Threads::Threads)
endfunction()

# kestrel_test(name SOURCES ... [DEPS ...] [XSERVER]): a GoogleTest executable registered with
# ctest. XSERVER marks tests that start an X server of their own: they take turns (one at a
# time), since a loaded machine makes their servers slow to come up and their input late.
if(BUILD_TESTING)
  find_package(GTest REQUIRED)
  include(GoogleTest)
endif()
function(kestrel_test name)
  if(NOT BUILD_TESTING)
    return()
  endif()
  cmake_parse_arguments(KT "XSERVER" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${KT_SOURCES})
  target_compile_options(${name} PRIVATE ${KESTREL_WARNINGS})
  target_link_libraries(${name} PRIVATE ${KT_DEPS} GTest::gtest GTest::gmock GTest::gtest_main)
  set(props ENVIRONMENT "KESTREL_TEST=1")
  if(KT_XSERVER)
    list(APPEND props RESOURCE_LOCK xserver)
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST PROPERTIES ${props})
endfunction()

# kestrel_folder_library(name DEPS ...): the folder's library from every .cpp in it, and its
# tests (FOLDER/tests/*_test.cpp) as one test program. Folders without sources add nothing.
function(kestrel_folder_library name)
  cmake_parse_arguments(KF "" "" "DEPS;TEST_DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT sources)
    return()
  endif()
  kestrel_library(${name} SOURCES ${sources} DEPS ${KF_DEPS})
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/*_test.cpp)
  if(tests)
    kestrel_test(${name}_tests SOURCES ${tests} DEPS ${name} ${KF_TEST_DEPS})
  endif()
endfunction()
