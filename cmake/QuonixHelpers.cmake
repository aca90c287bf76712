# Adds every listed sub-folder of the current folder that has a CMakeLists.txt, in order.
macro(quonix_add_existing_subdirectories)
  foreach(_sub ${ARGN})
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${_sub}/CMakeLists.txt)
      add_subdirectory(${_sub})
    endif()
  endforeach()
endmacro()

# quonix_add_gtest(NAME name SOURCES ... LIBS ... [XVFB] [LABELS ...] [TIMEOUT s])
# Registers one GoogleTest executable as one ctest test. XVFB tests need a display;
# test.sh runs the whole suite under xvfb-run so they get one.
function(quonix_add_gtest)
  cmake_parse_arguments(T "XVFB" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  add_test(NAME ${T_NAME} COMMAND ${T_NAME} WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set(_labels ${T_LABELS})
  if(T_XVFB)
    list(APPEND _labels gl)
  endif()
  set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "${_labels}"
    ENVIRONMENT "QUONIX_BIN_DIR=${QUONIX_BIN_DIR};QUONIX_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
endfunction()
