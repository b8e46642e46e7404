# qm_add_test(NAME_test.cpp [SOURCES ...] [LIBRARIES ...] [DEPENDS targets...] [ARGS ...]
#             [COMMAND ...] [TIMEOUT seconds] [LABELS ...])
#
# The GoogleTest executable NAME_test, built from NAME_test.cpp, and the ctest entry NAME_test
# that runs it (with ARGS, or as COMMAND when a script drives it). DEPENDS names what the test
# starts, loads or reads at run time. Natively it runs as it is; in the cross build it links
# win_test_support and runs under Wine (the cross-compiling emulator), in bin/ and alone.
function(qm_add_test file)
  cmake_parse_arguments(PARSE_ARGV 1 T "" "TIMEOUT" "SOURCES;LIBRARIES;DEPENDS;ARGS;COMMAND;LABELS")
  get_filename_component(name ${file} NAME_WE)
  add_executable(${name} ${file} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBRARIES} GTest::gtest_main)
  if(WIN32)
    target_link_libraries(${name} PRIVATE win_test_support)
  endif()
  if(T_DEPENDS)
    add_dependencies(${name} ${T_DEPENDS})
  endif()
  if(NOT T_COMMAND)
    set(T_COMMAND ${name} ${T_ARGS})
  endif()
  qm_add_test_entry(${name} ${T_COMMAND})
  if(T_TIMEOUT)
    set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT})
  endif()
  if(T_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}")
  endif()
endfunction()

# qm_add_test_run(NAME TEST target [ARGS ...] [ENVIRONMENT var=value...] [TIMEOUT seconds]): one
# more ctest entry for the test executable TEST, with other arguments or environment.
function(qm_add_test_run name)
  cmake_parse_arguments(PARSE_ARGV 1 T "" "TEST;TIMEOUT" "ARGS;ENVIRONMENT")
  qm_add_test_entry(${name} ${T_TEST} ${T_ARGS})
  if(T_ENVIRONMENT)
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${T_ENVIRONMENT}")
  endif()
  if(T_TIMEOUT)
    set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT})
  endif()
endfunction()

# Wine tests share one prefix: they run in bin/, one at a time.
function(qm_add_test_entry name)
  if(WIN32)
    add_test(NAME ${name} COMMAND ${ARGN} WORKING_DIRECTORY ${PROJECT_BINARY_DIR}/bin)
    set_tests_properties(${name} PROPERTIES RUN_SERIAL TRUE)
  else()
    add_test(NAME ${name} COMMAND ${ARGN})
  endif()
endfunction()
