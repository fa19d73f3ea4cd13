# libbz2: Debian's libbz2-dev natively; for the Windows flavours a static library built from
# Debian's bzip2 source package, which scripts/bootstrap.sh unpacks into .deps/bzip2.
if(WIN32)
  set(QZ_BZIP2_SOURCE_DIR "${CMAKE_SOURCE_DIR}/.deps/bzip2" CACHE PATH "bzip2 source folder")
  if(NOT EXISTS "${QZ_BZIP2_SOURCE_DIR}/bzlib.c")
    message(FATAL_ERROR "bzip2 sources not found in ${QZ_BZIP2_SOURCE_DIR}: run scripts/bootstrap.sh")
  endif()
  add_library(bz2 STATIC
    ${QZ_BZIP2_SOURCE_DIR}/blocksort.c ${QZ_BZIP2_SOURCE_DIR}/huffman.c
    ${QZ_BZIP2_SOURCE_DIR}/crctable.c ${QZ_BZIP2_SOURCE_DIR}/randtable.c
    ${QZ_BZIP2_SOURCE_DIR}/compress.c ${QZ_BZIP2_SOURCE_DIR}/decompress.c
    ${QZ_BZIP2_SOURCE_DIR}/bzlib.c)
  target_include_directories(bz2 SYSTEM PUBLIC ${QZ_BZIP2_SOURCE_DIR})
  # Without this, bzlib's diagnostic fprintf drags in mingw's own printf and float formatting
  # (about 50 KB of the stub).
  target_compile_definitions(bz2 PRIVATE __USE_MINGW_ANSI_STDIO=0)
  # GCC turns the decoder's move-to-front shifts into calls of memmove, one per symbol, and
  # msvcrt's memmove is slow for a few bytes (Wine's: 8% of an installation's time).
  target_compile_options(bz2 PRIVATE -w -fno-tree-loop-distribute-patterns)
  add_library(BZip2::BZip2 ALIAS bz2)
else()
  find_package(BZip2 REQUIRED)
endif()
