# One library target per source folder, all built with the same strict warnings.
function(kestrel_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
                                           -Wold-style-cast -Wcast-align -Woverloaded-virtual -Werror)
endfunction()

# kestrel_module(<target> SOURCES ... [DEPENDS ...])
function(kestrel_module target)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
  add_library(${target} STATIC ${ARG_SOURCES})
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${target} PUBLIC ${ARG_DEPENDS})
  kestrel_warnings(${target})
endfunction()

# kestrel_test(<name> SOURCES ... DEPENDS ...): a GoogleTest executable registered with CTest.
function(kestrel_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPENDS} kestrel_testsupport GTest::gtest GTest::gmock GTest::gtest_main)
  kestrel_warnings(${name})
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
                       PROPERTIES ENVIRONMENT "KESTREL_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
endfunction()
