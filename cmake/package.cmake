# qm_add_package(TARGET SOURCE_DIR dir OUTPUT file STAGE dir [ALL] [DEPENDS targets...])
#
# OUTPUT, packed by qmpack from SOURCE_DIR/qmsetup.ini and the payload SOURCE_DIR/payload.lst
# names: one package path per line, "\" between folders, in package order ("#" starts a comment).
# A path is taken from SOURCE_DIR/files/<path> when that file is there, else from the build's
# bin/<name>; DEPENDS names the targets that put such files there.
#
# payload.lst is read here and nowhere else. The resolved layout goes to STAGE.layout, one
# "<package path>\t<source file>" line per file with qmsetup.ini first, and the package order to
# STAGE.lst; tools/pack-package.cmake copies the files into STAGE and packs it in that order.
function(qm_add_package target)
  cmake_parse_arguments(PARSE_ARGV 1 PKG "ALL" "SOURCE_DIR;OUTPUT;STAGE" "DEPENDS")
  set(payload ${PKG_SOURCE_DIR}/payload.lst)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${payload})

  set(layout "qmsetup.ini\t${PKG_SOURCE_DIR}/qmsetup.ini\n")
  set(order "")
  set(sources ${PKG_SOURCE_DIR}/qmsetup.ini)
  file(STRINGS ${payload} lines)  # carriage returns are dropped
  foreach(line IN LISTS lines)
    if(line STREQUAL "" OR line MATCHES "^#")
      continue()
    endif()
    string(REPLACE "\\" "/" path "${line}")
    get_filename_component(name "${path}" NAME)
    set(source ${PKG_SOURCE_DIR}/files/${path})
    if(NOT EXISTS ${source} OR IS_DIRECTORY ${source})
      set(source ${PROJECT_BINARY_DIR}/bin/${name})
    endif()
    string(APPEND layout "${path}\t${source}\n")
    string(APPEND order "${line}\n")
    list(APPEND sources ${source})
  endforeach()
  # Written only when they change, so a new configure does not pack again.
  foreach(kind layout order)
    set(file ${PKG_STAGE}.lst)
    if(kind STREQUAL "layout")
      set(file ${PKG_STAGE}.layout)
    endif()
    file(WRITE ${file}.new "${${kind}}")
    configure_file(${file}.new ${file} COPYONLY)
    file(REMOVE ${file}.new)
  endforeach()

  get_filename_component(package_name ${PKG_OUTPUT} NAME)
  add_custom_command(OUTPUT ${PKG_OUTPUT}
    COMMAND ${CMAKE_COMMAND} -DQMPACK=${QMPACK_EXECUTABLE} -DLAYOUT=${PKG_STAGE}.layout -DORDER=${PKG_STAGE}.lst
            -DSTAGE=${PKG_STAGE} -DOUTPUT=${PKG_OUTPUT} -P ${PROJECT_SOURCE_DIR}/tools/pack-package.cmake
    DEPENDS ${PKG_STAGE}.layout ${PKG_STAGE}.lst ${sources} ${PROJECT_SOURCE_DIR}/tools/pack-package.cmake
            ${QMPACK_EXECUTABLE} ${PKG_DEPENDS}
    COMMENT "Packing ${package_name}"
    VERBATIM)
  if(PKG_ALL)
    add_custom_target(${target} ALL DEPENDS ${PKG_OUTPUT})
  else()
    add_custom_target(${target} DEPENDS ${PKG_OUTPUT})
  endif()
endfunction()
