# Project-wide helpers: the per-deliverable values, warnings, sanitizers and
# the one function that registers every test.

# The subsystem folders in link order: each folder's libraries link only
# libraries of folders before it, with one exception. text/ holds two layers,
# bv_text (text records) below the files and bv_vmstring (the text value)
# beside them: bv_file links bv_vmstring, which links bv_values, which links
# bv_file back. BVFile's fixed slot table makes VMStrings, and the value
# classes' fixed slot table loads and saves through a BVFile.
# docs/architecture.md draws the map.
set(BV_SUBSYSTEMS platform crypt text file values diag inflate bitmap shell)

# bv_add_folders(name...) adds the named subfolders in the order given; with
# no names, every subfolder that has a CMakeLists.txt, in name order.
function(bv_add_folders)
  set(names ${ARGN})
  if(NOT names)
    file(GLOB lists RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*/CMakeLists.txt)
    list(SORT lists)
    foreach(lists_entry ${lists})
      get_filename_component(dir ${lists_entry} DIRECTORY)
      list(APPEND names ${dir})
    endforeach()
  endif()
  foreach(dir ${names})
    add_subdirectory(${dir})
  endforeach()
endfunction()

# The values that differ between the two DLLs live here and nowhere else. They
# reach the code through the generated header bv_config.h.
function(bv_configure_deliverable)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(BV_DLL_NAME brivel2thumbx64)
    set(BV_MAX_DOCUMENT_SIDE 8192)
    set(BV_FILE_NAME_FORMAT "0x%016llx")
    set(BV_PLATFORM_SUFFIX " (x64)")
    set(BV_MANIFEST_ARCH amd64)
  else()
    set(BV_DLL_NAME brivel2thumb)
    set(BV_MAX_DOCUMENT_SIDE 5120)
    set(BV_FILE_NAME_FORMAT "0x%08x")
    set(BV_PLATFORM_SUFFIX "")
    set(BV_MANIFEST_ARCH x86)
  endif()
  foreach(v BV_DLL_NAME BV_MAX_DOCUMENT_SIDE BV_FILE_NAME_FORMAT BV_PLATFORM_SUFFIX
            BV_MANIFEST_ARCH)
    set(${v} "${${v}}" PARENT_SCOPE)
  endforeach()
  configure_file(${PROJECT_SOURCE_DIR}/src/bv_config.h.in
                 ${PROJECT_BINARY_DIR}/generated/bv_config.h @ONLY)

  add_library(bv_options INTERFACE)
  target_include_directories(bv_options INTERFACE ${PROJECT_SOURCE_DIR}/src
                                                  ${PROJECT_BINARY_DIR}/generated)
  target_compile_options(bv_options INTERFACE -Wall -Wextra -Wimplicit-fallthrough -ffp-contract=off
                                              $<$<BOOL:${BV_WERROR}>:-Werror>)
  if(WIN32)
    # Everything static but the system DLLs: libgcc, libstdc++ and winpthread.
    target_link_options(bv_options INTERFACE -static)
    target_compile_definitions(bv_options INTERFACE UNICODE _UNICODE WIN32_LEAN_AND_MEAN
                                                    NOMINMAX _WIN32_WINNT=0x0601)
  endif()
  if(BV_SANITIZE)
    target_compile_options(bv_options INTERFACE -fsanitize=address,undefined
                                                -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_link_options(bv_options INTERFACE -fsanitize=address,undefined)
  endif()
endfunction()

# GoogleTest is compiled from the Debian sources, for the host and for MinGW
# alike; nothing is downloaded.
macro(bv_setup_googletest)
  set(BV_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest source tree")
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  add_subdirectory(${BV_GTEST_SOURCE} ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  if(WIN32)
    # One Wine prefix per build tree, made once before any test runs.
    add_test(NAME wineprefix COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} --init ${PROJECT_BINARY_DIR})
    set_tests_properties(wineprefix PROPERTIES FIXTURES_SETUP wineprefix SKIP_RETURN_CODE 77)
  endif()
endmacro()

# bv_add_test(name SOURCES file... LIBS lib...) builds one GoogleTest program
# and registers it with CTest; under a cross build CTest runs it through Wine.
function(bv_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} bv_options gmock gtest_main)
  # Test support headers are included as "folder/Header.h" from tests/.
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  add_test(NAME ${name} COMMAND ${name})
  if(WIN32)
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wineprefix SKIP_RETURN_CODE 77)
  endif()
endfunction()
