# find_package(tarnmix CONFIG): the imported target tarnmix::tarnmix (tarnmix.dll, its import
# library and tarnmix.h) for a 32-bit mingw-w64 build. The version file beside this one turns a
# 64-bit build away before it gets here.
include(${CMAKE_CURRENT_LIST_DIR}/tarnmixTargets.cmake)
