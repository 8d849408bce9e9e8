# valgrind memcheck of a representative part of the script tests: each
# selected script runs once more, with orhost under memcheck, as a ctest
# labelled "valgrind" (tools/test runs them as a stage of their own).
#
# The fault-injection sweeps and the large-data scripts would take many
# minutes under valgrind and add nothing the sanitizer build does not
# already check; they are left out by name.
find_program(VALGRIND_PROGRAM valgrind)
if(NOT VALGRIND_PROGRAM)
  message(STATUS "valgrind not found: no memcheck tests")
  return()
endif()

set(ZIP_VALGRIND_SKIP "sweep|fault|fuzz|large|huge|stress|bench|perf|4gib"
    CACHE STRING "Regular expression of script test names left out of the valgrind run")

file(GLOB VALGRIND_SCRIPTS CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/scripts/*.lua)
foreach(script ${VALGRIND_SCRIPTS})
  get_filename_component(name ${script} NAME_WE)
  if(name MATCHES "${ZIP_VALGRIND_SKIP}")
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
        --track-origins=yes
        --suppressions=${PROJECT_SOURCE_DIR}/cmake/valgrind.supp
        $<TARGET_FILE:orhost> --plugin-dir $<TARGET_FILE_DIR:zip_orp> ${script})
  set_tests_properties(valgrind.${name} PROPERTIES LABELS valgrind TIMEOUT 600)
endforeach()
