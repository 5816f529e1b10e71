# A throw-away RSA key made by the build for the chunk list tests and benchmarks: its
# private half (chunklist-test-key/key.pem) signs the stand-in server's chunk lists, its
# public half is the object library chunklist_test_key, which a test program links in
# place of Apple's key. The shipped programs never link it.
find_program(OPENSSL_PROGRAM openssl REQUIRED)
set(CHUNKLIST_TEST_KEY_DIR ${CMAKE_BINARY_DIR}/chunklist-test-key)
set(CHUNKLIST_TEST_KEY_PEM ${CHUNKLIST_TEST_KEY_DIR}/key.pem)
set(CHUNKLIST_TEST_KEY_SOURCE ${CHUNKLIST_TEST_KEY_DIR}/test_chunklist_key.cpp)
add_custom_command(
  OUTPUT ${CHUNKLIST_TEST_KEY_PEM} ${CHUNKLIST_TEST_KEY_SOURCE}
  COMMAND ${CMAKE_COMMAND} -DOPENSSL=${OPENSSL_PROGRAM} -DPEM=${CHUNKLIST_TEST_KEY_PEM}
          -DOUTPUT=${CHUNKLIST_TEST_KEY_SOURCE} -P ${CMAKE_SOURCE_DIR}/cmake/make_test_key.cmake
  DEPENDS ${CMAKE_SOURCE_DIR}/cmake/make_test_key.cmake
  COMMENT "Making the chunk list test key"
  VERBATIM)
add_library(chunklist_test_key OBJECT ${CHUNKLIST_TEST_KEY_SOURCE})
target_include_directories(chunklist_test_key PRIVATE ${CMAKE_SOURCE_DIR})
