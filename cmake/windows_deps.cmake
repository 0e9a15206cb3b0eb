# The header-only libraries for the mingw build, taken from the Debian packages of the
# host (libfmt-dev, libcli11-dev, libsimpleini-dev): only their own folders are put on
# the include path, never /usr/include itself, whose system headers are Linux's.
# fmt is used in its header-only mode; googletest is built from /usr/src/googletest.
set(_hostinc ${CMAKE_BINARY_DIR}/host-headers)
file(MAKE_DIRECTORY ${_hostinc})
foreach(_h fmt CLI SimpleIni.h)
  if(NOT EXISTS /usr/include/${_h})
    message(FATAL_ERROR "/usr/include/${_h} not found: install libfmt-dev, libcli11-dev and libsimpleini-dev")
  endif()
  file(CREATE_LINK /usr/include/${_h} ${_hostinc}/${_h} SYMBOLIC)
endforeach()

add_library(fmt::fmt INTERFACE IMPORTED)
set_target_properties(fmt::fmt PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${_hostinc}
  INTERFACE_COMPILE_DEFINITIONS FMT_HEADER_ONLY=1)
add_library(CLI11::CLI11 INTERFACE IMPORTED)
set_target_properties(CLI11::CLI11 PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${_hostinc})
add_library(SimpleIni::SimpleIni INTERFACE IMPORTED)
set_target_properties(SimpleIni::SimpleIni PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${_hostinc})

if(KESTREL_TESTS)
  if(NOT EXISTS /usr/src/googletest/CMakeLists.txt)
    message(FATAL_ERROR "/usr/src/googletest not found: install googletest")
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  # googletest's own build defines GTest::gtest, GTest::gmock and GTest::gtest_main.
endif()
