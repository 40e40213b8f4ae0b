# Per-target settings shared by every library, program and test of the project.
function(orvane_target_settings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
endfunction()

# A GoogleTest program registered with ctest; Qt runs on the offscreen platform.
# LABELS "threads" marks the tests that scripts/test also runs under ThreadSanitizer.
function(orvane_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  orvane_target_settings(${name})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  # Test discovery flattens list-valued properties: keep each property a single value.
  set(props ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
  if(T_LABELS)
    list(APPEND props LABELS "${T_LABELS}")
  endif()
  if("threads" IN_LIST T_LABELS)
    add_dependencies(thread_tests ${name})
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    TEST_PREFIX "${name}."
    PROPERTIES ${props})
endfunction()
