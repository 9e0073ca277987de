find_package(GTest REQUIRED)
include(GoogleTest)

# pm_add_test(name SOURCES ... LIBS ...): one GoogleTest executable per folder, registered test by test.
function(pm_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE pm_options pm_test_support ${ARG_LIBS} GTest::gmock GTest::gtest)
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 30
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;PM_TEST_ARTIFACTS=${CMAKE_BINARY_DIR}/test-artifacts"
               TIMEOUT 60)
endfunction()
