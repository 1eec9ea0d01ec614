# Build-host side: the package tool, its native tests, and the cross build of
# the Windows side, whose tests run under Wine through the same ctest.
# wimlib's pkg-config file names private dependencies (ntfs-3g, fuse) whose
# -dev packages a plain LZMS user does not need, so find it directly.
find_path(WIMLIB_INCLUDE_DIR wimlib.h REQUIRED)
find_library(WIMLIB_LIBRARY wim REQUIRED)
add_library(wimlib::wimlib UNKNOWN IMPORTED)
set_target_properties(wimlib::wimlib PROPERTIES IMPORTED_LOCATION ${WIMLIB_LIBRARY}
  INTERFACE_INCLUDE_DIRECTORIES ${WIMLIB_INCLUDE_DIR})
find_package(ZLIB REQUIRED)
find_package(OpenSSL REQUIRED COMPONENTS Crypto)
find_package(nlohmann_json 3 REQUIRED)

add_compile_options(-Wall -Wextra)
# Two builds of one commit give the same quro-pack wherever the tree and the
# build lie: no path of either goes into an object (a Debug build keeps them
# for the debugger). The last map that matches wins, and the build may lie
# inside the tree.
add_compile_options($<$<NOT:$<CONFIG:Debug>>:-ffile-prefix-map=${CMAKE_SOURCE_DIR}/=>
  $<$<NOT:$<CONFIG:Debug>>:-ffile-prefix-map=${CMAKE_BINARY_DIR}/=>)

# The Windows side's build folder, and its stub, which quro-pack ships.
set(QURO_WINDOWS_BINARY_DIR ${CMAKE_BINARY_DIR}/windows)
set(QURO_BUILT_STUB ${QURO_WINDOWS_BINARY_DIR}/quro-setup-stub.exe)

if(QURO_TESTS)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
endif()

# What cmake --install and the package make, whatever the umask.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
add_subdirectory(tools)
include(cmake/Package.cmake)

# The Windows side is this same tree configured with the cross toolchain,
# built in a folder of its own with more CMAKE_ARGS, and DEPENDS where given.
include(ExternalProject)
function(quro_windows_side name folder)
  cmake_parse_arguments(PARSE_ARGV 2 side "" "" "CMAKE_ARGS;DEPENDS")
  set(more)
  if(side_DEPENDS)
    list(APPEND more DEPENDS ${side_DEPENDS})
  endif()
  ExternalProject_Add(${name}
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${folder}
    CMAKE_ARGS
      -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/mingw-w64-x86_64.cmake
      -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
      ${side_CMAKE_ARGS}
    BUILD_ALWAYS ON
    INSTALL_COMMAND ""
    USES_TERMINAL_BUILD ON
    ${more})
endfunction()

# What a release builds ends here: the stub, alone, from the Windows side.
if(NOT QURO_TESTS)
  quro_windows_side(windows ${QURO_WINDOWS_BINARY_DIR} CMAKE_ARGS -DQURO_TESTS=OFF)
  return()
endif()

add_subdirectory(tests/tools)

# Every C and C++ source follows .clang-format.
find_program(QURO_CLANG_FORMAT clang-format REQUIRED)
add_test(NAME format.check COMMAND ${CMAKE_SOURCE_DIR}/tests/format/check ${QURO_CLANG_FORMAT})

# The layers of the setup program hold: no unit includes from above its own.
set(layer_check ${CMAKE_SOURCE_DIR}/tests/layers/check.cmake)
add_test(NAME layers.includes COMMAND ${CMAKE_COMMAND} -DROOT=${CMAKE_SOURCE_DIR} -P ${layer_check})
# ... and the check sees a unit that reaches up.
add_test(NAME layers.upward_caught COMMAND ${CMAKE_COMMAND} -DROOT=${CMAKE_SOURCE_DIR}/tests/layers/upward -P ${layer_check})
set_tests_properties(layers.upward_caught PROPERTIES
  PASS_REGULAR_EXPRESSION "install/locations.h is above ui/[\n ]+ui/reaches_up.cpp: base/product.h comes after a higher layer's header")

# The Windows tests' accomplice on the build host: swaps a folder for a link
# while the setup program deletes there.
add_executable(quro-swap tests/wine/swap.c)

# The Windows side of a test build needs the package tool to put packages
# into the setup programs it builds.
set(QURO_WINE_BENCH_DIR ${CMAKE_BINARY_DIR}/wine-bench)
quro_windows_side(windows ${QURO_WINDOWS_BINARY_DIR}
  CMAKE_ARGS -DQURO_TESTS=ON -DQURO_PACK=$<TARGET_FILE:quro-pack> -DQURO_WINE_BENCH_DIR=${QURO_WINE_BENCH_DIR}
  DEPENDS quro-pack)

# The stub built a second time, from scratch in a folder of its own and as a
# release builds it: two builds of one tree must give the same setup program
# byte for byte, so that a maker can rebuild a release and compare
# (tools.reproducible_stub).
quro_windows_side(windows-twin ${CMAKE_BINARY_DIR}/windows-twin CMAKE_ARGS -DQURO_TESTS=OFF)

# The fuzz targets, with clang and libFuzzer; the suite replays their corpus,
# .ci/run and bench/fuzz-campaign fuzz them.
find_program(QURO_CLANGXX clang++ REQUIRED)
find_program(QURO_CLANG clang REQUIRED)
set(QURO_FUZZ_BINARY_DIR ${CMAKE_BINARY_DIR}/fuzz)
ExternalProject_Add(fuzz
  SOURCE_DIR ${CMAKE_SOURCE_DIR}/tests/fuzz
  BINARY_DIR ${QURO_FUZZ_BINARY_DIR}
  CMAKE_ARGS -DCMAKE_CXX_COMPILER=${QURO_CLANGXX} -DCMAKE_C_COMPILER=${QURO_CLANG}
  BUILD_ALWAYS ON
  INSTALL_COMMAND ""
  USES_TERMINAL_BUILD ON)
add_test(NAME fuzz.replay
  COMMAND ${CMAKE_SOURCE_DIR}/tests/fuzz/run replay ${QURO_FUZZ_BINARY_DIR}
    ${QURO_BUILT_STUB} ${QURO_WINDOWS_BINARY_DIR}/Quro-Setup.exe)
set_tests_properties(fuzz.replay PROPERTIES TIMEOUT 120)

# Wine prefixes with a display each, made fresh at the start of a run: one a
# lane, so that the Windows tests of different lanes run at once (each test
# names its lane; see quro_add_test in Windows.cmake).
set(QURO_BENCH ${CMAKE_SOURCE_DIR}/tests/wine/bench)
# Lane 4 has Wine's null graphics driver: nobody can answer a window there.
foreach(lane 1 2 3 4)
  set(bench_driver "")
  if(lane EQUAL 4)
    set(bench_driver null)
  endif()
  add_test(NAME wine.bench.start.${lane}
    COMMAND ${QURO_BENCH} start ${QURO_WINE_BENCH_DIR}/lane${lane} ${QURO_WINDOWS_BINARY_DIR}/tests/standin/cabinet.dll
      ${bench_driver})
  set_tests_properties(wine.bench.start.${lane} PROPERTIES FIXTURES_SETUP wine${lane} RESOURCE_LOCK wineprefix${lane}
    TIMEOUT 120)
  add_test(NAME wine.bench.stop.${lane} COMMAND ${QURO_BENCH} stop ${QURO_WINE_BENCH_DIR}/lane${lane})
  set_tests_properties(wine.bench.stop.${lane} PROPERTIES FIXTURES_CLEANUP wine${lane} RESOURCE_LOCK wineprefix${lane})
endforeach()

# The Windows build writes its test list; ctest reads it when it runs.
set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${QURO_WINDOWS_BINARY_DIR}/windows-tests.cmake)
