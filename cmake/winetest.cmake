# Tests run through Wine (tools/ makes wine-run) in a prefix private to this build tree, on the X display
# the test command started.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run)

# Builds GoogleTest from Debian's sources with the cross compiler.
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# One wineserver for the whole run: started with the prefix's system processes before the first test, ended
# after the last (see wine-run).
add_test(NAME wineprefix_setup COMMAND ${CMAKE_BINARY_DIR}/wine-run --init --hold-desktop)
add_test(NAME wineserver_stop COMMAND ${CMAKE_BINARY_DIR}/wine-run --stop)
set_tests_properties(wineprefix_setup PROPERTIES FIXTURES_SETUP wineprefix)
set_tests_properties(wineserver_stop PROPERTIES FIXTURES_CLEANUP wineprefix)

# Wine has no IIS: the stand-in admin base object is registered in the prefix before any test runs, so
# every program that asks for the metabase finds it, as on a server with IIS. Without a MetaBase.xml in
# the prefix it holds no web site; a test that needs sites gives itself a store file of its own through
# ZEM_METABASE_PATH, so tests running side by side never see each other's.
if(TARGET zem_iisadmin)
  add_test(NAME iisadmin_register COMMAND ${CMAKE_BINARY_DIR}/wine-run regsvr32 /s "Z:$<TARGET_FILE:zem_iisadmin>")
  set_tests_properties(iisadmin_register PROPERTIES FIXTURES_SETUP iisadmin FIXTURES_REQUIRED wineprefix)
endif()

# zem_add_wine_test(<name> <target> [LANG <locale>] [DESKTOP] [ARGS ...])
# DESKTOP: the test needs keyboard focus on the shared display, so such tests run one at a time.
function(zem_add_wine_test name target)
  cmake_parse_arguments(T "DESKTOP" "LANG;TIMEOUT" "ARGS" ${ARGN})
  if(NOT T_LANG)
    set(T_LANG en_US.UTF-8)
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  add_test(NAME ${name} COMMAND ${target} ${T_ARGS})
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "LANG=${T_LANG};LC_ALL=${T_LANG}"
                       FIXTURES_REQUIRED "wineprefix;iisadmin" TIMEOUT ${T_TIMEOUT})
  if(T_DESKTOP)
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK desktop)
  endif()
endfunction()
