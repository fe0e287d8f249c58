# Cross build: the plug-in DLL and the Windows test program that loads it.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
enable_language(RC)

# One file for the user to copy: the runtime is linked in, so the DLL imports
# only system DLLs.
set(KESTRIN_STATIC_LINK -static -static-libgcc -static-libstdc++)

file(GLOB KESTRIN_RESOURCES CONFIGURE_DEPENDS src/resources/*.rc)
add_library(mKestrinUser SHARED
  ${KESTRIN_CORE_SOURCES} ${KESTRIN_WIN32_SOURCES} ${KESTRIN_RESOURCES}
  ${CMAKE_SOURCE_DIR}/src/mKestrinUser.def)
set_target_properties(mKestrinUser PROPERTIES PREFIX "" OUTPUT_NAME mKestrinUser)
target_include_directories(mKestrinUser PRIVATE ${CMAKE_SOURCE_DIR}/src ${KESTRIN_GENERATED_DIR})
target_compile_definitions(mKestrinUser PRIVATE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0501)
target_link_options(mKestrinUser PRIVATE ${KESTRIN_STATIC_LINK} -Wl,--enable-stdcall-fixup)
target_link_libraries(mKestrinUser PRIVATE user32 gdi32 comdlg32 kernel32)
# A lean DLL: optimized for size, each function and datum in a section of its
# own so that the linker drops what nothing calls, and the debug information
# moved into mKestrinUser.dll.debug beside it (found by gdb through the link).
# The Wine suite tests the stripped DLL that ships.
target_compile_options(mKestrinUser PRIVATE -Os -ffunction-sections -fdata-sections)
target_link_options(mKestrinUser PRIVATE -Wl,--gc-sections)
add_custom_command(TARGET mKestrinUser POST_BUILD
  COMMAND ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE:mKestrinUser> $<TARGET_FILE:mKestrinUser>.debug
  COMMAND ${CMAKE_STRIP} --strip-all $<TARGET_FILE:mKestrinUser>
  COMMAND ${CMAKE_OBJCOPY} --add-gnu-debuglink=$<TARGET_FILE:mKestrinUser>.debug $<TARGET_FILE:mKestrinUser>
  WORKING_DIRECTORY $<TARGET_FILE_DIR:mKestrinUser>
  VERBATIM)

# GoogleTest from the distribution's sources, built with the same compilers.
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
foreach(target gtest gtest_main gmock gmock_main)
  if(TARGET ${target})
    target_compile_options(${target} PRIVATE -Wno-error)
  endif()
endforeach()

# The test host with its loader of the real DLL, for the Wine suite and the
# demo: they reach the plug-in only through its exports and services.
# Its own text conversions are portable: code page 1252, as in Wine here.
file(GLOB TESTHOST_WIN32_SOURCES CONFIGURE_DEPENDS
  tests/testhost/test_host.cpp tests/testhost/text_encodings.cpp tests/testhost/win32_*.cpp
  src/host/unicode_text.cpp)

file(GLOB WINE_TEST_SOURCES CONFIGURE_DEPENDS tests/wine/*.cpp)
add_executable(wine_tests ${WINE_TEST_SOURCES} ${TESTHOST_WIN32_SOURCES})
target_include_directories(wine_tests PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests
  ${KESTRIN_GENERATED_DIR})
target_compile_definitions(wine_tests PRIVATE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0501)
target_link_libraries(wine_tests PRIVATE gtest gmock gtest_main user32 gdi32 comdlg32 kernel32 version)
target_link_options(wine_tests PRIVATE ${KESTRIN_STATIC_LINK})
add_dependencies(wine_tests mKestrinUser)
add_test(NAME wine_tests COMMAND wine_tests)
set_tests_properties(wine_tests PROPERTIES TIMEOUT 900 LABELS wine
  ENVIRONMENT "KESTRIN_SOURCE_DIR=${CMAKE_SOURCE_DIR};KESTRIN_BUILD_DIR=${CMAKE_BINARY_DIR}")

# The line reader's and the splitter's scans as the DLL compiles them (32-bit,
# for size), in every instruction set the processor has.
add_executable(scan_tests ${CMAKE_SOURCE_DIR}/tests/native/csv_scan_test.cpp
  ${CMAKE_SOURCE_DIR}/src/exchange/formats/csv_format.cpp
  ${CMAKE_SOURCE_DIR}/src/exchange/text/scan.cpp ${CMAKE_SOURCE_DIR}/src/exchange/text/line_reader.cpp)
target_include_directories(scan_tests PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests)
target_compile_options(scan_tests PRIVATE -Os)
target_link_libraries(scan_tests PRIVATE gtest gtest_main)
target_link_options(scan_tests PRIVATE ${KESTRIN_STATIC_LINK})
add_test(NAME scan_tests COMMAND scan_tests)
set_tests_properties(scan_tests PROPERTIES LABELS wine)

# The DLL exports exactly the three entry points and imports only system DLLs.
add_test(NAME dll_interface
  COMMAND ${CMAKE_SOURCE_DIR}/scripts/check-dll-interface.sh $<TARGET_FILE:mKestrinUser>)

# The release zip holds exactly the files for messenger users, and this DLL.
add_test(NAME release_package
  COMMAND ${CMAKE_SOURCE_DIR}/scripts/check-package.sh $<TARGET_FILE:mKestrinUser>)

# The demo: the test host in a window of its own with the real DLL loaded
# (scripts/demo.sh).
add_executable(kestrin_demo ${CMAKE_SOURCE_DIR}/demo/demo_host.cpp ${TESTHOST_WIN32_SOURCES})
target_include_directories(kestrin_demo PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests)
target_compile_definitions(kestrin_demo PRIVATE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0501)
target_link_libraries(kestrin_demo PRIVATE comctl32 user32 gdi32 kernel32)
target_link_options(kestrin_demo PRIVATE ${KESTRIN_STATIC_LINK})
add_dependencies(kestrin_demo mKestrinUser)

# The progress bench with the real progress window: the core, the Win32 shell
# and the test host in one program, run by hand with scripts/wine-run.sh.
add_executable(progress_bench ${CMAKE_SOURCE_DIR}/bench/progress_bench.cpp
  ${KESTRIN_CORE_SOURCES} ${KESTRIN_WIN32_SOURCES} ${CMAKE_SOURCE_DIR}/tests/testhost/test_host.cpp
  ${CMAKE_SOURCE_DIR}/tests/testhost/text_encodings.cpp
  ${CMAKE_SOURCE_DIR}/tests/testhost/win32_contact_list.cpp)
target_include_directories(progress_bench PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests
  ${KESTRIN_GENERATED_DIR})
target_compile_definitions(progress_bench PRIVATE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0501)
target_link_libraries(progress_bench PRIVATE user32 gdi32 comdlg32 kernel32)
target_link_options(progress_bench PRIVATE ${KESTRIN_STATIC_LINK})
