# Builds of the Linux tree under the sanitizers, and the fuzz targets.
#   -DSTICKFORGE_SANITIZE=address  AddressSanitizer with UndefinedBehaviorSanitizer
#   -DSTICKFORGE_SANITIZE=thread   ThreadSanitizer
#   -DSTICKFORGE_FUZZ=ON           libFuzzer targets (clang); the whole tree gets the
#                                  coverage the fuzzer steers by
set(STICKFORGE_SANITIZE "" CACHE STRING "address, thread or empty")
option(STICKFORGE_FUZZ "Build the libFuzzer targets (clang)" OFF)

if(STICKFORGE_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
elseif(STICKFORGE_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT STICKFORGE_SANITIZE STREQUAL "")
  message(FATAL_ERROR "STICKFORGE_SANITIZE is address, thread or empty")
endif()

if(STICKFORGE_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "The fuzz targets need clang (CXX=clang++)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
