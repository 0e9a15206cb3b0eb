# One static library per source folder; every .cpp in the folder and its subfolders
# belongs to it, except the programs under main/.
function(kestrel_library name dir)
  file(GLOB_RECURSE _srcs CONFIGURE_DEPENDS ${dir}/*.cpp)
  list(FILTER _srcs EXCLUDE REGEX "${dir}/main/")
  add_library(${name} STATIC ${_srcs})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARGN})
endfunction()

# Every tests/<module>/test_*.cpp becomes its own test program, so a test file
# that does not build stops only itself. Label: "gui" for test_gui_*, "integration"
# for test_it_*, else "unit".
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
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen;KESTREL_TEST_SRC=${PROJECT_SOURCE_DIR}")
  endforeach()
endfunction()
