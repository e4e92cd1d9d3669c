# Shared target conventions: warnings, sanitizers, test registration.

# The sanitizer and fuzzing trees also check every standard container access
# (an index past the end, front() of an empty string).
if(KV_SANITIZE OR KV_FUZZ)
  add_compile_definitions(_GLIBCXX_ASSERTIONS)
endif()

function(kv_defaults target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(KV_SANITIZE OR KV_FUZZ)
    target_compile_options(${target} PRIVATE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(${target} PRIVATE -fsanitize=address,undefined)
  endif()
  if(KV_TSAN)
    target_compile_options(${target} PRIVATE -fsanitize=thread -fno-omit-frame-pointer)
    target_link_options(${target} PRIVATE -fsanitize=thread)
  endif()
  if(KV_FUZZ)
    # Coverage for libFuzzer in everything; only the fuzz programs link its
    # main (fuzz/CMakeLists.txt).
    target_compile_options(${target} PRIVATE -fsanitize=fuzzer-no-link)
  endif()
endfunction()

# kv_library(name SOURCES ... [DEPS ...] [PUBLIC_DEPS ...])
# Headers are included by their path from the repository root, e.g.
# #include "kvi/actual_size_file.h".
function(kv_library name)
  cmake_parse_arguments(A "" "" "SOURCES;DEPS;PUBLIC_DEPS" ${ARGN})
  add_library(${name} STATIC ${A_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${A_DEPS} PUBLIC ${A_PUBLIC_DEPS})
  kv_defaults(${name})
  if(KV_SANITIZE OR KV_FUZZ)
    # Static libraries carry the option to whatever links them.
    target_link_options(${name} INTERFACE -fsanitize=address,undefined)
  endif()
  if(KV_TSAN)
    target_link_options(${name} INTERFACE -fsanitize=thread)
  endif()
endfunction()

# kv_test(name SOURCES ... [DEPS ...] [GUI] [LABELS ...])
# GUI tests run headless on Qt's offscreen platform.
function(kv_test name)
  cmake_parse_arguments(A "GUI" "" "SOURCES;DEPS;LABELS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${A_DEPS} GTest::gtest GTest::gmock)
  if(A_GUI)
    # A QApplication on the offscreen platform, then the GoogleTest runner.
    target_link_libraries(${name} PRIVATE kv_gui_test_main Qt6::Test)
  else()
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
  endif()
  kv_defaults(${name})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  add_test(NAME ${name} COMMAND ${name} WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  set(env "KV_TEST_DATA=${PROJECT_SOURCE_DIR}/tests/data" "KV_BIN_DIR=${KV_BIN_DIR}")
  if(A_GUI)
    list(APPEND env "QT_QPA_PLATFORM=offscreen")
  endif()
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "${env}" TIMEOUT 600)
  if(A_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${A_LABELS}")
  endif()
endfunction()
