# Assembles the boot sector images with the build machine's NASM (also for the Windows
# cross build) and embeds them in stickforge_core through a generated header. The
# self-test boot files are build artefacts for the tests and demonstrations only.

find_program(NASM nasm REQUIRED)

set(BOOT_SOURCE_DIR ${CMAKE_SOURCE_DIR}/data/boot)
set(BOOT_BINARY_DIR ${CMAKE_BINARY_DIR}/boot)
file(MAKE_DIRECTORY ${BOOT_BINARY_DIR})
file(GLOB BOOT_INCLUDES CONFIGURE_DEPENDS ${BOOT_SOURCE_DIR}/*.inc)

# assemble_boot(<output file> <source> [nasm options...])
function(assemble_boot output source)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${NASM} -f bin -w+all -Werror -I${BOOT_SOURCE_DIR}/ ${ARGN}
            -o ${output} ${BOOT_SOURCE_DIR}/${source}
    DEPENDS ${BOOT_SOURCE_DIR}/${source} ${BOOT_INCLUDES}
    COMMENT "Assembling ${output}"
    VERBATIM)
endfunction()

# C++ array name = NASM source.
set(BOOT_IMAGES
    kBoot0=boot0
    kBoot1f32alt=boot1f32alt
    kBoot1xalt=boot1xalt
    kMbrBin=mbr_xpc
    kBs32Bin=bs32_xpc
    kUsbHddPlus=usb_hdd_plus)
set(embed_images)
set(embed_files)
foreach(image IN LISTS BOOT_IMAGES)
  string(REPLACE "=" ";" parts ${image})
  list(GET parts 0 array)
  list(GET parts 1 name)
  assemble_boot(${BOOT_BINARY_DIR}/${name}.bin ${name}.asm)
  list(APPEND embed_images ${array}=${BOOT_BINARY_DIR}/${name}.bin)
  list(APPEND embed_files ${BOOT_BINARY_DIR}/${name}.bin)
endforeach()

set(BOOT_HEADER ${CMAKE_BINARY_DIR}/generated/boot_images_data.h)
add_custom_command(
  OUTPUT ${BOOT_HEADER}
  COMMAND ${CMAKE_COMMAND} -DOUTPUT=${BOOT_HEADER} "-DIMAGES=${embed_images}"
          -P ${BOOT_SOURCE_DIR}/embed.cmake
  DEPENDS ${embed_files} ${BOOT_SOURCE_DIR}/embed.cmake
  COMMENT "Embedding the boot sector images"
  VERBATIM)
target_sources(stickforge_core PRIVATE ${BOOT_HEADER})
target_include_directories(stickforge_core PRIVATE ${CMAKE_BINARY_DIR}/generated)

# build/boot/selftest_boot and build/boot/selftest_efildr20
assemble_boot(${BOOT_BINARY_DIR}/selftest_boot selftest_boot.asm)
assemble_boot(${BOOT_BINARY_DIR}/selftest_efildr20 selftest_boot.asm -DEFILDR20)
add_custom_target(selftest_boot ALL
                  DEPENDS ${BOOT_BINARY_DIR}/selftest_boot ${BOOT_BINARY_DIR}/selftest_efildr20)

# build/boot/selftest_bootx64.efi, from Debian's GRUB for x86-64 UEFI when it is there.
find_program(GRUB_MKIMAGE grub-mkimage)
set(GRUB_EFI_MODULES /usr/lib/grub/x86_64-efi)
if(GRUB_MKIMAGE AND EXISTS ${GRUB_EFI_MODULES}/serial.mod AND NOT CMAKE_CROSSCOMPILING)
  set(UEFI_SELFTEST ${BOOT_BINARY_DIR}/selftest_bootx64.efi)
  add_custom_command(
    OUTPUT ${UEFI_SELFTEST}
    COMMAND ${GRUB_MKIMAGE} -O x86_64-efi -d ${GRUB_EFI_MODULES} -p /EFI/BOOT
            -c ${BOOT_SOURCE_DIR}/selftest_uefi.cfg -o ${UEFI_SELFTEST}
            serial terminal echo iorw halt part_msdos fat
    DEPENDS ${BOOT_SOURCE_DIR}/selftest_uefi.cfg
    COMMENT "Building the UEFI self-test loader"
    VERBATIM)
  add_custom_target(selftest_uefi ALL DEPENDS ${UEFI_SELFTEST})
  add_dependencies(selftest_boot selftest_uefi)
endif()
