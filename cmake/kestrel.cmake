# One static library per source folder under src/: every .cpp (and .h) in the folder
# and its subfolders belongs to it, except the program entry points in main/, which
# are built as executables of their own, and the other platform's side of a platform
# seam: <name>_posix.cpp is built on Linux, <name>_win32.cpp on Windows.
#
# A library sees only its own headers and those of the libraries it links, so an
# include of a higher layer does not compile. Its include root in the build tree,
# include/<name>/, holds one link named after the folder (include/kestrel_engine/engine
# -> src/engine, include/kestrel_app_logic/app/logic -> src/app/logic); that root is
# the library's only public include directory and reaches other targets through
# target_link_libraries alone.
#
#   kestrel_library(<name> <folder> [<library>...])   the libraries are linked PUBLIC
function(kestrel_library name dir)
  file(RELATIVE_PATH _rel ${PROJECT_SOURCE_DIR}/src ${dir})
  if(_rel STREQUAL "" OR _rel MATCHES "^\\.\\.")
    message(FATAL_ERROR "kestrel_library(${name}): ${dir} is not a folder below src/")
  endif()

  file(GLOB_RECURSE _all CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.h)
  set(_main ${dir}/main/)
  set(_srcs)
  if(WIN32)
    set(_other_platform "_posix\\.cpp$")
  else()
    set(_other_platform "_win32\\.cpp$")
  endif()
  foreach(f ${_all})
    cmake_path(IS_PREFIX _main "${f}" _in_main)
    if(NOT _in_main AND NOT f MATCHES "${_other_platform}")
      list(APPEND _srcs ${f})
    endif()
  endforeach()

  set(_root ${CMAKE_BINARY_DIR}/include/${name})
  cmake_path(GET _rel PARENT_PATH _parent)
  file(MAKE_DIRECTORY ${_root}/${_parent})
  file(CREATE_LINK ${dir} ${_root}/${_rel} SYMBOLIC)

  add_library(${name} STATIC ${_srcs})
  target_include_directories(${name} PUBLIC ${_root})
  target_link_libraries(${name} PUBLIC ${ARGN})
endfunction()

# One test program per module: its tests/<module>/test_*.cpp files and its support_*.cpp
# files, each compiled once and linked once (a program per test file linked the same
# support sources and libraries dozens of times). ctest still lists one test per file,
# named <module>.<file>, that runs the file's own test suites through --gtest_filter.
# Label: "gui" for test_gui_*, "integration" for test_it_*, else "unit". Tests see
# every header under src/.
#
#   kestrel_tests(<module> <library>...)          program <module>_tests
#   kestrel_test_program(<program> <files> <library>...)   one program over given files
function(kestrel_test_program exe files)
  file(GLOB _support CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/support_*.cpp)
  # A test helper has platform sides as the libraries do: support_x_posix.cpp, support_x_win32.cpp.
  if(WIN32)
    list(FILTER _support EXCLUDE REGEX "_posix\\.cpp$")
  else()
    list(FILTER _support EXCLUDE REGEX "_win32\\.cpp$")
  endif()
  get_filename_component(_module ${CMAKE_CURRENT_SOURCE_DIR} NAME)
  add_executable(${exe} ${files} ${_support})
  target_include_directories(${exe} PRIVATE ${PROJECT_SOURCE_DIR}/tests ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${exe} PRIVATE ${ARGN} GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads)
  foreach(t ${files})
    get_filename_component(_n ${t} NAME_WE)
    # The suites a file declares; a parameterised suite runs as <prefix>/<suite>.
    file(READ ${t} _text)
    string(REGEX MATCHALL "(TEST|TEST_F|TEST_P)\\([ \t\r\n]*[A-Za-z_][A-Za-z0-9_]*" _decls "${_text}")
    set(_filter)
    foreach(d ${_decls})
      string(REGEX REPLACE "^[A-Z_]+\\([ \t\r\n]*" "" _suite "${d}")
      list(APPEND _filter "${_suite}.*" "*/${_suite}.*")
    endforeach()
    list(REMOVE_DUPLICATES _filter)
    if(NOT _filter)
      message(FATAL_ERROR "${t} declares no test")
    endif()
    list(JOIN _filter ":" _filter)
    add_test(NAME ${_module}.${_n} COMMAND ${exe} --gtest_filter=${_filter})
    set(_label unit)
    if(_n MATCHES "^test_gui_")
      set(_label gui)
    elseif(_n MATCHES "^test_it_")
      set(_label integration)
    endif()
    set_tests_properties(${_module}.${_n} PROPERTIES LABELS "${_label}" TIMEOUT 300
      ENVIRONMENT "KESTREL_LOOPBACK_ONLY=1;QT_QPA_PLATFORM=offscreen;KESTREL_TEST_SRC=${PROJECT_SOURCE_DIR}")
    if("${_module}.${_n}" IN_LIST KESTREL_LONG_TESTS)
      set_tests_properties(${_module}.${_n} PROPERTIES COST 1000)
    endif()
  endforeach()
endfunction()

#
# The Windows build (under Wine) runs the files named in KESTREL_WINDOWS_TESTS
# (<module>/<file>, set in tests/CMakeLists.txt): the others need a pseudo-terminal,
# a POSIX process or the window.
function(kestrel_tests module)
  file(GLOB _tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/test_*.cpp)
  list(FILTER _tests EXCLUDE REGEX "/test_gui_[^/]*$")
  if(WIN32)
    set(_kept)
    foreach(t ${_tests})
      get_filename_component(_n ${t} NAME_WE)
      if("${module}/${_n}" IN_LIST KESTREL_WINDOWS_TESTS)
        list(APPEND _kept ${t})
      endif()
    endforeach()
    set(_tests ${_kept})
    if(NOT _tests)
      return()
    endif()
  endif()
  kestrel_test_program(${module}_tests "${_tests}" ${ARGN})
endfunction()
