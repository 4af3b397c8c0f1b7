# GoogleTest from Debian's sources, and the helper that registers our tests.
# Tests run only in the win64 tree, under wine64 (see tests/wine-run.in).
set(QUANDRIL_RUN_TESTS OFF)
if(QUANDRIL_TARGET STREQUAL "win64")
  set(QUANDRIL_RUN_TESTS ON)
endif()

set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)

if(QUANDRIL_RUN_TESTS)
  set(QUANDRIL_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  configure_file(${CMAKE_SOURCE_DIR}/tests/wine-run.in ${CMAKE_BINARY_DIR}/wine-run @ONLY
    FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
endif()

# quandril_add_test(<name> SOURCES ... [LIBS ...] [LABELS ...] [RUN_SERIAL])
# One test executable per component; CTest runs each as one test.
function(quandril_add_test name)
  cmake_parse_arguments(arg "RUN_SERIAL" "" "SOURCES;LIBS;LABELS;DEPENDS" ${ARGN})
  add_executable(${name} ${arg_SOURCES})
  target_link_libraries(${name} PRIVATE quandril_options GTest::gmock GTest::gtest_main ${arg_LIBS})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  if(arg_DEPENDS)
    add_dependencies(${name} ${arg_DEPENDS})
  endif()
  if(QUANDRIL_RUN_TESTS)
    add_test(NAME ${name} COMMAND ${name} --gtest_color=no)
    set_tests_properties(${name} PROPERTIES TIMEOUT 900 LABELS "${arg_LABELS}")
    if(arg_RUN_SERIAL)
      set_tests_properties(${name} PROPERTIES RUN_SERIAL TRUE)
    endif()
  endif()
endfunction()
