# One INTERFACE target that every target of the project links: language level, warnings and the Qt
# defines that turn silent conversions into compile errors.
add_library(pm_options INTERFACE)
target_compile_features(pm_options INTERFACE cxx_std_20)
target_compile_options(pm_options INTERFACE
  -Wall -Wextra -Wpedantic
  $<$<CXX_COMPILER_ID:GNU>:-fcoroutines>)
target_compile_definitions(pm_options INTERFACE
  QT_NO_CAST_FROM_BYTEARRAY
  QT_NO_CAST_TO_ASCII
  QT_NO_URL_CAST_FROM_STRING
  QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
  QT_NO_FOREACH
  QT_NO_KEYWORDS
  QT_NO_CONTEXTLESS_CONNECT)
set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)
if(NOT CMAKE_BUILD_TYPE AND NOT CMAKE_CONFIGURATION_TYPES)
  set(CMAKE_BUILD_TYPE RelWithDebInfo CACHE STRING "Build type" FORCE)
endif()
