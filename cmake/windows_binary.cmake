# qm_add_windows_binary(TARGET OUTPUT_NAME NAME.dll|NAME.exe SOURCES...
#                       [DESCRIPTION text VERSION a.b.c.d [CODEPAGE n]] [EXPORTS file.def] [KILL_AT])
#
# One of our Windows programs or libraries, built as bin/OUTPUT_NAME. Every one links the
# runtime's unload recorder (base/win/runtime_unload.h). DESCRIPTION gives it a version resource
# from cmake/version.rc.in (its string table in CODEPAGE, 1200 by default); the front, the engine
# and the tools carry none. KILL_AT exports stdcall functions without their @N suffix.
#
# The objects are linked in the order of SOURCES, then the version resource, then the recorder,
# and the image's bytes follow that order: reordering SOURCES changes a shipped file.
function(qm_add_windows_binary target)
  cmake_parse_arguments(PARSE_ARGV 1 BIN "KILL_AT" "OUTPUT_NAME;DESCRIPTION;VERSION;CODEPAGE;EXPORTS" "SOURCES")
  if(BIN_UNPARSED_ARGUMENTS OR NOT BIN_OUTPUT_NAME)
    message(FATAL_ERROR "qm_add_windows_binary(${target}): OUTPUT_NAME and SOURCES, then options only")
  endif()
  get_filename_component(stem ${BIN_OUTPUT_NAME} NAME_WE)
  get_filename_component(suffix ${BIN_OUTPUT_NAME} LAST_EXT)
  string(TOLOWER "${suffix}" suffix)
  if(suffix STREQUAL ".dll")
    add_library(${target} SHARED ${BIN_SOURCES})
    set(QM_RC_FILE_TYPE VFT_DLL)
  elseif(suffix STREQUAL ".exe")
    add_executable(${target} ${BIN_SOURCES})
    set(QM_RC_FILE_TYPE VFT_APP)
  else()
    message(FATAL_ERROR "qm_add_windows_binary(${target}): OUTPUT_NAME ends in .dll or .exe")
  endif()
  set_target_properties(${target} PROPERTIES OUTPUT_NAME ${stem} PREFIX "")
  if(suffix STREQUAL ".dll")
    qm_dll_image_base(base ${BIN_OUTPUT_NAME})
    target_link_options(${target} PRIVATE -Wl,--image-base=${base})
  endif()
  if(BIN_EXPORTS)
    target_sources(${target} PRIVATE ${BIN_EXPORTS})
  endif()
  if(BIN_KILL_AT)
    target_link_options(${target} PRIVATE -Wl,--kill-at)
  endif()

  if(BIN_DESCRIPTION)
    if(NOT BIN_VERSION MATCHES "^[0-9]+\\.[0-9]+\\.[0-9]+\\.[0-9]+$")
      message(FATAL_ERROR "qm_add_windows_binary(${target}): VERSION a.b.c.d with its DESCRIPTION")
    endif()
    if(NOT BIN_CODEPAGE)
      set(BIN_CODEPAGE 1200)
    endif()
    set(QM_RC_DESCRIPTION "${BIN_DESCRIPTION}")
    set(QM_RC_FILE_NAME ${BIN_OUTPUT_NAME})
    set(QM_RC_INTERNAL_NAME ${stem})
    set(QM_RC_VERSION ${BIN_VERSION})
    string(REPLACE "." "," QM_RC_VERSION_COMMAS ${BIN_VERSION})
    set(QM_RC_CODEPAGE ${BIN_CODEPAGE})
    # The string table's block name: language 0409 and the code page, four hex digits each.
    math(EXPR hex "${BIN_CODEPAGE}" OUTPUT_FORMAT HEXADECIMAL)
    string(REPLACE "0x" "000" hex "${hex}")
    string(LENGTH "${hex}" length)
    math(EXPR start "${length} - 4")
    string(SUBSTRING "${hex}" ${start} 4 QM_RC_CODEPAGE_HEX)
    configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc @ONLY)
    target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  endif()

  target_sources(${target} PRIVATE $<TARGET_OBJECTS:qm_runtime_unload>)
endfunction()

# qm_dll_image_base(VAR FILE_NAME): the preferred load address of our DLL FILE_NAME. Left to
# itself, ld picks one from a hash of the output path its link command names, which depends on
# the folder the link runs in; this is the address it picks for "bin/FILE_NAME" (ld 2.40, i386),
# so an image does not change with the folder its CMakeLists.txt is in.
function(qm_dll_image_base out file_name)
  string(HEX "bin/${file_name}" hex)
  string(LENGTH "${hex}" digits)
  math(EXPR last "${digits} - 2")
  set(hash 0)
  foreach(at RANGE 0 ${last} 2)
    string(SUBSTRING "${hex}" ${at} 2 byte)
    math(EXPR hash "${hash} + 0x${byte} + (0x${byte} << 17)")
    math(EXPR hash "${hash} ^ (${hash} >> 2)")
  endforeach()
  math(EXPR length "${digits} / 2")
  math(EXPR hash "${hash} + ${length} + (${length} << 17)")
  math(EXPR hash "${hash} ^ (${hash} >> 2)")
  math(EXPR base "0x61500000 + ((${hash} << 16) & 0x0ffc0000)" OUTPUT_FORMAT HEXADECIMAL)
  set(${out} ${base} PARENT_SCOPE)
endfunction()
