# Cryptographic payload: the CryptoAPI provider qmcsp.dll, its installer library qmcspinst.dll,
# the PKCS#11 module qmp11.dll, and their data, signature and language files, all in bin/ under
# the names the package takes them by.
set(QM_CRYPTO_DIR ${CMAKE_SOURCE_DIR}/components/crypto)
set(QM_CRYPTO_VERSION_MAJOR 1)
set(QM_CRYPTO_VERSION_MINOR 0)
set(QM_CRYPTO_VERSION ${QM_CRYPTO_VERSION_MAJOR}.${QM_CRYPTO_VERSION_MINOR}.0.1)
string(REPLACE "." "," QM_CRYPTO_VERSION_COMMAS ${QM_CRYPTO_VERSION})

add_library(qmcrypto_core STATIC
  ${QM_CRYPTO_DIR}/digest/digest.cpp
  ${QM_CRYPTO_DIR}/csp/algorithm_table.cpp
  ${QM_CRYPTO_DIR}/cspinst/registration_text.cpp)

# qm_crypto_dll(NAME DESCRIPTION SOURCES...): one of our DLLs, with its version resource.
function(qm_crypto_dll name description)
  set(QM_RC_NAME ${name})
  set(QM_RC_DESCRIPTION ${description})
  configure_file(${QM_CRYPTO_DIR}/version.rc.in ${CMAKE_BINARY_DIR}/crypto/${name}.rc @ONLY)
  add_library(${name} SHARED ${ARGN} ${QM_RUNTIME_UNLOAD}
              ${CMAKE_BINARY_DIR}/crypto/${name}.rc)
  set_target_properties(${name} PROPERTIES PREFIX "")
  target_compile_definitions(${name} PRIVATE QM_CRYPTO_VERSION_MAJOR=${QM_CRYPTO_VERSION_MAJOR}
                             QM_CRYPTO_VERSION_MINOR=${QM_CRYPTO_VERSION_MINOR})
  target_link_libraries(${name} PRIVATE qmcrypto_core)
endfunction()

qm_crypto_dll(qmcsp "QM KX2 Token CSP"
  ${QM_CRYPTO_DIR}/csp/dllmain.cpp ${QM_CRYPTO_DIR}/csp/exports.cpp ${QM_CRYPTO_DIR}/csp/provider.cpp
  ${QM_CRYPTO_DIR}/csp/qmcsp.def)
target_link_options(qmcsp PRIVATE -Wl,--kill-at)
target_link_libraries(qmcsp PRIVATE advapi32)

qm_crypto_dll(qmcspinst "QM KX2 Token CSP installer"
  ${QM_CRYPTO_DIR}/cspinst/doit.cpp ${QM_CRYPTO_DIR}/cspinst/qmcspinst.def)
target_link_options(qmcspinst PRIVATE -Wl,--kill-at)
target_link_libraries(qmcspinst PRIVATE qmbase_win advapi32 shlwapi)

# The standard Cryptoki header, from Debian's libp11-kit-dev.
set(QM_PKCS11_INCLUDE_DIR /usr/include/p11-kit-1 CACHE PATH "Folder holding p11-kit/pkcs11.h")
if(NOT EXISTS ${QM_PKCS11_INCLUDE_DIR}/p11-kit/pkcs11.h)
  message(FATAL_ERROR "No p11-kit/pkcs11.h in ${QM_PKCS11_INCLUDE_DIR}: install libp11-kit-dev")
endif()
qm_crypto_dll(qmp11 "KX2 token PKCS#11 module" ${QM_CRYPTO_DIR}/p11/module.cpp)
target_include_directories(qmp11 PRIVATE ${QM_PKCS11_INCLUDE_DIR})

# Data files: the sources are in package/files; bin/ gets copies (the CSP reads its table beside
# itself) and the signature files, sha1sum lines of the CSP's data file (qmcsp.sig, checked by
# the CSP) and of its library (qmcsp2.sig, checked by the installer library before it registers).
set(QM_CRYPTO_FILES_DIR ${CMAKE_SOURCE_DIR}/package/files)
set(QM_CRYPTO_BIN ${CMAKE_BINARY_DIR}/bin)
set(QM_CRYPTO_DATA_OUTPUTS "")
foreach(name qmcsp.dat
             qmcsp_2052.lng qmcsp_1033.lng qmcsp_1028.lng qmcsp_4444.lng
             qmp11_2052.lng qmp11_1033.lng qmp11_1028.lng qmp11_4444.lng)
  add_custom_command(OUTPUT ${QM_CRYPTO_BIN}/${name}
    COMMAND ${CMAKE_COMMAND} -E copy ${QM_CRYPTO_FILES_DIR}/${name} ${QM_CRYPTO_BIN}/${name}
    DEPENDS ${QM_CRYPTO_FILES_DIR}/${name})
  list(APPEND QM_CRYPTO_DATA_OUTPUTS ${QM_CRYPTO_BIN}/${name})
endforeach()
add_custom_command(OUTPUT ${QM_CRYPTO_BIN}/qmcsp.sig
  COMMAND ${CMAKE_COMMAND} -DINPUT=${QM_CRYPTO_BIN}/qmcsp.dat -DOUTPUT=${QM_CRYPTO_BIN}/qmcsp.sig
          -P ${QM_CRYPTO_DIR}/write_digest.cmake
  DEPENDS ${QM_CRYPTO_BIN}/qmcsp.dat ${QM_CRYPTO_DIR}/write_digest.cmake)
add_custom_command(OUTPUT ${QM_CRYPTO_BIN}/qmcsp2.sig
  COMMAND ${CMAKE_COMMAND} -DINPUT=$<TARGET_FILE:qmcsp> -DOUTPUT=${QM_CRYPTO_BIN}/qmcsp2.sig
          -P ${QM_CRYPTO_DIR}/write_digest.cmake
  DEPENDS qmcsp ${QM_CRYPTO_DIR}/write_digest.cmake)
add_custom_target(crypto_files ALL DEPENDS ${QM_CRYPTO_DATA_OUTPUTS} ${QM_CRYPTO_BIN}/qmcsp.sig
                  ${QM_CRYPTO_BIN}/qmcsp2.sig)
# The package takes these files from bin/ by name: build them first.
add_dependencies(package_dat qmcsp qmcspinst qmp11 crypto_files)

if(QM_TESTS)
  set(QM_CRYPTO_TEST_SUPPORT ${QM_CRYPTO_DIR}/crypto_test_support.cpp)
  qm_add_wine_test(csp_test ${QM_CRYPTO_DIR}/csp/csp_test.cpp ${QM_CRYPTO_TEST_SUPPORT})
  qm_add_wine_test(cspinst_test ${QM_CRYPTO_DIR}/cspinst/doit_test.cpp ${QM_CRYPTO_TEST_SUPPORT})
  qm_add_wine_test(p11_test ${QM_CRYPTO_DIR}/p11/p11_test.cpp)
  # With the recorder of every binary of ours linked in, to test it too.
  qm_add_wine_test(crypto_unload_test ${QM_CRYPTO_DIR}/unload_test.cpp ${QM_CRYPTO_TEST_SUPPORT}
                   ${QM_RUNTIME_UNLOAD} ${CMAKE_SOURCE_DIR}/base/win/runtime_unload_test.cpp)
  foreach(t csp_test cspinst_test p11_test crypto_unload_test)
    target_link_libraries(${t} PRIVATE qmcrypto_core version)
    target_include_directories(${t} PRIVATE ${QM_PKCS11_INCLUDE_DIR})
    add_dependencies(${t} qmcsp qmcspinst qmp11 crypto_files)
  endforeach()
endif()
