# Compiler options shared by every target of the project (not by GoogleTest).
add_library(vol_options INTERFACE)
# Includes are written from src/, so that they name the part they come from.
target_include_directories(vol_options INTERFACE ${PROJECT_SOURCE_DIR}/src)
# Files written at configure time (the version), included by name like the sources.
set(VOL_GENERATED_DIR ${PROJECT_BINARY_DIR}/generated)
configure_file(${CMAKE_CURRENT_LIST_DIR}/ProjectVersion.h.in ${VOL_GENERATED_DIR}/ProjectVersion.h
               @ONLY)
target_include_directories(vol_options INTERFACE ${VOL_GENERATED_DIR})
target_compile_options(vol_options INTERFACE -Wall -Wextra $<$<BOOL:${VOL_WERROR}>:-Werror>)

if(VOL_WINDOWS)
  target_compile_definitions(vol_options INTERFACE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
                                                   _WIN32_WINNT=0x0601)
  # GCC 12 warns falsely about std::string concatenation at -O3 (its bug 105329).
  target_compile_options(vol_options INTERFACE -Wno-restrict)
  # One self-contained executable: no MinGW runtime DLLs beside it.
  target_link_options(vol_options INTERFACE -static -static-libgcc -static-libstdc++)
  set(CMAKE_EXE_LINKER_FLAGS "${CMAKE_EXE_LINKER_FLAGS} -static")
  # The same bytes from the same sources wherever and whenever they are built: no link time
  # in the PE header, no path of the source or build folder in what the compiler writes
  # (__FILE__, the symbol table's file names). The build folder, inside the source folder
  # in the presets, comes last: the last map given is tried first.
  target_compile_options(vol_options INTERFACE -ffile-prefix-map=${PROJECT_SOURCE_DIR}/=
                                               -ffile-prefix-map=${PROJECT_BINARY_DIR}/=)
  target_link_options(vol_options INTERFACE -Wl,--no-insert-timestamp)
elseif(VOL_SANITIZE STREQUAL "address")
  set(san -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_compile_options(${san})
  add_link_options(${san})
elseif(VOL_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread)
  add_link_options(-fsanitize=thread)
elseif(NOT VOL_SANITIZE STREQUAL "")
  message(FATAL_ERROR "VOL_SANITIZE must be empty, address or thread")
endif()

find_package(Threads REQUIRED)

# vol_add_test(NAME SOURCES... [LIBS ...] [REAL_JOURNALS FILTER]): one GoogleTest executable,
# registered as one CTest test; with REAL_JOURNALS, the tests FILTER selects (a GoogleTest
# filter) are a second one. In the windows build CTest runs them through Wine.
function(vol_add_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT;REAL_JOURNALS" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES} ${ARG_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE vol_options GTest::gtest_main GTest::gmock ${ARG_LIBS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  set(timeout ${VOL_TEST_TIMEOUT})
  if(ARG_TIMEOUT)
    set(timeout ${ARG_TIMEOUT})
  endif()
  if(NOT ARG_REAL_JOURNALS)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES TIMEOUT ${timeout})
    return()
  endif()
  # The tests that read the real journals are a CTest test of their own, reported as
  # skipped when the journals are not beside the source tree; the rest run as usual.
  add_test(NAME ${name} COMMAND ${name} --gtest_filter=-${ARG_REAL_JOURNALS})
  add_test(NAME ${name}_real_journals COMMAND ${name} --gtest_filter=${ARG_REAL_JOURNALS})
  set_tests_properties(${name} ${name}_real_journals PROPERTIES TIMEOUT ${timeout})
  set_tests_properties(${name}_real_journals PROPERTIES
    SKIP_REGULAR_EXPRESSION "no real journals beside the source tree")
endfunction()
