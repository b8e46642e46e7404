# Windows-side tests, run under Wine through the cross-compiling emulator, one executable per test.
add_library(win_test_support STATIC tests/win/test_support.cpp tests/win/engine_access.cpp tests/win/engine_fixture.cpp
  tests/win/file_command_fixture.cpp)
target_link_libraries(win_test_support PUBLIC GTest::gtest qmengine)

add_executable(hold tests/win/hold.cpp)

# Stand-in engines for the front, and fronts that carry them.
add_library(fake_engine SHARED tests/front/fake_engine.cpp tests/front/fake_engine.def)
add_library(fake_engine_nofinish SHARED tests/front/fake_engine.cpp tests/front/fake_engine_nofinish.def)
target_compile_definitions(fake_engine_nofinish PRIVATE FAKE_ENGINE_WITHOUT_FINISH)
# A foreign engine with all five entry points that tests plant at the staging path.
add_library(fake_engine_planted SHARED tests/front/fake_engine.cpp tests/front/fake_engine.def)
target_compile_definitions(fake_engine_planted PRIVATE FAKE_ENGINE_PLANTED)
foreach(t fake_engine fake_engine_nofinish fake_engine_planted)
  set_target_properties(${t} PROPERTIES PREFIX "")
  target_link_options(${t} PRIVATE -Wl,--kill-at)
endforeach()
set(QM_FAKE_PACKAGE ${CMAKE_SOURCE_DIR}/tests/front/fake_package.dat)
set(QM_TEST_RUNTIME ${CMAKE_SOURCE_DIR}/tests/front/QMTESTRT.DLL)
qm_add_front(Inst_kx2_fake ${CMAKE_BINARY_DIR}/bin/fake_engine.dll ${QM_FAKE_PACKAGE} "" fake_engine)
qm_add_front(Inst_kx2_fake_rt ${CMAKE_BINARY_DIR}/bin/fake_engine.dll ${QM_FAKE_PACKAGE} ${QM_TEST_RUNTIME} fake_engine)
qm_add_front(Inst_kx2_fake_nofinish ${CMAKE_BINARY_DIR}/bin/fake_engine_nofinish.dll ${QM_FAKE_PACKAGE} ""
             fake_engine_nofinish)
qm_add_front(Inst_kx2_fake_nopkg ${CMAKE_BINARY_DIR}/bin/fake_engine.dll "" "" fake_engine)

# qm_add_wine_test(NAME SOURCES...): a GoogleTest executable run once under Wine.
function(qm_add_wine_test name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE win_test_support GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name} WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
  set_tests_properties(${name} PROPERTIES RUN_SERIAL TRUE)
endfunction()

qm_add_wine_test(front_test front/front_test.cpp front/os_version.cpp)
add_dependencies(front_test Inst_kx2_fake Inst_kx2_fake_rt Inst_kx2_fake_nofinish Inst_kx2_fake_nopkg kxhost hold
                 fake_engine_planted)
# The same tests once more with Chinese (PRC) as the user's default language.
add_test(NAME front_test_zh_CN COMMAND env LC_ALL=zh_CN.UTF-8 QM_EXPECT_LANGID=2052
         ${CMAKE_SOURCE_DIR}/tools/wine-run.sh $<TARGET_FILE:front_test> --gtest_filter=FrontTest.Selector*
         WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set_tests_properties(front_test_zh_CN PROPERTIES RUN_SERIAL TRUE)

qm_add_wine_test(log_test engine/log/setup_log_test.cpp)
add_dependencies(log_test QMSetup)
qm_add_wine_test(platform_test engine/core/platform_test.cpp)

# The real engine with a small test package, carried by a front built for the tests.
set(QM_TEST_PACKAGE ${CMAKE_BINARY_DIR}/bin/test_package.dat)
add_custom_command(OUTPUT ${QM_TEST_PACKAGE}
  COMMAND sh ${CMAKE_SOURCE_DIR}/tools/make-package.sh ${QMPACK_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/engine/package
          ${CMAKE_BINARY_DIR}/test-package-root ${QM_TEST_PACKAGE} ${CMAKE_BINARY_DIR}/no-such-folder
  DEPENDS ${CMAKE_SOURCE_DIR}/tests/engine/package/qmsetup.ini ${CMAKE_SOURCE_DIR}/tests/engine/package/payload.lst
  COMMENT "Packing the test package")
add_custom_target(test_package DEPENDS ${QM_TEST_PACKAGE})
qm_add_front(Inst_kx2_test ${CMAKE_BINARY_DIR}/bin/QMSetup.dll ${QM_TEST_PACKAGE} "" QMSetup test_package)

qm_add_wine_test(engine_test engine/api/entry_points_test.cpp front/front_engine_test.cpp)
add_dependencies(engine_test QMSetup Inst_kx2_test)
qm_add_wine_test(engine_state_test engine/core/engine_state_test.cpp)

qm_add_wine_test(records_test engine/ops/product_record_test.cpp engine/ops/ref_count_test.cpp
                 engine/api/middleware_test.cpp)
add_dependencies(records_test QMSetup hold)
qm_add_wine_test(restart_test engine/ops/restart_ops_test.cpp)
add_dependencies(restart_test hold fake_engine fake_engine_nofinish)
add_dependencies(engine_state_test fake_engine fake_engine_nofinish)

# The import check refuses a binary that imports a function newer than Windows 2000.
add_executable(imports_too_new tests/win/imports_too_new.cpp)
add_test(NAME check_imports COMMAND sh ${CMAKE_SOURCE_DIR}/tests/win/check_imports_test.sh ${CMAKE_SOURCE_DIR}/tools
         $<TARGET_FILE:imports_too_new>)

# Libraries whose only content is a version resource, ver_A_B_C_D.dll, for the copy rules.
set(QM_VERSIONED_LIBRARIES "")
foreach(version 1.0.0.12 1.0.1.0 1.0.0.930 1.0.0.931 2.5.3.1200 0.0.0.0)
  string(REPLACE "." ";" parts ${version})
  list(GET parts 0 QM_V1)
  list(GET parts 1 QM_V2)
  list(GET parts 2 QM_V3)
  list(GET parts 3 QM_V4)
  string(REPLACE "." "_" name "ver_${version}")
  configure_file(${CMAKE_SOURCE_DIR}/tests/win/versioned.rc.in ${CMAKE_BINARY_DIR}/versioned/${name}.rc @ONLY)
  add_library(${name} SHARED tests/win/versioned.c ${CMAKE_BINARY_DIR}/versioned/${name}.rc)
  set_target_properties(${name} PROPERTIES PREFIX "")
  list(APPEND QM_VERSIONED_LIBRARIES ${name})
endforeach()

qm_add_wine_test(files_test engine/commands/copy_test.cpp engine/commands/del_test.cpp)
add_dependencies(files_test QMSetup hold ${QM_VERSIONED_LIBRARIES})

# A program and a library that record how they were started and called.
add_executable(record_args tests/win/record_args.cpp)
add_library(record_call SHARED tests/win/record_call.cpp tests/win/record_call.def)
set_target_properties(record_call PROPERTIES PREFIX "")
qm_add_wine_test(programs_test engine/commands/run_test.cpp engine/commands/call_test.cpp)
add_dependencies(programs_test QMSetup record_args record_call)

qm_add_wine_test(hostile_test engine/api/hostile_input_test.cpp)
add_dependencies(hostile_test QMSetup)
set_tests_properties(hostile_test PROPERTIES TIMEOUT 300)

# The NSIS host example, built around the front of this build.
find_program(QM_MAKENSIS makensis REQUIRED)
set(QM_NSIS_SETUP ${CMAKE_BINARY_DIR}/bin/kx2-setup.exe)
add_custom_command(OUTPUT ${QM_NSIS_SETUP}
  COMMAND ${QM_MAKENSIS} -V1 -DDIST=${CMAKE_BINARY_DIR}/bin -DOUT=${QM_NSIS_SETUP} ${CMAKE_SOURCE_DIR}/examples/nsis/kx2-setup.nsi
  DEPENDS ${CMAKE_SOURCE_DIR}/examples/nsis/kx2-setup.nsi Inst_kx2
  COMMENT "Building the NSIS example")
add_custom_target(nsis_example DEPENDS ${QM_NSIS_SETUP})

# The shipped front and package end to end.
qm_add_wine_test(product_test package/shipped_product_test.cpp)
add_dependencies(product_test Inst_kx2 QMSetup package_dat qmpack nsis_example)
target_include_directories(product_test PRIVATE /usr/include/p11-kit-1)
target_link_libraries(product_test PRIVATE advapi32)
set_tests_properties(product_test PROPERTIES TIMEOUT 600)

include(${CMAKE_SOURCE_DIR}/tests/faults/faults.cmake)
