# The packed resources: a packer of our own, built for the build machine also in the
# Windows cross build, packs the archiver, the two scripts and the HFS+ drivers; each
# resource becomes a generated C++ source of stickforge_core.
#   -DSTICKFORGE_WIN_7ZIP_DIR=<folder with 7z.exe and 7z.dll>  (Windows; default build/7zip)
#   -DSTICKFORGE_HFS_DRIVERS_DIR=<folder with x86/ and x64/, each holding AppleMNT.sys and
#                                 AppleHFS.sys>  (optional: Apple's drivers cannot be shipped)

set(PACKER_SOURCES
    ${CMAKE_SOURCE_DIR}/buildtools/packer/pack_main.cpp
    ${CMAKE_SOURCE_DIR}/buildtools/packer/resource_packer.cpp
    ${CMAKE_SOURCE_DIR}/resources/resource_format.cpp)
set(PACKER_HEADERS
    ${CMAKE_SOURCE_DIR}/buildtools/packer/resource_packer.h
    ${CMAKE_SOURCE_DIR}/resources/resource_format.h
    ${CMAKE_SOURCE_DIR}/resources/lzma_stream.h)
if(CMAKE_CROSSCOMPILING)
  set(RESOURCE_PACKER ${CMAKE_BINARY_DIR}/resource_packer)
  add_custom_command(
    OUTPUT ${RESOURCE_PACKER}
    COMMAND c++ -std=c++20 -O2 -Wall -Wextra -I${CMAKE_SOURCE_DIR} ${PACKER_SOURCES}
            -o ${RESOURCE_PACKER} -lzip -llzma -lz
    DEPENDS ${PACKER_SOURCES} ${PACKER_HEADERS}
    COMMENT "Building the resource packer for the build machine"
    VERBATIM)
  set(PACKER_DEPENDS ${RESOURCE_PACKER})
else()
  pkg_check_modules(PACKER_DEPS REQUIRED IMPORTED_TARGET liblzma libzip zlib)
  add_executable(resource_packer ${PACKER_SOURCES})
  target_include_directories(resource_packer PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_libraries(resource_packer PRIVATE PkgConfig::PACKER_DEPS)
  set(RESOURCE_PACKER $<TARGET_FILE:resource_packer>)
  set(PACKER_DEPENDS resource_packer)
endif()

set(SCRIPT_DIR ${CMAKE_SOURCE_DIR}/data/scripts)
if(WIN32)
  set(STICKFORGE_WIN_7ZIP_DIR ${CMAKE_BINARY_DIR}/7zip
      CACHE PATH "Folder holding the Windows 7z.exe and 7z.dll")
  foreach(file 7z.exe 7z.dll)
    if(NOT EXISTS ${STICKFORGE_WIN_7ZIP_DIR}/${file})
      message(FATAL_ERROR "${STICKFORGE_WIN_7ZIP_DIR}/${file} is missing: build the Windows "
                          "7-Zip first with scripts/build-win-7zip.sh, or point "
                          "-DSTICKFORGE_WIN_7ZIP_DIR at a folder holding 7z.exe and 7z.dll.")
    endif()
  endforeach()
  set(ARCHIVER_FILES ${STICKFORGE_WIN_7ZIP_DIR}/7z.dll ${STICKFORGE_WIN_7ZIP_DIR}/7z.exe)
  set(ARCHIVER_FILE_NAME 7z.exe)
  set(CLOVER_SCRIPT_FILE_NAME Unpack_Clover_ISO.bat)
  set(RECOVERY_SCRIPT_FILE_NAME Unpack_RecHDUpdate_pkg.bat)
else()
  find_program(SEVEN_ZIP_PROGRAM 7zz)
  if(NOT SEVEN_ZIP_PROGRAM)
    message(FATAL_ERROR "7zz not found: install Debian's 7zip package (scripts/setup.sh).")
  endif()
  set(ARCHIVER_FILES ${SEVEN_ZIP_PROGRAM})
  set(ARCHIVER_FILE_NAME 7zz)
  set(CLOVER_SCRIPT_FILE_NAME unpack_clover_iso.sh)
  set(RECOVERY_SCRIPT_FILE_NAME unpack_rechdupdate_pkg.sh)
endif()
foreach(script ${CLOVER_SCRIPT_FILE_NAME} ${RECOVERY_SCRIPT_FILE_NAME})
  if(NOT EXISTS ${SCRIPT_DIR}/${script})
    message(FATAL_ERROR "${SCRIPT_DIR}/${script} is missing.")
  endif()
endforeach()

set(STICKFORGE_HFS_DRIVERS_DIR "" CACHE PATH
    "Folder with x86/ and x64/ holding AppleMNT.sys and AppleHFS.sys; empty leaves the packs empty")
set(HFS_DRIVERS_x86)
set(HFS_DRIVERS_x64)
if(STICKFORGE_HFS_DRIVERS_DIR)
  foreach(arch x86 x64)
    foreach(file AppleMNT.sys AppleHFS.sys)
      if(NOT EXISTS ${STICKFORGE_HFS_DRIVERS_DIR}/${arch}/${file})
        message(FATAL_ERROR "${STICKFORGE_HFS_DRIVERS_DIR}/${arch}/${file} is missing.")
      endif()
      list(APPEND HFS_DRIVERS_${arch} ${STICKFORGE_HFS_DRIVERS_DIR}/${arch}/${file})
    endforeach()
  endforeach()
endif()

set(RESOURCE_SOURCE_DIR ${CMAKE_BINARY_DIR}/generated/resources)
# pack_resource(<name> [file...]): the files in this order as the resource's ZIP entries.
function(pack_resource name)
  set(output ${RESOURCE_SOURCE_DIR}/${name}.cpp)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${RESOURCE_PACKER} ${output} ${name} ${ARGN}
    DEPENDS ${PACKER_DEPENDS} ${ARGN}
    COMMENT "Packing ${name}"
    VERBATIM)
  target_sources(stickforge_core PRIVATE ${output})
endfunction()

file(MAKE_DIRECTORY ${RESOURCE_SOURCE_DIR})
pack_resource(SevenZipPack ${ARCHIVER_FILES})
pack_resource(CloverScriptPack ${SCRIPT_DIR}/${CLOVER_SCRIPT_FILE_NAME})
pack_resource(RecoveryScriptPack ${SCRIPT_DIR}/${RECOVERY_SCRIPT_FILE_NAME})
pack_resource(HfsDrivers32Pack ${HFS_DRIVERS_x86})
pack_resource(HfsDrivers64Pack ${HFS_DRIVERS_x64})
configure_file(${CMAKE_CURRENT_LIST_DIR}/packed_names.cpp.in ${RESOURCE_SOURCE_DIR}/packed_names.cpp
               @ONLY)
target_sources(stickforge_core PRIVATE ${RESOURCE_SOURCE_DIR}/packed_names.cpp)
