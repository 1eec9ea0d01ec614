# Windows side: the setup program, the sample hosted application and the
# Windows test programs, cross-compiled with mingw-w64 (driven by the host
# build) or built on Windows itself with MSVC or MinGW.
if(QURO_TESTS AND NOT QURO_PACK)
  # quro-pack is a build-host tool; without it there is no default setup, and
  # the tests that run it cannot pass.
  message(WARNING "QURO_PACK (the build host's quro-pack) is not given: no default Quro-Setup.exe")
endif()
if(NOT QURO_WINE_BENCH_DIR)
  set(QURO_WINE_BENCH_DIR ${CMAKE_BINARY_DIR}/wine-bench)
endif()

enable_language(RC)
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00 WINVER=0x0A00)
# The C++ runtime goes into each executable: nothing but system DLLs may be
# imported (a DLL beside the setup program would be loaded before its first
# line). Reproducible executables: two builds of one tree give the same
# bytes, so a maker can rebuild a release and compare; the linker stamps the
# link time into the PE header unless told otherwise (with SOURCE_DATE_EPOCH
# set, mingw's linker writes that time instead).
if(MSVC)
  set(CMAKE_MSVC_RUNTIME_LIBRARY "MultiThreaded$<$<CONFIG:Debug>:Debug>")
  add_compile_options(/utf-8 /W4 /permissive- /EHsc)
  add_link_options(/Brepro)
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
elseif(MINGW)
  add_compile_options(-Wall -Wextra)
  add_link_options(-static -static-libgcc -static-libstdc++)
  if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
    add_link_options(-Wl,--no-insert-timestamp)
  endif()
endif()

# quro_wide_entry(target [GUI]): the program starts at wmain (or wWinMain for
# a GUI program), as MSVC picks by itself and mingw is told.
function(quro_wide_entry target)
  if(MINGW)
    target_link_options(${target} PRIVATE -municode)
    if("GUI" IN_LIST ARGN)
      target_link_options(${target} PRIVATE -mwindows)
    endif()
  endif()
endfunction()

if(QURO_TESTS)
  set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  if(EXISTS /usr/src/googletest/CMakeLists.txt)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  else()
    find_package(GTest REQUIRED)
    add_library(gtest ALIAS GTest::gtest)
    add_library(gtest_main ALIAS GTest::gtest_main)
  endif()
endif()

set(QURO_BENCH ${CMAKE_SOURCE_DIR}/tests/wine/bench)

# quro_windows_test(NAME name COMMAND program args... [LANE n] [TIMEOUT s])
# Registers a Windows program as a test of the top-level ctest run, run under
# Wine in the bench prefix of its lane.
# quro_host_test(NAME name COMMAND program args... [LANE n] [NO_BENCH] [TIMEOUT s])
# A build-host program (a shell script, say) that drives Windows programs
# itself through the bench of its lane, or, with NO_BENCH, needs no prefix.
# Both add to the list that the top-level ctest run reads. The lanes are
# prefixes of their own, each with its own display and lock (Host.cmake
# starts and stops them), so that tests of different lanes run at once under
# ctest -j; a test that holds no bench holds no lock either.
function(quro_add_test kind default_timeout)
  cmake_parse_arguments(T "NO_BENCH" "NAME;TIMEOUT;LANE" "COMMAND" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT ${default_timeout})
  endif()
  if(NOT T_LANE)
    set(T_LANE 1)
  elseif(NOT T_LANE MATCHES "^[1-4]$")
    # A lane without a bench would run its test with no prefix at all.
    message(FATAL_ERROR "${T_NAME}: LANE is 1 to 4, the lanes whose benches cmake/Host.cmake starts (4: no screen)")
  endif()
  set(bench_dir ${QURO_WINE_BENCH_DIR}/lane${T_LANE})
  set(command "")
  if(kind STREQUAL "windows")
    set(command " [==[${QURO_BENCH}]==] run [==[${bench_dir}]==]")
  endif()
  foreach(a IN LISTS T_COMMAND)
    string(APPEND command " [==[${a}]==]")
  endforeach()
  set(properties "TIMEOUT ${T_TIMEOUT}")
  if(NOT T_NO_BENCH)
    string(APPEND properties " FIXTURES_REQUIRED wine${T_LANE} RESOURCE_LOCK wineprefix${T_LANE}")
  endif()
  if(kind STREQUAL "host")
    string(APPEND properties " ENVIRONMENT [==[QURO_WINE_BENCH_DIR=${bench_dir};QURO_BENCH=${QURO_BENCH};\
QURO_PACK=${QURO_PACK}]==]")
  endif()
  # One string: APPEND_STRING would join several values with ";".
  set_property(GLOBAL APPEND_STRING PROPERTY QURO_WINDOWS_TESTS
    "add_test([==[${T_NAME}]==]${command})\nset_tests_properties([==[${T_NAME}]==] PROPERTIES ${properties})\n")
endfunction()
function(quro_windows_test)
  quro_add_test(windows 300 ${ARGN})
endfunction()
function(quro_host_test)
  quro_add_test(host 600 ${ARGN})
endfunction()

include_directories(${CMAKE_SOURCE_DIR})

# The setup program in layers, one static library per folder, each linking
# only the layers below it:
#   base     handle owners, system DLLs, file trees, known folders, names
#   format   the package format that quro-pack shares (headers only)
#   package  the package inside the program: container, file list, extraction
#   ui       language, texts, message boxes, progress window
#   hosted   closing the hosted application
#   install  installation and registration; remove builds on it
#   app      the commands and their entry point
# A unit never includes from a layer above its own (the layers test reads
# every include). The executable and the Windows-side tests link the same
# libraries. A test that must make one platform call fail supplies its own
# definition of the thin wrapper around that call (each wrapper is alone in
# its *_call.cpp file), and the linker then leaves the library's out.
#
# Every user downloads the setup program, so its code is built for size (a
# Debug build keeps -O0), each function and datum in a section of its own for
# the stub's link to drop what nothing calls. The tests link these same objects.
if(MSVC)
  set(QURO_SIZE_OPTIONS $<$<NOT:$<CONFIG:Debug>>:/O1> /Gy /Gw)
else()
  set(QURO_SIZE_OPTIONS $<$<NOT:$<CONFIG:Debug>>:-Os> -ffunction-sections -fdata-sections)
endif()
function(quro_layer name)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${name}/*.cpp)
  list(REMOVE_ITEM sources ${CMAKE_SOURCE_DIR}/app/main.cpp)
  add_library(quro_${name} STATIC ${sources})
  target_compile_options(quro_${name} PRIVATE ${QURO_SIZE_OPTIONS})
  target_link_libraries(quro_${name} PUBLIC ${ARGN})
endfunction()
add_library(quro_format INTERFACE)
# Known DLLs only (ntdll is mapped into every process before any other); cabinet,
# bcrypt and comctl32 are loaded at run time.
quro_layer(base kernel32 user32 advapi32 shell32 ole32 ntdll uuid)
quro_layer(package quro_base quro_format)
quro_layer(ui quro_base gdi32)
quro_layer(hosted quro_ui quro_base)
quro_layer(install quro_hosted quro_ui quro_package quro_base shlwapi)
quro_layer(remove quro_install quro_hosted quro_ui quro_base)
quro_layer(app quro_remove quro_install quro_ui quro_package quro_base)
# Everything but the entry point, for the Windows-side tests.
add_library(quro_setup_core INTERFACE)
target_link_libraries(quro_setup_core INTERFACE quro_app)

# The setup program without a package. quro-pack puts a package into a copy of
# it (RCDATA 101), which makes a setup for any hosted folder without a compiler.
add_executable(quro-setup-stub WIN32 app/main.cpp res/setup.rc)
target_link_libraries(quro-setup-stub PRIVATE quro_setup_core)
target_compile_options(quro-setup-stub PRIVATE ${QURO_SIZE_OPTIONS})
quro_wide_entry(quro-setup-stub GUI)
if(MSVC)
  # What nothing calls goes, and identical functions are folded.
  target_link_options(quro-setup-stub PRIVATE /OPT:REF /OPT:ICF)
elseif(MINGW)
  # Stripped in every configuration: quro-pack rewrites the resource section
  # and keeps nothing it cannot place, such as a symbol table behind it.
  # --gc-sections drops what nothing calls from the program's own objects; a
  # member of a runtime archive comes in whole, since binutils' script keeps
  # every function that has unwind data (KEEP .pdata). The map says what came in.
  set(quro_stub_map ${CMAKE_BINARY_DIR}/quro-setup-stub.map)
  target_link_options(quro-setup-stub PRIVATE -s -Wl,--gc-sections -Wl,-Map,${quro_stub_map})
  # The C++ runtime of the win32 thread model: the posix one, which the tests
  # need for std::mutex, takes the locks and thread-local slots of exception
  # handling from winpthreads, some 26 KB the setup program, with one thread,
  # does not need. The program's objects use no thread facility of the library,
  # so they link unchanged against these archives (the check below holds that
  # nothing reached for winpthreads all the same).
  string(REGEX REPLACE "-posix$" "-win32" quro_win32_cxx ${CMAKE_CXX_COMPILER})
  execute_process(COMMAND ${quro_win32_cxx} -print-file-name=libstdc++.a
    OUTPUT_VARIABLE quro_win32_libstdcxx OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(NOT IS_ABSOLUTE "${quro_win32_libstdcxx}")
    message(FATAL_ERROR "${quro_win32_cxx} is missing: the setup program links the win32-model C++ runtime "
      "(Debian package g++-mingw-w64-x86-64-win32)")
  endif()
  get_filename_component(quro_win32_runtime ${quro_win32_libstdcxx} DIRECTORY)
  target_link_options(quro-setup-stub PRIVATE -L${quro_win32_runtime})
  # Three runtime functions that the program reaches only at its end or never,
  # each in an archive member that would bring in far more, are resolved to
  # abort() so that those members stay out. check-stub-link fails the build when
  # any other linked object refers to one of them.
  set(quro_stub_aborts
    # The terminate handler: on an exception that nobody catches it writes the
    # type's name (through a 45 KB demangler) to the standard error that a GUI
    # program does not have, then calls abort(). Now abort() alone (also what
    # std::set_terminate(nullptr) restores).
    eh_term_handler.o,eh_terminate.o:_ZN9__gnu_cxx27__verbose_terminate_handlerEv
    # random_device for the old string ABI, in the member of the copy-on-write
    # std::string that the standard exceptions keep their text in; it brings the
    # whole narrow std::string (25 KB). The program makes no random_device.
    cow-string-inst.o:_ZNSt13random_device7_M_initEPKcy
    # An error category's message for the old string ABI, in the member of the
    # standard exceptions, the other way to that std::string. The program has
    # no std::system_error.
    cow-stdexcept.o:_ZNSt12__sso_stringC1EPKcy)
  foreach(entry IN LISTS quro_stub_aborts)
    string(REGEX REPLACE ".*:" "" symbol ${entry})
    target_link_options(quro-setup-stub PRIVATE -Wl,--defsym,${symbol}=abort)
  endforeach()
  add_custom_command(TARGET quro-setup-stub POST_BUILD
    COMMAND ${CMAKE_SOURCE_DIR}/cmake/check-stub-link ${CMAKE_NM} ${quro_stub_map} ${quro_stub_aborts}
    VERBATIM)
endif()
set(QURO_STUB $<TARGET_FILE:quro-setup-stub>)

# A release build stops at the stub.
if(NOT QURO_TESTS)
  return()
endif()
add_subdirectory(examples)
add_subdirectory(tests/standin)
add_subdirectory(tools/driver)
add_subdirectory(tests/windows)

get_property(QURO_WINDOWS_TESTS GLOBAL PROPERTY QURO_WINDOWS_TESTS)
file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/windows-tests.cmake CONTENT "${QURO_WINDOWS_TESTS}")
