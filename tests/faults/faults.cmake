# Fault and long-run tests: the shipped runtime installed for real under Wine (front, engine,
# daemons as services) while files are in use, runs are killed, the disk is full or read-only, a
# second process starts, and products come and go for many cycles. Tests labelled "long" run
# only with make test-long.
set(QM_FAULTS ${CMAKE_SOURCE_DIR}/tests/faults)

add_executable(standin_service ${QM_FAULTS}/standin_service.cpp)
add_executable(wait_event ${QM_FAULTS}/wait_event.cpp)

# A front whose package stops its installation in a RUN ... WAIT of wait_event.exe.
set(QM_WAIT_PACKAGE ${CMAKE_BINARY_DIR}/bin/wait_package.dat)
qm_payload_files(QM_WAIT_PAYLOAD_FILES ${QM_FAULTS}/wait_package)
add_custom_command(OUTPUT ${QM_WAIT_PACKAGE}
  COMMAND sh ${CMAKE_SOURCE_DIR}/tools/make-package.sh ${QMPACK_EXECUTABLE} ${QM_FAULTS}/wait_package
          ${CMAKE_BINARY_DIR}/wait-package-root ${QM_WAIT_PACKAGE} ${CMAKE_BINARY_DIR}/bin
  DEPENDS ${QM_FAULTS}/wait_package/qmsetup.ini ${QM_FAULTS}/wait_package/payload.lst wait_event
          ${QM_WAIT_PAYLOAD_FILES}
  COMMENT "Packing the waiting test package")
add_custom_target(wait_package DEPENDS ${QM_WAIT_PACKAGE})
qm_add_front(Inst_kx2_wait ${CMAKE_BINARY_DIR}/bin/QMSetup.dll ${QM_WAIT_PACKAGE} "" QMSetup wait_package)

add_executable(faults_test
  ${QM_FAULTS}/fault_support.cpp
  ${QM_FAULTS}/in_use_test.cpp
  ${QM_FAULTS}/killed_run_test.cpp
  ${QM_FAULTS}/disk_test.cpp
  ${QM_FAULTS}/second_process_test.cpp
  ${QM_FAULTS}/cycles_test.cpp)
target_link_libraries(faults_test PRIVATE win_test_support GTest::gtest_main)
add_dependencies(faults_test QMSetup Inst_kx2 Inst_kx2_wait kxhost hold standin_service wait_event package_dat)

# qm_add_fault_test(NAME FILTER [long]): one group of the fault tests, run alone.
function(qm_add_fault_test name filter)
  add_test(NAME ${name} COMMAND ${CMAKE_SOURCE_DIR}/tools/wine-run.sh $<TARGET_FILE:faults_test>
           --gtest_filter=${filter} WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
  set_tests_properties(${name} PROPERTIES RUN_SERIAL TRUE TIMEOUT 600)
  if(ARGN)
    set_tests_properties(${name} PROPERTIES LABELS long TIMEOUT 14400)
  endif()
endfunction()

# In make test: the short scenarios and one smoke run of each long one. The disk scenarios mount a
# tmpfs and are skipped where that is not allowed (not root).
qm_add_fault_test(faults_second_process "SecondProcess.*")
qm_add_fault_test(faults_in_use "InUse.*")
qm_add_fault_test(faults_smoke "Smoke*")
add_test(NAME faults_disk COMMAND sh ${QM_FAULTS}/disk_test.sh ${CMAKE_SOURCE_DIR}/tools/wine-run.sh
         $<TARGET_FILE:faults_test> WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set_tests_properties(faults_disk PROPERTIES RUN_SERIAL TRUE TIMEOUT 600 SKIP_RETURN_CODE 77)
# In make test-long: every kill point and the cycles (QM_CYCLES, default 20).
qm_add_fault_test(faults_killed_run "KilledRun.*" long)
qm_add_fault_test(faults_cycles "Cycles.*" long)
