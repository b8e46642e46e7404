# qm_add_wine_test(NAME SOURCES...): a GoogleTest executable run once under Wine.
function(qm_add_wine_test name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE win_test_support GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name} WORKING_DIRECTORY ${PROJECT_BINARY_DIR}/bin)
  set_tests_properties(${name} PROPERTIES RUN_SERIAL TRUE)
endfunction()
