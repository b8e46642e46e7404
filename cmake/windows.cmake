# Cross build (i686 MinGW-w64): the engine, the front, kxhost and the Windows-side tests.

# base/win, each source compiled once: the registry key as a library, and the runtime's semaphore
# recorder as objects that every binary of ours links (they define import slots, for which a
# library member would not be taken).
add_library(qmbase_win STATIC base/win/reg_key.cpp)
target_link_libraries(qmbase_win PUBLIC advapi32)
add_library(qm_runtime_unload OBJECT base/win/runtime_unload.cpp)
set(QM_RUNTIME_UNLOAD $<TARGET_OBJECTS:qm_runtime_unload>)

# Engine: everything but the exports goes into a static library the tests link too.
add_library(qmengine STATIC
  engine/api/entry_points.cpp
  engine/api/finish.cpp
  engine/api/middleware.cpp
  engine/api/win32_system.cpp
  engine/core/engine_state.cpp
  engine/core/platform.cpp
  engine/ops/restart_ops.cpp)
target_link_libraries(qmengine PUBLIC qmcommands qmcore qmbase_win shlwapi version advapi32)

add_library(QMSetup SHARED engine/api/exports.cpp engine/api/dllmain.cpp engine/api/QMSetup.def
  ${QM_RUNTIME_UNLOAD})
set_target_properties(QMSetup PROPERTIES PREFIX "")
target_link_options(QMSetup PRIVATE -Wl,--kill-at)
target_link_libraries(QMSetup PRIVATE qmengine)

# qm_payload_files(VAR SOURCE_DIR): the files a package built from SOURCE_DIR/payload.lst takes,
# as make-package.sh finds them: SOURCE_DIR/files/<path> when it is there, else the build's
# bin/<name>. The package is packed again whenever one of them changes.
function(qm_payload_files out source)
  file(STRINGS ${source}/payload.lst lines)
  set(files "")
  foreach(line ${lines})
    string(STRIP "${line}" line)
    if(line STREQUAL "" OR line MATCHES "^#")
      continue()
    endif()
    string(REPLACE "\\" "/" path "${line}")
    get_filename_component(name "${path}" NAME)
    if(EXISTS ${source}/files/${path})
      list(APPEND files ${source}/files/${path})
    else()
      list(APPEND files ${CMAKE_BINARY_DIR}/bin/${name})
    endif()
  endforeach()
  set(${out} ${files} PARENT_SCOPE)
endfunction()

# The package: the shipped script and payload list packed by qmpack.
set(QM_PACKAGE ${CMAKE_BINARY_DIR}/bin/KX2.dat)
qm_payload_files(QM_PAYLOAD_FILES ${CMAKE_SOURCE_DIR}/package)
add_custom_command(OUTPUT ${QM_PACKAGE}
  COMMAND sh ${CMAKE_SOURCE_DIR}/tools/make-package.sh ${QMPACK_EXECUTABLE} ${CMAKE_SOURCE_DIR}/package
          ${CMAKE_BINARY_DIR}/package-root ${QM_PACKAGE} $<TARGET_FILE_DIR:QMSetup>
  DEPENDS ${CMAKE_SOURCE_DIR}/package/qmsetup.ini ${CMAKE_SOURCE_DIR}/package/payload.lst
          ${CMAKE_SOURCE_DIR}/tools/make-package.sh ${QMPACK_EXECUTABLE} ${QM_PAYLOAD_FILES}
  COMMENT "Packing KX2.dat")
add_custom_target(package_dat ALL DEPENDS ${QM_PACKAGE})

# qm_add_front(NAME ENGINE_FILE PACKAGE_FILE RUNTIME_FILE DEPENDS...): one build of the front DLL
# carrying the given files as resources 101, 102 and (when RUNTIME_FILE is set) 104.
function(qm_add_front name engine package runtime)
  set(QM_RC_ENGINE_LINE "")
  set(QM_RC_PACKAGE_LINE "")
  set(QM_RC_RUNTIME_LINE "")
  if(engine)
    set(QM_RC_ENGINE_LINE "101 FILE \"${engine}\"")
  endif()
  if(package)
    set(QM_RC_PACKAGE_LINE "102 FILE \"${package}\"")
  endif()
  if(runtime)
    set(QM_RC_RUNTIME_LINE "104 FILE \"${runtime}\"")
  endif()
  configure_file(${CMAKE_SOURCE_DIR}/front/front.rc.in ${CMAKE_BINARY_DIR}/front/${name}.rc @ONLY)
  set_source_files_properties(${CMAKE_BINARY_DIR}/front/${name}.rc PROPERTIES
    OBJECT_DEPENDS "${engine};${package};${runtime}")
  add_library(${name} SHARED
    front/dllmain.cpp front/entry_points.cpp front/folder_access.cpp front/os_version.cpp front/private_folder.cpp
    front/staging.cpp
    front/Inst_kx2.def
    ${QM_RUNTIME_UNLOAD}
    ${CMAKE_BINARY_DIR}/front/${name}.rc)
  set_target_properties(${name} PROPERTIES PREFIX "")
  target_link_libraries(${name} PRIVATE shlwapi)
  if(runtime)
    get_filename_component(runtime_name ${runtime} NAME)
    target_compile_definitions(${name} PRIVATE QM_FRONT_RUNTIME_NAME="${runtime_name}")
  endif()
  if(ARGN)
    add_dependencies(${name} ${ARGN})
  endif()
endfunction()

qm_add_front(Inst_kx2 ${CMAKE_BINARY_DIR}/bin/QMSetup.dll ${QM_PACKAGE} "${QM_FRONT_RUNTIME}" QMSetup package_dat)

add_executable(kxhost tools/kxhost/kxhost.cpp ${QM_RUNTIME_UNLOAD})

include(cmake/bench.cmake)

if(QM_TESTS)
  include(cmake/windows_tests.cmake)
endif()

# Payload components: the programs and libraries the package carries, one group per folder.
foreach(group crypto runtime)
  if(EXISTS ${CMAKE_SOURCE_DIR}/components/${group}/${group}.cmake)
    include(${CMAKE_SOURCE_DIR}/components/${group}/${group}.cmake)
  endif()
endforeach()

# The runtime as an MSI that deployment tools push (after the tests: its tests use their fronts).
include(${CMAKE_SOURCE_DIR}/components/msi/msi.cmake)
