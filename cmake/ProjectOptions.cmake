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

# Sources compile in batches, several files a unit: the Qt, QCoro and GoogleTest headers that take most of
# a file's compile time are then read once a batch, which halves a clean build. Names private to one file
# meet the other files of its batch; a file that cannot share one is marked SKIP_UNITY_BUILD_INCLUSION.
# -DCMAKE_UNITY_BUILD=OFF compiles file by file.
set(CMAKE_UNITY_BUILD ON CACHE BOOL "Compile the sources of a target in batches")
set(CMAKE_UNITY_BUILD_BATCH_SIZE 8 CACHE STRING "Sources a batch holds at most")
# In a batch every source is an included file, and GCC then warns of each type there that holds a
# file-private one: the frame of a coroutine that logs to a file-private category, a nested class with a
# field of a file-private type. Each such type is still defined in one source only, so the batch cannot
# break the one-definition rule; compiled file by file the same sources raise no such warning, and keep it.
if(CMAKE_UNITY_BUILD AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  target_compile_options(pm_options INTERFACE -Wno-subobject-linkage)
endif()

# A warning fails the build where asked (the test build asks), so the one that matters is never buried
# under others.
option(PARCELMOOR_WARNINGS_AS_ERRORS "Fail the build on any compiler warning" OFF)
if(PARCELMOOR_WARNINGS_AS_ERRORS)
  target_compile_options(pm_options INTERFACE -Werror)
endif()

# lld links the executables (each a stack of static libraries over Qt) several times faster than the
# default linker; taken whenever the compiler can use it (scripts/setup installs it).
include(CheckLinkerFlag)
check_linker_flag(CXX -fuse-ld=lld PARCELMOOR_HAVE_LLD)
if(PARCELMOOR_HAVE_LLD)
  add_link_options(-fuse-ld=lld)
endif()
