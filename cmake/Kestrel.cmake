# Shared build settings and the two helpers every folder uses.

set(KESTREL_WARNINGS -Wall -Wextra)
set(KESTREL_SAN_FLAGS)
if(KESTREL_SANITIZE)
  set(KESTREL_SAN_FLAGS -fsanitize=address,undefined -fno-omit-frame-pointer
                        -fno-sanitize-recover=undefined)
  add_compile_options(${KESTREL_SAN_FLAGS})
  add_link_options(${KESTREL_SAN_FLAGS})
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

# kestrel_test(name SOURCES ... [DEPS ...]): a GoogleTest executable registered with ctest.
if(BUILD_TESTING)
  find_package(GTest REQUIRED)
  include(GoogleTest)
endif()
function(kestrel_test name)
  if(NOT BUILD_TESTING)
    return()
  endif()
  cmake_parse_arguments(KT "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${KT_SOURCES})
  target_compile_options(${name} PRIVATE ${KESTREL_WARNINGS})
  target_link_libraries(${name} PRIVATE ${KT_DEPS} GTest::gtest GTest::gmock GTest::gtest_main)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
                       PROPERTIES ENVIRONMENT "KESTREL_TEST=1")
endfunction()
