# 64-bit Windows: the same program for x86-64, and the Windows suites on machines that
# cannot execute 32-bit programs.
set(VOL_MINGW_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
