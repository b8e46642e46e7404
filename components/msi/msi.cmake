# The runtime as an MSI for deployment tools: the custom-action library it carries and the
# packages, made by tools/make-msi.py with wixl.
find_program(QM_WIXL wixl REQUIRED)
find_program(QM_MSIBUILD msibuild REQUIRED)
find_program(QM_PYTHON python3 REQUIRED)
set(QM_MSI_WXS ${CMAKE_SOURCE_DIR}/components/msi/QMSetup-runtime.wxs)

add_library(qmmsica SHARED components/msi/custom_actions.cpp components/msi/qmmsica.def ${QM_RUNTIME_UNLOAD})
set_target_properties(qmmsica PROPERTIES PREFIX "")
target_link_options(qmmsica PRIVATE -Wl,--kill-at)
target_link_libraries(qmmsica PRIVATE msi)

# qm_add_msi(NAME FRONT file TITLE text (SCRIPT ini | PRODUCT id) [VERSION text] DEPENDS targets...):
# bin/NAME.msi around the front FILE. Its identity comes from the script of the package the front
# carries, or from PRODUCT; VERSION replaces the script's version.
function(qm_add_msi name)
  cmake_parse_arguments(PARSE_ARGV 1 MSI "" "FRONT;TITLE;SCRIPT;PRODUCT;VERSION" "DEPENDS")
  set(output ${CMAKE_BINARY_DIR}/bin/${name}.msi)
  set(identity "")
  if(MSI_SCRIPT)
    list(APPEND identity --script ${MSI_SCRIPT})
  endif()
  if(MSI_PRODUCT)
    list(APPEND identity --product ${MSI_PRODUCT})
  endif()
  if(MSI_VERSION)
    list(APPEND identity --version ${MSI_VERSION})
  endif()
  add_custom_command(OUTPUT ${output}
    COMMAND ${QM_PYTHON} ${CMAKE_SOURCE_DIR}/tools/make-msi.py --wixl ${QM_WIXL} --msibuild ${QM_MSIBUILD}
            --wxs ${QM_MSI_WXS} --front ${MSI_FRONT} --custom-actions $<TARGET_FILE:qmmsica> --name ${MSI_TITLE}
            ${identity} -o ${output}
    DEPENDS ${QM_MSI_WXS} ${CMAKE_SOURCE_DIR}/tools/make-msi.py ${MSI_FRONT} ${MSI_SCRIPT} qmmsica ${MSI_DEPENDS}
    COMMENT "Building ${name}.msi"
    VERBATIM)
  add_custom_target(${name}_msi ALL DEPENDS ${output})
endfunction()

set(QM_MSI_FRONT ${CMAKE_BINARY_DIR}/bin/Inst_kx2.dll CACHE FILEPATH "The front the shipped MSI installs and runs")
qm_add_msi(QMSetup-runtime FRONT ${QM_MSI_FRONT} TITLE "KX2 token client runtime"
           SCRIPT ${CMAKE_SOURCE_DIR}/package/qmsetup.ini DEPENDS Inst_kx2)

if(QM_TESTS)
  # Around the real engine with the test package (two versions of it, for the upgrade), and
  # around the stand-in engine the tests steer through the environment.
  set(QM_MSI_TEST_SCRIPT ${CMAKE_SOURCE_DIR}/tests/engine/package/qmsetup.ini)
  qm_add_msi(QMSetup-runtime-test FRONT ${CMAKE_BINARY_DIR}/bin/Inst_kx2_test.dll TITLE "KX2 runtime (test package)"
             SCRIPT ${QM_MSI_TEST_SCRIPT} DEPENDS Inst_kx2_test)
  qm_add_msi(QMSetup-runtime-test-newer FRONT ${CMAKE_BINARY_DIR}/bin/Inst_kx2_test.dll
             TITLE "KX2 runtime (test package)" SCRIPT ${QM_MSI_TEST_SCRIPT} VERSION 1.5 DEPENDS Inst_kx2_test)
  qm_add_msi(QMSetup-runtime-fake FRONT ${CMAKE_BINARY_DIR}/bin/Inst_kx2_fake.dll TITLE "KX2 runtime (stand-in engine)"
             PRODUCT QMTEST-FAKE-ENGINE VERSION 1.0 DEPENDS Inst_kx2_fake)

  qm_add_wine_test(msi_test components/msi/msi_test.cpp)
  target_link_libraries(msi_test PRIVATE msi)
  add_dependencies(msi_test QMSetup-runtime_msi QMSetup-runtime-test_msi QMSetup-runtime-test-newer_msi
                   QMSetup-runtime-fake_msi)
endif()
