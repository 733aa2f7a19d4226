# qv_add_plugin(name SOURCES ... [EXPORTS sym ...])
# A plug-in: a shared library with the shared parser routines compiled in
# (its own copy and its own globals), exporting DLLControl and the listed
# symbols only.
function(qv_add_plugin name)
  cmake_parse_arguments(P "" "" "SOURCES;EXPORTS;LIBS" ${ARGN})
  add_library(${name} MODULE ${P_SOURCES})
  set_target_properties(${name} PROPERTIES PREFIX "lib")
  target_link_libraries(${name} PRIVATE qvcommon qvplatform ${P_LIBS})
  set(exports DLLControl ${P_EXPORTS})
  set(script ${CMAKE_CURRENT_BINARY_DIR}/${name}.map)
  list(JOIN exports "; " syms)
  # Written only when it changes: the plug-in relinks when the script does.
  file(CONFIGURE OUTPUT ${script} CONTENT "{ global: ${syms}; local: *; };\n" @ONLY)
  target_link_options(${name} PRIVATE -Wl,--version-script=${script} -Wl,--no-undefined)
  set_property(TARGET ${name} APPEND PROPERTY LINK_DEPENDS ${script})
  set_property(GLOBAL APPEND PROPERTY QV_PLUGINS ${name})
endfunction()

# qv_add_test(name SOURCES ... [LIBS ...]): a GoogleTest program under CTest.
function(qv_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest_main)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST TEST_PREFIX "${name}."
    PROPERTIES ENVIRONMENT "QV_PLUGIN_DIR=${CMAKE_BINARY_DIR}/bin"
               ENVIRONMENT_MODIFICATION "QUORVANE_CONFIG_DIR=set:${CMAKE_BINARY_DIR}/testconfig/${name}")
endfunction()
