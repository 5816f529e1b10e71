# The Linux installation: both programs, the menu entry with its launcher, polkit action,
# icons and AppStream data, the man pages, bash completion and the package documents; and
# the Debian package made from it (cpack -G DEB, run by scripts/package.sh).
#
# The menu entry's launcher and the polkit action name the installed program by its full
# path, and polkit reads actions only from /usr/share, so the prefix is /usr unless given.
if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
  set(CMAKE_INSTALL_PREFIX /usr CACHE PATH "Installation prefix" FORCE)
endif()
include(GNUInstallDirs)

set(PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging/linux)
set(INSTALL_STAGE ${CMAKE_BINARY_DIR}/install-files)
set(APP_ID io.github.ormund.stickforge)

# The program icon in the hicolor sizes, drawn by the icon writer.
add_executable(write_icon ${ICON_TOOL_SOURCES})
target_include_directories(write_icon PRIVATE ${CMAKE_SOURCE_DIR})
find_package(ZLIB REQUIRED)
target_link_libraries(write_icon PRIVATE ZLIB::ZLIB)
set(HICOLOR_SIZES 16x16 32x32 48x48 72x72)
set(ICON_FILES)
foreach(size IN LISTS HICOLOR_SIZES)
  list(APPEND ICON_FILES ${INSTALL_STAGE}/hicolor/${size}/apps/stickforge.png)
endforeach()
add_custom_command(
  OUTPUT ${ICON_FILES}
  COMMAND write_icon --hicolor ${INSTALL_STAGE}/hicolor
  DEPENDS write_icon
  COMMENT "Drawing the menu icons")

# Files that carry the version or the installed program's path.
set(STICKFORGE_PROGRAM ${CMAKE_INSTALL_FULL_BINDIR}/stickforge)
configure_file(${PACKAGING_DIR}/stickforge-launch ${INSTALL_STAGE}/stickforge-launch @ONLY)
configure_file(${PACKAGING_DIR}/${APP_ID}.policy ${INSTALL_STAGE}/${APP_ID}.policy @ONLY)
configure_file(${PACKAGING_DIR}/${APP_ID}.desktop ${INSTALL_STAGE}/${APP_ID}.desktop @ONLY)
configure_file(${PACKAGING_DIR}/${APP_ID}.metainfo.xml ${INSTALL_STAGE}/${APP_ID}.metainfo.xml
               @ONLY)
configure_file(${PACKAGING_DIR}/changelog ${INSTALL_STAGE}/changelog @ONLY)

# The copyright file: the program's own notice, then that of the 7-Zip archiver packed
# inside, as Debian's 7zip package ships it.
set(SEVEN_ZIP_COPYRIGHT /usr/share/doc/7zip/copyright)
if(NOT EXISTS ${SEVEN_ZIP_COPYRIGHT})
  message(FATAL_ERROR "${SEVEN_ZIP_COPYRIGHT} is missing: install Debian's 7zip package.")
endif()
file(READ ${CMAKE_SOURCE_DIR}/packaging/notice.txt OWN_NOTICE)
file(READ ${PACKAGING_DIR}/copyright PACKED_INTRODUCTION)
file(READ ${SEVEN_ZIP_COPYRIGHT} PACKED_COPYRIGHT)
file(WRITE ${INSTALL_STAGE}/copyright.new
     "${OWN_NOTICE}${PACKED_INTRODUCTION}${PACKED_COPYRIGHT}")
configure_file(${INSTALL_STAGE}/copyright.new ${INSTALL_STAGE}/copyright COPYONLY)

# Compressed as Debian wants them: gzip -9, without the name and time stamp.
set(GZIPPED)
foreach(source ${CMAKE_SOURCE_DIR}/cli/stickforge-cli.1 ${CMAKE_SOURCE_DIR}/app/stickforge.1
               ${INSTALL_STAGE}/changelog)
  get_filename_component(name ${source} NAME)
  add_custom_command(
    OUTPUT ${INSTALL_STAGE}/${name}.gz
    COMMAND gzip -9n -c ${source} > ${INSTALL_STAGE}/${name}.gz
    DEPENDS ${source}
    COMMENT "Compressing ${name}")
  list(APPEND GZIPPED ${INSTALL_STAGE}/${name}.gz)
endforeach()
add_custom_target(install_files ALL DEPENDS ${ICON_FILES} ${GZIPPED})
# Installing (and cpack) builds only what is installed, not the tests.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

install(TARGETS stickforge stickforge-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(PROGRAMS ${INSTALL_STAGE}/stickforge-launch
        DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/stickforge)
install(FILES ${INSTALL_STAGE}/${APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications)
install(DIRECTORY ${INSTALL_STAGE}/hicolor DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons)
install(FILES ${INSTALL_STAGE}/${APP_ID}.policy
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/polkit-1/actions)
install(FILES ${INSTALL_STAGE}/${APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/metainfo)
install(FILES ${INSTALL_STAGE}/stickforge-cli.1.gz ${INSTALL_STAGE}/stickforge.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_SOURCE_DIR}/cli/stickforge-cli.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/bash-completion/completions
        RENAME stickforge-cli)
install(FILES ${INSTALL_STAGE}/copyright ${INSTALL_STAGE}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The Debian package. Its library dependencies come from what the binaries link
# (dpkg-shlibdeps); the programs they run are named here.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME stickforge)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "make USB sticks that boot the Clover bootloader")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Stickforge turns a USB flash drive, or another disk when allowed, into a
bootable disk for the Clover bootloader: it writes a new MBR partition table,
formats the first partition, writes the boot records and copies the Clover
data set onto it. It also downloads Clover releases, backs up and restores
partitions as image files, downloads macOS Recovery HD packages, extracts HFS
images from DMG files and computes Clover's FixDsdtMask.

The package holds the window (started from the menu through pkexec) and
stickforge-cli, which runs the same operations from a terminal.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Ormund <ormund@users.noreply.github.com>")
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://ormund.github.io/stickforge/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The format service's mkfs programs and mtools, the launcher's pkexec; the FUSE drivers
# mount where the kernel has no exFAT or NTFS driver; xdg-open opens the help and links.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "dosfstools, exfatprogs, ntfs-3g, udftools, mtools, pkexec")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "exfat-fuse, xdg-utils")
include(CPack)
