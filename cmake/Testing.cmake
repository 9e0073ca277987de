find_package(GTest REQUIRED)
include(GoogleTest)

# pm_add_test(name SOURCES ... LIBS ... [PLATFORM qpa]): one GoogleTest executable per folder, registered
# test by test, drawing with the Qt platform PLATFORM (default offscreen). One variable only: the test
# discovery would split a list of them into separate properties. Screenshots go to build/test-artifacts
# (compiled into the test support).
function(pm_add_test name)
  cmake_parse_arguments(ARG "" "PLATFORM" "SOURCES;LIBS" ${ARGN})
  if(NOT ARG_PLATFORM)
    set(ARG_PLATFORM offscreen)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE pm_options pm_test_support ${ARG_LIBS} GTest::gmock GTest::gtest)
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 30
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=${ARG_PLATFORM}"
               TIMEOUT 60)
endfunction()
