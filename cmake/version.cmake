# The release number: set once, in project() at the top of the tree. Tools print it from a
# generated header; the Windows programs and the DLL we ship carry it in a version resource.
configure_file(${CMAKE_CURRENT_LIST_DIR}/templates/qz_version.h.in
               ${CMAKE_BINARY_DIR}/generated/qz_version.h @ONLY)
add_library(qz_version INTERFACE)
target_include_directories(qz_version INTERFACE ${CMAKE_BINARY_DIR}/generated)

if(WIN32)
  enable_language(RC)
endif()

# Adds a VERSIONINFO resource to a Windows target; nothing elsewhere.
function(qz_version_resource target description)
  if(NOT WIN32)
    return()
  endif()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "SHARED_LIBRARY")
    set(QZ_FILE_TYPE 2)  # VFT_DLL
    set(QZ_FILE_NAME ${target}.dll)
  else()
    set(QZ_FILE_TYPE 1)  # VFT_APP
    set(QZ_FILE_NAME ${target}.exe)
  endif()
  set(QZ_FILE_DESCRIPTION "${description}")
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  configure_file(${CMAKE_SOURCE_DIR}/cmake/templates/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()
