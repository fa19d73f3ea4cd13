# Late imports: functions of system DLLs that a program calls through slots of its own, filled by
# its start (setup/start) once it has restricted where DLLs are searched. Linked the usual way,
# Windows would load these DLLs, and what they import, while it resolves the program's imports,
# before the first statement, looking in the program's own folder first.

# Writes a source that defines the import slots the compiler's calls go through, named as the
# DLL's import library names them (so that the library is not linked for them), and the table
# lateImports that the start fills them from. Arguments: DLL f1 f2 ... [DLL f1 ...], each DLL
# given as NAME.dll.
function(qz_late_imports target)
  set(slots "")
  set(rows "")
  set(index 0)
  foreach(item IN LISTS ARGN)
    if(item MATCHES "\\.dll$")
      string(REGEX REPLACE "\\.dll$" "" dll "${item}")
      find_library(QZ_IMPORT_LIBRARY_${dll} NAMES ${dll} REQUIRED)
      execute_process(COMMAND ${CMAKE_NM} ${QZ_IMPORT_LIBRARY_${dll}} OUTPUT_VARIABLE symbols
                      COMMAND_ERROR_IS_FATAL ANY)
      continue()
    endif()
    # i686: __imp__Name@argument-bytes for stdcall, __imp__Name for cdecl; x86_64: __imp_Name.
    if(NOT symbols MATCHES "(__imp__?${item}(@[0-9]+)?)[\r\n]")
      message(FATAL_ERROR "${dll}.dll has no function ${item}")
    endif()
    string(APPEND slots "void* qzLateImport${index} __asm__(\"${CMAKE_MATCH_1}\") = nullptr;\n")
    string(APPEND rows "    {\"${dll}.dll\", \"${item}\", &qzLateImport${index}},\n")
    math(EXPR index "${index} + 1")
  endforeach()
  set(file ${CMAKE_CURRENT_BINARY_DIR}/${target}_late_imports.cpp)
  string(CONCAT text "// Made by cmake/late_imports.cmake for ${target}.\n#include \"start/dll_search.h\"\n\n"
           "extern \"C\" {\n${slots}}\n\nconst LateImport lateImports[] = {\n${rows}"
           "    {nullptr, nullptr, nullptr},\n};\n")
  # Written only when it changes: an unchanged program is not rebuilt by every configure run.
  if(EXISTS ${file})
    file(READ ${file} old)
  endif()
  if(NOT old STREQUAL text)
    file(WRITE ${file} "${text}")
  endif()
  target_sources(${target} PRIVATE ${file})
endfunction()
