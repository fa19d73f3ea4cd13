# Compiler and linker flags shared by every target of a flavour.

add_compile_options(-Wall -Wextra)

if(WIN32)
  # Windows binaries carry their runtime: nothing but system DLLs is needed under Wine or on a PC.
  add_link_options(-static)
  # No link time in the PE header or the export table: the same sources give the same bytes.
  add_link_options(-Wl,--no-insert-timestamp)
  # ASLR and DEP, said outright rather than left to the linker's defaults (binutils gives them
  # from 2.36 on); the relocations ASLR needs cost setup.exe 2.5 KB.
  add_link_options(-Wl,--dynamicbase,--nxcompat)
  if(CMAKE_BUILD_TYPE STREQUAL "MinSizeRel")
    # Every kilobyte of the installer stub is paid by every download.
    add_compile_options(-Os -ffunction-sections -fno-asynchronous-unwind-tables
                        -fno-ident -fomit-frame-pointer)
    add_link_options(-Wl,--gc-sections -s -Wl,--build-id=none)
  endif()
  if(CMAKE_CROSSCOMPILING)
    # ctest runs the test binaries of a flavour through Wine, one prefix per build tree; 32-bit
    # programs need the WoW64 prefix that scripts/test-i686.sh prepares.
    set(QZ_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix")
    set(CMAKE_CROSSCOMPILING_EMULATOR
        "env;WINEPREFIX=${QZ_WINEPREFIX};${CMAKE_SOURCE_DIR}/scripts/wine-run")
  endif()
endif()

if(QZ_SANITIZE AND NOT WIN32)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

if(QZ_TSAN AND NOT WIN32)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

# setup and tarnmix: no exceptions, no RTTI, no iostreams (the last is kept by review).
function(qz_shipping_target target)
  target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions -fno-rtti>)
endfunction()
