# The last step of every installation of the distribution (see zem_finish_distribution): the programs
# signed when the environment names a code-signing certificate, then SHA256SUMS over every file.
#   ZEM_SIGN_PFX             the certificate and its private key, PKCS#12
#   ZEM_SIGN_PASSWORD        its password, if it has one
#   ZEM_SIGN_TIMESTAMP_URL   an RFC 3161 time-stamp server, if one is to be asked
set(root "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
file(GLOB_RECURSE programs LIST_DIRECTORIES false "${root}/*.exe" "${root}/*.dll")

if("$ENV{ZEM_SIGN_PFX}" STREQUAL "")
  message(NOTICE "Made an unsigned distribution: no code-signing certificate given (ZEM_SIGN_PFX)")
else()
  if(NOT ZEM_OSSLSIGNCODE)
    message(FATAL_ERROR "ZEM_SIGN_PFX is set but osslsigncode was not found")
  endif()
  set(options -pkcs12 "$ENV{ZEM_SIGN_PFX}" -h sha256)
  # The password goes through a file only its owner can read, never on a command line others can list.
  set(secret_dir "${ZEM_BUILD_DIR}/signing")
  file(MAKE_DIRECTORY "${secret_dir}")
  file(CHMOD "${secret_dir}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
  if(NOT "$ENV{ZEM_SIGN_PASSWORD}" STREQUAL "")
    file(WRITE "${secret_dir}/password" "$ENV{ZEM_SIGN_PASSWORD}")
    list(APPEND options -readpass "${secret_dir}/password")
  endif()
  if(NOT "$ENV{ZEM_SIGN_TIMESTAMP_URL}" STREQUAL "")
    list(APPEND options -ts "$ENV{ZEM_SIGN_TIMESTAMP_URL}")
  endif()
  foreach(program IN LISTS programs)
    file(REMOVE "${program}.signed")
    execute_process(COMMAND ${ZEM_OSSLSIGNCODE} sign ${options} -in "${program}" -out "${program}.signed"
                    OUTPUT_VARIABLE output ERROR_VARIABLE output RESULT_VARIABLE failed)
    if(failed)
      file(REMOVE "${secret_dir}/password" "${program}.signed")
      message(FATAL_ERROR "signing ${program} failed:\n${output}")
    endif()
    file(RENAME "${program}.signed" "${program}")
  endforeach()
  file(REMOVE "${secret_dir}/password")
  list(LENGTH programs count)
  message(NOTICE "Signed ${count} program(s) of the distribution with $ENV{ZEM_SIGN_PFX}")
endif()

# The format sha256sum writes and checks (`sha256sum -c SHA256SUMS` in the distribution's folder).
file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE "${root}" "${root}/*")
list(REMOVE_ITEM files SHA256SUMS)
list(SORT files)
set(sums "")
foreach(file IN LISTS files)
  file(SHA256 "${root}/${file}" hash)
  string(APPEND sums "${hash}  ${file}\n")
endforeach()
file(WRITE "${root}/SHA256SUMS" "${sums}")
