# libFuzzer targets over the exchange file's reader, field splitter and the
# integer reader. The core is built again with coverage instrumentation so the
# fuzzer sees inside it; ASan and UBSan catch memory and arithmetic faults.
set(KESTRIN_FUZZ_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)

add_library(kestrin_core_fuzz STATIC ${KESTRIN_CORE_SOURCES})
target_include_directories(kestrin_core_fuzz PUBLIC ${CMAKE_SOURCE_DIR}/src ${KESTRIN_GENERATED_DIR})
target_compile_options(kestrin_core_fuzz PUBLIC ${KESTRIN_FUZZ_FLAGS} -fsanitize=fuzzer-no-link)
target_link_options(kestrin_core_fuzz PUBLIC ${KESTRIN_FUZZ_FLAGS})
target_link_libraries(kestrin_core_fuzz PUBLIC Threads::Threads)

add_custom_target(fuzz_targets)
file(GLOB FUZZ_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/fuzz/*_fuzz.cpp)
foreach(source ${FUZZ_SOURCES})
  get_filename_component(name ${source} NAME_WE)
  add_executable(${name} ${source})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  # The system code page: the test host's stand-in (1252).
  target_sources(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/testhost/native_code_page.cpp
    ${CMAKE_SOURCE_DIR}/tests/testhost/text_encodings.cpp)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE kestrin_core_fuzz)
  add_dependencies(fuzz_targets ${name})
endforeach()
