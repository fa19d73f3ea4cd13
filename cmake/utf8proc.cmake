# utf8proc (Unicode case mapping and normalisation, for qzpack's names): Debian's
# libutf8proc-dev natively; for the Windows flavours a static library built from Debian's
# utf8proc source package, which scripts/bootstrap.sh unpacks into .deps/utf8proc.
if(WIN32)
  set(QZ_UTF8PROC_SOURCE_DIR "${CMAKE_SOURCE_DIR}/.deps/utf8proc" CACHE PATH "utf8proc source folder")
  if(NOT EXISTS "${QZ_UTF8PROC_SOURCE_DIR}/utf8proc.c")
    message(FATAL_ERROR "utf8proc sources not found in ${QZ_UTF8PROC_SOURCE_DIR}: run scripts/bootstrap.sh")
  endif()
  # utf8proc.c includes utf8proc_data.c itself.
  add_library(utf8proc STATIC ${QZ_UTF8PROC_SOURCE_DIR}/utf8proc.c)
  target_include_directories(utf8proc SYSTEM PUBLIC ${QZ_UTF8PROC_SOURCE_DIR})
  target_compile_definitions(utf8proc PUBLIC UTF8PROC_STATIC)
  target_compile_options(utf8proc PRIVATE -w)
else()
  find_path(QZ_UTF8PROC_INCLUDE utf8proc.h REQUIRED)
  find_library(QZ_UTF8PROC_LIBRARY utf8proc REQUIRED)
  add_library(utf8proc INTERFACE)
  target_link_libraries(utf8proc INTERFACE ${QZ_UTF8PROC_LIBRARY})
endif()
