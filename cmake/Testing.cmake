find_package(GTest REQUIRED)
include(GoogleTest)

# pm_add_test(name SOURCES ... LIBS ... [PLATFORM qpa] [RESOURCE_LOCK lock]): one GoogleTest executable per
# folder, registered test by test, drawing with the Qt platform PLATFORM (default offscreen). One
# environment variable only: the test discovery would split a list of them into separate properties.
# Screenshots go to build/test-artifacts (compiled into the test support). Tests holding the same lock
# never run at the same time (for example those that run the real agent, which owns one name on the
# session bus all tests share).
function(pm_add_test name)
  cmake_parse_arguments(ARG "" "PLATFORM;RESOURCE_LOCK" "SOURCES;LIBS" ${ARGN})
  if(NOT ARG_PLATFORM)
    set(ARG_PLATFORM offscreen)
  endif()
  set(lock)
  if(ARG_RESOURCE_LOCK)
    set(lock RESOURCE_LOCK ${ARG_RESOURCE_LOCK})
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE pm_options pm_test_support ${ARG_LIBS} GTest::gmock GTest::gtest)
  # One environment entry only: a list would reach the discovered tests as separate property words. The
  # screenshot folder is compiled into the test support instead.
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 30
    PROPERTIES TIMEOUT 60 ${lock} ENVIRONMENT "QT_QPA_PLATFORM=${ARG_PLATFORM}")
endfunction()
