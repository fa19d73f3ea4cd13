# Fails when a shipping binary grows past its ceiling; prints its size either way.
#   cmake -DFILE=... -DMAX_BYTES=... -P check_size.cmake
file(SIZE ${FILE} size)
get_filename_component(name ${FILE} NAME)
message(STATUS "${name}: ${size} bytes (at most ${MAX_BYTES})")
if(size GREATER MAX_BYTES)
  message(FATAL_ERROR "${name} grew to ${size} bytes, above ${MAX_BYTES}")
endif()
