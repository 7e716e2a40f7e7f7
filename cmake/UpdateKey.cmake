# The public key the client checks update lists with, built into the executable. The default is
# the repository's test key; a release names the release key's file (scripts/package does).
set(DROVANE_TEST_PUBLIC_KEY ${CMAKE_SOURCE_DIR}/keys/test-key.public.hex)
set(DROVANE_UPDATE_PUBLIC_KEY ${DROVANE_TEST_PUBLIC_KEY} CACHE FILEPATH
    "Public key file (128 hex digits: P-256 X||Y) the client trusts update lists signed with")

function(drovane_read_public_key file out)
  if(NOT EXISTS "${file}")
    message(FATAL_ERROR "Update list public key ${file} does not exist")
  endif()
  file(STRINGS "${file}" lines REGEX "^[^#]")
  list(LENGTH lines count)
  if(NOT count EQUAL 1 OR NOT lines MATCHES "^[0-9a-f]+$")
    message(FATAL_ERROR "${file}: expected one line of lowercase hex digits besides # comments")
  endif()
  string(LENGTH "${lines}" length)
  if(NOT length EQUAL 128)
    message(FATAL_ERROR "${file}: a P-256 public key is 128 hex digits (X||Y), not ${length}")
  endif()
  set(${out} ${lines} PARENT_SCOPE)
endfunction()

drovane_read_public_key("${DROVANE_UPDATE_PUBLIC_KEY}" update_key_hex)
drovane_read_public_key("${DROVANE_TEST_PUBLIC_KEY}" test_key_hex)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             "${DROVANE_UPDATE_PUBLIC_KEY}" "${DROVANE_TEST_PUBLIC_KEY}")
if(update_key_hex STREQUAL test_key_hex)
  set(DROVANE_UPDATE_KEY_IS_TEST_KEY true)
else()
  set(DROVANE_UPDATE_KEY_IS_TEST_KEY false)
endif()
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," DROVANE_UPDATE_KEY_BYTES "${update_key_hex}")
set(DROVANE_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
configure_file(${CMAKE_SOURCE_DIR}/cmake/UpdatePublicKey.h.in
               ${DROVANE_GENERATED_DIR}/UpdatePublicKey.h @ONLY)
message(STATUS "Update lists are checked with ${DROVANE_UPDATE_PUBLIC_KEY}"
               " (test key: ${DROVANE_UPDATE_KEY_IS_TEST_KEY})")
