# SPDX-License-Identifier: MIT
# add_unit_test(NAME name SOURCES ... LIBS ... LABELS ... [WRAPPER command])
# One small GoogleTest executable per module, registered with CTest.
# WRAPPER: a command the test executable is run through (its path last).
function(add_unit_test)
  cmake_parse_arguments(T "" "NAME;WRAPPER" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} tessaly_testsupport GTest::gtest GTest::gtest_main)
  add_test(NAME ${T_NAME} COMMAND ${T_WRAPPER} $<TARGET_FILE:${T_NAME}>)
  if(NOT T_LABELS)
    set(T_LABELS unit)
  endif()
  set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABELS}" TIMEOUT 300)
endfunction()
