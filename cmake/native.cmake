# Native build: the portable core, the test host linked with it, the GoogleTest
# suite, benchmarks and fuzz targets.
find_package(GTest REQUIRED)
find_package(Threads REQUIRED)

add_library(kestrin_core STATIC ${KESTRIN_CORE_SOURCES})
target_include_directories(kestrin_core PUBLIC ${CMAKE_SOURCE_DIR}/src ${KESTRIN_GENERATED_DIR})
target_link_libraries(kestrin_core PUBLIC Threads::Threads)

# The test host with the native stand-ins of the platform operations; object
# files, so that the core finds them whatever the link order.
file(GLOB TESTHOST_NATIVE_SOURCES CONFIGURE_DEPENDS
  tests/testhost/test_host.cpp tests/testhost/text_encodings.cpp tests/testhost/native_*.cpp)
add_library(testhost_native OBJECT ${TESTHOST_NATIVE_SOURCES})
target_include_directories(testhost_native PUBLIC ${CMAKE_SOURCE_DIR}/tests)
target_link_libraries(testhost_native PUBLIC kestrin_core)

file(GLOB NATIVE_TEST_SOURCES CONFIGURE_DEPENDS tests/native/*.cpp)
add_executable(native_tests ${NATIVE_TEST_SOURCES})
target_link_libraries(native_tests PRIVATE testhost_native GTest::gtest GTest::gmock GTest::gtest_main)
include(GoogleTest)
# Temporary folders of the tests go under the build folder too.
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/test-tmp)
gtest_discover_tests(native_tests DISCOVERY_TIMEOUT 60
  PROPERTIES ENVIRONMENT "KESTRIN_SOURCE_DIR=${CMAKE_SOURCE_DIR};TMPDIR=${CMAKE_BINARY_DIR}/test-tmp")

# Benchmarks: one program each, run by hand (see README).
file(GLOB BENCH_SOURCES CONFIGURE_DEPENDS bench/*.cpp)
foreach(source ${BENCH_SOURCES})
  get_filename_component(name ${source} NAME_WE)
  add_executable(${name} ${source})
  target_link_libraries(${name} PRIVATE testhost_native)
endforeach()

if(KESTRIN_FUZZ)
  include(${CMAKE_SOURCE_DIR}/fuzz/fuzz.cmake OPTIONAL)
endif()

# Generated files that are checked in must match their generators.
find_package(Python3 COMPONENTS Interpreter)
if(Python3_FOUND)
  add_test(NAME langpack_template
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/scripts/gen-langpack.py --check)
  add_test(NAME icons_generated
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/scripts/gen-icons.py --check)
endif()
