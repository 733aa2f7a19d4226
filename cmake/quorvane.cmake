# The C++ runtime of what a run of quorvane loads (the program, the platform
# library and the plug-ins): outside the sanitizer and i386 builds each
# carries the few parts of libstdc++ and libgcc it uses, kept hidden, so that
# a run loads neither shared runtime. Loading and relocating libstdc++ was a
# fifth of the start-up of a run over a small capture. No C++ type crosses
# their interfaces, and no exception.
if(NOT QV_SANITIZE AND NOT QV_ABI32 AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  set(QV_STATIC_RUNTIME ON)
endif()
function(qv_static_runtime target)
  if(QV_STATIC_RUNTIME)
    target_link_options(${target} PRIVATE -static-libstdc++ -static-libgcc -Wl,--exclude-libs,ALL)
  endif()
endfunction()

# qv_add_plugin(name SOURCES ... [EXPORTS sym ...])
# A plug-in: a shared library with the shared parser routines compiled in
# (its own copy and its own globals), exporting DLLControl and the listed
# symbols only.
function(qv_add_plugin name)
  cmake_parse_arguments(P "" "" "SOURCES;EXPORTS;LIBS" ${ARGN})
  add_library(${name} MODULE ${P_SOURCES})
  set_target_properties(${name} PROPERTIES PREFIX "lib")
  target_link_libraries(${name} PRIVATE qvcommon ${P_LIBS})
  qv_export_only(${name} DLLControl ${P_EXPORTS})
  qv_static_runtime(${name})
  set_property(GLOBAL APPEND PROPERTY QV_PLUGINS ${name})
endfunction()

# qv_export_only(target sym ...): a shared library or module that exports the
# listed symbols and nothing else, and links with no symbol left undefined.
function(qv_export_only target)
  set(script ${CMAKE_CURRENT_BINARY_DIR}/${target}.map)
  list(JOIN ARGN "; " syms)
  # Written only when it changes: the target relinks when the script does.
  file(CONFIGURE OUTPUT ${script} CONTENT "{ global: ${syms}; local: *; };\n" @ONLY)
  target_link_options(${target} PRIVATE -Wl,--version-script=${script} -Wl,--no-undefined)
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${script})
endfunction()

# qv_add_module(name FILE file-name SOURCES ... LIBS ... ENTRY symbol): a
# module that a plug-in or the host loads only when it is needed (the windows
# and the Qt libraries behind them), next to the plug-ins. Its file name is
# no plug-in's (lib*.so), so that no host loads it as one.
function(qv_add_module name)
  cmake_parse_arguments(M "" "FILE;ENTRY" "SOURCES;LIBS" ${ARGN})
  add_library(${name} MODULE ${M_SOURCES})
  set_target_properties(${name} PROPERTIES PREFIX "" OUTPUT_NAME ${M_FILE})
  target_link_libraries(${name} PRIVATE ${M_LIBS})
  qv_export_only(${name} ${M_ENTRY})
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
