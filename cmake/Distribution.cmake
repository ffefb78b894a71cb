# What makes a program fit for the distribution, and what finishes the distribution once every file of it
# is installed.

# The system DLLs the programs import that are not among Windows' known DLLs, so that Windows would look
# for them in the program's own folder first. A shipped program imports them delay-loaded instead: for
# each, this folder holds a library of the same name, searched before the toolchain's, that gives the
# linker a delay-import library and the helper that loads it. The start-up hook (util/SystemDlls.cpp)
# has then already limited every load to System32.
set(ZEM_DELAYED_DLLS comctl32 comdlg32 bcrypt)
set(ZEM_DELAYLIB_DIR ${CMAKE_BINARY_DIR}/delayimp)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(import_prefix __imp_)
else()
  set(import_prefix __imp__)   # the 32-bit names carry a leading underscore and their @<bytes>
endif()
set(delay_libs)
foreach(dll IN LISTS ZEM_DELAYED_DLLS)
  find_library(ZEM_IMPLIB_${dll} lib${dll}.a REQUIRED)
  execute_process(COMMAND ${CMAKE_NM} ${ZEM_IMPLIB_${dll}} OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
  # Every function of the import library (a data import has no code thunk and cannot be delay-loaded).
  string(REGEX MATCHALL " I ${import_prefix}[^\n]+" imports "${symbols}")
  set(exports "LIBRARY ${dll}.dll\nEXPORTS\n")
  foreach(import IN LISTS imports)
    string(REPLACE " I ${import_prefix}" "" name "${import}")
    string(REPLACE "__imp_" "" thunk_symbol " T ${import_prefix}${name}\n")
    string(FIND "${symbols}" "${thunk_symbol}" thunk)
    if(NOT thunk EQUAL -1)
      string(APPEND exports "${name}\n")
    endif()
  endforeach()
  file(CONFIGURE OUTPUT ${ZEM_DELAYLIB_DIR}/${dll}.def CONTENT "${exports}")
  add_custom_command(OUTPUT ${ZEM_DELAYLIB_DIR}/${dll}-delay.a
                     COMMAND ${CMAKE_DLLTOOL} --kill-at --input-def ${dll}.def --output-delaylib ${dll}-delay.a
                     DEPENDS ${ZEM_DELAYLIB_DIR}/${dll}.def WORKING_DIRECTORY ${ZEM_DELAYLIB_DIR} VERBATIM)
  # A linker script under the import library's name: the delay-import library and the helper together.
  file(CONFIGURE OUTPUT ${ZEM_DELAYLIB_DIR}/lib${dll}.a CONTENT "GROUP(${ZEM_DELAYLIB_DIR}/${dll}-delay.a -ldelayimp)\n")
  list(APPEND delay_libs ${ZEM_DELAYLIB_DIR}/${dll}-delay.a)
endforeach()
add_custom_target(zem_delay_imports DEPENDS ${delay_libs})

# zem_ship_program(<target>): installs the program into the distribution, its system DLLs taken from
# System32 alone, its PE header stating the oldest Windows it runs on (Windows 7 / Server 2008 R2, as
# _WIN32_WINNT says), so that older Windows refuses it with its own message.
function(zem_ship_program target)
  target_link_libraries(${target} PRIVATE zem_system_dlls)
  target_link_options(${target} PRIVATE -L${ZEM_DELAYLIB_DIR}
                      LINKER:--major-subsystem-version,6,--minor-subsystem-version,1
                      LINKER:--major-os-version,6,--minor-os-version,1)
  add_dependencies(${target} zem_delay_imports)
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${delay_libs})
  install(TARGETS ${target} RUNTIME DESTINATION .)
endfunction()

# Runs after everything else is installed, by `cmake --install` and by cpack alike (which strips the
# programs before): signs the programs when a certificate is given, then writes SHA256SUMS.
function(zem_finish_distribution)
  find_program(ZEM_OSSLSIGNCODE osslsigncode)
  install(CODE "set(ZEM_OSSLSIGNCODE \"${ZEM_OSSLSIGNCODE}\")\nset(ZEM_BUILD_DIR \"${CMAKE_BINARY_DIR}\")")
  install(SCRIPT ${PROJECT_SOURCE_DIR}/dist/finish.cmake)
endfunction()
