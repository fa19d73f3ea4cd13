# Each file carries a version resource whose FileVersion and ProductVersion are VERSION and whose
# OriginalFilename is its name. The resource's strings are UTF-16LE: a key, its terminator, up to
# two bytes of alignment, then the value and its terminator.
#   cmake -DVERSION=1.2.3 -DFILES=a.dll|b.exe -P check_version_resource.cmake
function(utf16_hex text out)
  string(HEX "${text}" hex)
  string(REGEX REPLACE "(..)" "\\100" hex "${hex}")
  set(${out} ${hex} PARENT_SCOPE)
endfunction()

string(REPLACE "|" ";" files "${FILES}")
foreach(file IN LISTS files)
  get_filename_component(name ${file} NAME)
  file(READ ${file} content HEX)
  foreach(pair "FileVersion=${VERSION}" "ProductVersion=${VERSION}" "OriginalFilename=${name}")
    string(REPLACE "=" ";" pair "${pair}")
    list(GET pair 0 key)
    list(GET pair 1 value)
    utf16_hex("${key}" key_hex)
    utf16_hex("${value}" value_hex)
    if(NOT content MATCHES "${key_hex}0000(0000)?${value_hex}0000")
      message(FATAL_ERROR "${name}: no version resource string ${key} = ${value}")
    endif()
  endforeach()
  message(STATUS "${name}: version ${VERSION}")
endforeach()
