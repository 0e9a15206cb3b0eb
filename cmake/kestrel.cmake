# One static library per source folder under src/: every .cpp (and .h) in the folder
# and its subfolders belongs to it, except the program entry points in main/, which
# are built as executables of their own.
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
  foreach(f ${_all})
    cmake_path(IS_PREFIX _main "${f}" _in_main)
    if(NOT _in_main)
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

# Every tests/<module>/test_*.cpp becomes its own test program, so a test file
# that does not build stops only itself. Label: "gui" for test_gui_*, "integration"
# for test_it_*, else "unit". Tests see every header under src/.
function(kestrel_tests module)
  file(GLOB _tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/test_*.cpp)
  file(GLOB _support CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/support_*.cpp)
  foreach(t ${_tests})
    get_filename_component(_n ${t} NAME_WE)
    set(_exe ${module}_${_n})
    add_executable(${_exe} ${t} ${_support})
    target_include_directories(${_exe} PRIVATE ${PROJECT_SOURCE_DIR}/tests ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${_exe} PRIVATE ${ARGN} GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads)
    add_test(NAME ${module}.${_n} COMMAND ${_exe})
    set(_label unit)
    if(_n MATCHES "^test_gui_")
      set(_label gui)
    elseif(_n MATCHES "^test_it_")
      set(_label integration)
    endif()
    set_tests_properties(${module}.${_n} PROPERTIES LABELS "${_label}" TIMEOUT 300
      ENVIRONMENT "KESTREL_LOOPBACK_ONLY=1;QT_QPA_PLATFORM=offscreen;KESTREL_TEST_SRC=${PROJECT_SOURCE_DIR}")
  endforeach()
endfunction()
