# Third-party libraries, all from the system's packages (or, for the Windows build,
# from the static MinGW libraries the cross-build script makes).
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)

add_library(stickforge_deps INTERFACE)
add_library(stickforge_gui_deps INTERFACE)

if(WIN32)
  pkg_check_modules(DEPS REQUIRED IMPORTED_TARGET liblzma libzip zlib libpcre2-8 expat)
  target_compile_definitions(stickforge_deps INTERFACE LZMA_API_STATIC PCRE2_STATIC XML_STATIC
                             UNICODE _UNICODE)
  # The platform layer itself needs shell32 and ole32 (opening documents) and setupapi
  # (ejecting disks), so the command-line tool links them too.
  target_link_libraries(stickforge_deps INTERFACE PkgConfig::DEPS wininet bcrypt advapi32
                        shell32 ole32 setupapi Threads::Threads)
  target_link_libraries(stickforge_gui_deps INTERFACE comctl32 comdlg32 uuid gdi32 user32)
else()
  pkg_check_modules(DEPS REQUIRED IMPORTED_TARGET liblzma libzip zlib libpcre2-8 expat libcurl blkid libcrypto)
  target_link_libraries(stickforge_deps INTERFACE PkgConfig::DEPS Threads::Threads)
  # Debian's FLTK CMake package insists on the fluid designer being installed, so the
  # shared libraries are found directly.
  find_path(FLTK_INCLUDE_DIR FL/Fl.H REQUIRED)
  find_library(FLTK_LIBRARY fltk REQUIRED)
  find_library(FLTK_IMAGES_LIBRARY fltk_images REQUIRED)
  target_include_directories(stickforge_gui_deps INTERFACE ${FLTK_INCLUDE_DIR})
  target_link_libraries(stickforge_gui_deps INTERFACE ${FLTK_IMAGES_LIBRARY} ${FLTK_LIBRARY})
endif()

# JSON (the GitHub releases API): the header-only library of Debian's nlohmann-json3-dev
# serves both builds. The cross build cannot take the build machine's /usr/include as a
# whole, so it sees that library's own folder only.
if(WIN32)
  find_path(NLOHMANN_JSON_ROOT nlohmann/json.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH
            REQUIRED)
  set(header_only ${CMAKE_BINARY_DIR}/header-only)
  file(MAKE_DIRECTORY ${header_only})
  file(CREATE_LINK ${NLOHMANN_JSON_ROOT}/nlohmann ${header_only}/nlohmann SYMBOLIC)
  target_include_directories(stickforge_deps SYSTEM INTERFACE ${header_only})
else()
  find_package(nlohmann_json 3.10 REQUIRED)
  target_link_libraries(stickforge_deps INTERFACE nlohmann_json::nlohmann_json)
endif()
