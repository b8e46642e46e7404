# Native (Linux) build: qmpack, the portable core's tests, fuzz targets and benchmarks.
if(QM_TESTS)
  add_executable(core_tests
    tests/native/test_log_sink.cpp
    tests/native/result_names_test.cpp
    base/ascii_test.cpp
    front/folder_access.cpp
    front/folder_access_test.cpp
    engine/package/der_test.cpp
    engine/package/package_reader_test.cpp
    engine/script/args_test.cpp
    engine/script/paths_test.cpp
    engine/script/script_test.cpp
    engine/script/variables_test.cpp
    tools/qmpack/package_writer_test.cpp
    tools/qmpack/package_writer.cpp
    tools/qmpack/script_check.cpp
    tools/qmpack/script_check_test.cpp)
  target_link_libraries(core_tests qmcore GTest::gtest_main)
  add_test(NAME core_tests COMMAND core_tests)
  add_test(NAME qmpack_cli COMMAND sh ${CMAKE_SOURCE_DIR}/tests/native/qmpack_cli_test.sh $<TARGET_FILE:qmpack>)
  add_test(NAME make_msi COMMAND python3 ${CMAKE_SOURCE_DIR}/tools/make_msi_test.py)

  # The portable parts of the cryptographic components: digests, the CSP's algorithm table and
  # the CSP installer's argument text.
  add_executable(crypto_core_tests
    components/crypto/digest/digest.cpp
    components/crypto/digest/digest_test.cpp
    components/crypto/csp/algorithm_table.cpp
    components/crypto/csp/algorithm_table_test.cpp
    components/crypto/cspinst/registration_text.cpp
    components/crypto/cspinst/registration_text_test.cpp)
  target_link_libraries(crypto_core_tests GTest::gtest_main)
  add_test(NAME crypto_core_tests COMMAND crypto_core_tests)

  # The runtime components' portable parts: the HID record texts, the replacement list, the
  # certificate daemon's language files.
  set(QM_RT ${CMAKE_SOURCE_DIR}/components/runtime)
  add_executable(runtime_core_tests
    ${QM_RT}/hidreg/hid_text.cpp ${QM_RT}/hidreg/hid_text_test.cpp
    ${QM_RT}/removed/replace_list.cpp ${QM_RT}/removed/replace_list_test.cpp
    ${QM_RT}/common/message_table.cpp ${QM_RT}/common/message_table_test.cpp)
  target_link_libraries(runtime_core_tests GTest::gtest_main)
  add_test(NAME runtime_core_tests COMMAND runtime_core_tests)
endif()

if(QM_FUZZ)
  # The core is instrumented for coverage through the fuzz flags set at the top level.
  foreach(target fuzz_directory fuzz_unpack fuzz_script)
    add_executable(${target} tests/fuzz/${target}.cpp tools/qmpack/script_check.cpp)
    target_link_libraries(${target} qmcore)
    target_compile_options(${target} PRIVATE -fsanitize=fuzzer)
    target_link_options(${target} PRIVATE -fsanitize=fuzzer)
  endforeach()
endif()

include(cmake/bench.cmake)
