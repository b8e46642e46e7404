# The token client runtime the package carries: the slot and certificate daemons, the device
# monitors and token service providers they load, the HID registry helper the script calls, and
# the restart-time replacement program. Each lands in bin/ under the file name the package uses.
set(QM_RT ${CMAKE_SOURCE_DIR}/components/runtime)
set(QM_RT_VERSION 1,0,0,1)
set(QM_RT_VERSION_TEXT 1.0.0.1)

# qm_rt_binary(TARGET FILE_NAME DESCRIPTION): names the output and gives it its VERSIONINFO.
function(qm_rt_binary target file_name description)
  get_filename_component(QM_RT_INTERNAL_NAME ${file_name} NAME_WE)
  set(QM_RT_FILE_NAME ${file_name})
  set(QM_RT_DESCRIPTION ${description})
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "SHARED_LIBRARY")
    set(QM_RT_FILE_TYPE VFT_DLL)
  else()
    set(QM_RT_FILE_TYPE VFT_APP)
  endif()
  configure_file(${QM_RT}/common/version.rc.in ${CMAKE_BINARY_DIR}/runtime/${target}.rc @ONLY)
  target_sources(${target} PRIVATE ${CMAKE_BINARY_DIR}/runtime/${target}.rc ${QM_RUNTIME_UNLOAD})
  set_target_properties(${target} PROPERTIES OUTPUT_NAME ${QM_RT_INTERNAL_NAME} PREFIX "")
  if(type STREQUAL "SHARED_LIBRARY")
    target_link_options(${target} PRIVATE -Wl,--kill-at)
  endif()
endfunction()

# What the programs share; each links only the objects it uses.
add_library(qmrt STATIC
  ${QM_RT}/common/daemon_cli.cpp
  ${QM_RT}/common/daemon_log.cpp
  ${QM_RT}/common/message_table.cpp
  ${QM_RT}/common/module_paths.cpp
  ${QM_RT}/common/plugins.cpp
  ${QM_RT}/common/service_control.cpp
  ${QM_RT}/common/service_host.cpp
  ${QM_RT}/hidreg/hid_store.cpp
  ${QM_RT}/hidreg/hid_text.cpp
  ${QM_RT}/removed/replace_list.cpp)
target_link_libraries(qmrt PUBLIC qmbase_win advapi32 shlwapi)

add_executable(qmslotd ${QM_RT}/slotd/slotd_main.cpp ${QM_RT}/slotd/slot_watch.cpp)
target_link_libraries(qmslotd PRIVATE qmrt)
qm_rt_binary(qmslotd qmslotd.exe "KX2 slot daemon")

add_executable(qmcertd ${QM_RT}/certd/certd_main.cpp ${QM_RT}/certd/cert_watch.cpp)
target_link_libraries(qmcertd PRIVATE qmrt)
qm_rt_binary(qmcertd qmcertd.exe "KX2 certificate daemon")

add_library(qmhidreg SHARED ${QM_RT}/hidreg/qmhidreg.cpp ${QM_RT}/hidreg/qmhidreg.def)
target_link_libraries(qmhidreg PRIVATE qmrt)
qm_rt_binary(qmhidreg qmhidreg.dll "KX2 HID registry helper")

add_library(hidmon SHARED ${QM_RT}/monitors/hidmon.cpp ${QM_RT}/hidreg/hid_text.cpp ${QM_RT}/monitors/monitor.def)
qm_rt_binary(hidmon hidmon.dll "KX2 HID device monitor")
add_library(scardmon SHARED ${QM_RT}/monitors/scardmon.cpp ${QM_RT}/monitors/monitor.def)
qm_rt_binary(scardmon scardmon.dll "KX2 smart-card reader monitor")

foreach(model KX2 RX90 KX1)
  string(TOLOWER ${model} lower)
  add_library(qmtsp_${lower} SHARED ${QM_RT}/providers/qmtsp.cpp ${QM_RT}/providers/qmtsp.def)
  target_compile_definitions(qmtsp_${lower} PRIVATE QM_TSP_MODEL="${model}")
  qm_rt_binary(qmtsp_${lower} qmtsp_${lower}.dll "${model} token service provider")
endforeach()

add_executable(removed_program ${QM_RT}/removed/removed_main.cpp)
target_link_libraries(removed_program PRIVATE qmrt)
target_link_options(removed_program PRIVATE -mwindows)
qm_rt_binary(removed_program _REMOVED.exe "KX2 restart-time file replacement")

add_custom_target(runtime_components DEPENDS qmslotd qmcertd qmhidreg hidmon scardmon qmtsp_kx2 qmtsp_rx90 qmtsp_kx1
  removed_program)
# The package takes them from bin/ once payload.lst lists them.
add_dependencies(package_dat runtime_components)

if(QM_TESTS)
  # The package's data files beside the tests, for the product folders the tests lay out.
  add_custom_target(runtime_files
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${CMAKE_SOURCE_DIR}/package/files ${CMAKE_BINARY_DIR}/bin/runtime_files)
  add_library(rt_test_support STATIC ${QM_RT}/tests/rt_test_support.cpp)
  target_link_libraries(rt_test_support PUBLIC win_test_support)

  # qm_rt_wine_test(NAME SOURCES...): a Wine test of the built components.
  function(qm_rt_wine_test name)
    qm_add_wine_test(${name} ${ARGN})
    target_link_libraries(${name} PRIVATE rt_test_support)
    add_dependencies(${name} runtime_components runtime_files hold)
  endfunction()

  qm_rt_wine_test(runtime_binaries_test ${QM_RT}/tests/binaries_test.cpp)
  qm_rt_wine_test(runtime_hidreg_test ${QM_RT}/hidreg/qmhidreg_test.cpp)
  qm_rt_wine_test(runtime_slotd_test ${QM_RT}/slotd/slotd_test.cpp)
  qm_rt_wine_test(runtime_removed_test ${QM_RT}/removed/removed_test.cpp)
  qm_rt_wine_test(runtime_script_test ${QM_RT}/tests/script_test.cpp)
  add_dependencies(runtime_script_test QMSetup)
  qm_rt_wine_test(runtime_certd_test ${QM_RT}/certd/certd_test.cpp ${QM_RT}/common/message_table.cpp)
  # The language test again for the Chinese families.
  foreach(case "zh_CN;2052" "zh_TW;1028")
    list(GET case 0 locale)
    list(GET case 1 language)
    add_test(NAME runtime_certd_test_${locale}
             COMMAND env LC_ALL=${locale}.UTF-8 QM_EXPECT_LANGID=${language} ${CMAKE_SOURCE_DIR}/tools/wine-run.sh
                     $<TARGET_FILE:runtime_certd_test> --gtest_filter=CertdTest.SpeaksTheUsersLanguage
             WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
    set_tests_properties(runtime_certd_test_${locale} PROPERTIES RUN_SERIAL TRUE)
  endforeach()
endif()
