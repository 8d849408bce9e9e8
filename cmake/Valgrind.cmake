# valgrind memcheck of a representative part of the script tests: each
# selected script runs once more, with orhost under memcheck, as a ctest
# labelled "valgrind" (tools/test runs them as a stage of their own).
#
# memcheck slows orhost down twenty to fifty times, so the selection is one
# or two scripts per area (plug-in shell, archive objects, listing, adding,
# editing, extraction, each adapter route, the host's file layer) and leaves
# out the long ones (big entries, fault sweeps) that the sanitizer build
# covers anyway. Every script still runs under ASan+UBSan.
find_program(VALGRIND_PROGRAM valgrind)
if(NOT VALGRIND_PROGRAM)
  message(STATUS "valgrind not found: no memcheck tests")
  return()
endif()

set(ZIP_VALGRIND_SCRIPTS "^(plugin|contracts|listing|names|options|adapter_listing|adapter_reading|adapter_handles|adapter_integrity|host_files|host_read_formats|host_plugin_calls|docs_help)$"
    CACHE STRING "Regular expression of the script tests that also run under valgrind")

file(GLOB VALGRIND_SCRIPTS CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/scripts/*.lua)
foreach(script ${VALGRIND_SCRIPTS})
  get_filename_component(name ${script} NAME_WE)
  if(NOT name MATCHES "${ZIP_VALGRIND_SCRIPTS}")
    continue()
  endif()
  add_test(NAME valgrind.${name}
    COMMAND ${CMAKE_COMMAND} -E env
      "LUA_PATH=${PROJECT_SOURCE_DIR}/tests/scripts/lib/?.lua$<SEMICOLON>$<SEMICOLON>"
      "TEST_WORK=${CMAKE_BINARY_DIR}/testwork/valgrind/${name}"
      "TEST_DATA=${PROJECT_SOURCE_DIR}/tests/data"
      "ORHOST=$<TARGET_FILE:orhost>"
      ${VALGRIND_PROGRAM} --quiet --error-exitcode=1 --leak-check=full
        --errors-for-leak-kinds=definite,indirect --show-leak-kinds=definite,indirect
        --suppressions=${PROJECT_SOURCE_DIR}/cmake/valgrind.supp
        $<TARGET_FILE:orhost> --plugin-dir $<TARGET_FILE_DIR:zip_orp> ${script})
  set_tests_properties(valgrind.${name} PROPERTIES LABELS valgrind TIMEOUT 600)
endforeach()
