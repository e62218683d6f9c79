# The libraries the SDK, the local ad server and the tests build on, as targets
# of the same names on every platform:
#   nlohmann_json::nlohmann_json, ZLIB::ZLIB,
#   kestrel_zip (libzip), kestrel_httplib (cpp-httplib), kestrel_os (the platform layer's libraries).
# Linux takes them from Debian's packages; the Windows cross build from
# /usr/x86_64-w64-mingw32 and the prefix scripts/windows-deps fills.
find_package(Threads REQUIRED)

if(WIN32)
  set(ZLIB_USE_STATIC_LIBS ON)  # Wine would quietly supply a zlib1.dll; Windows does not.
  find_package(ZLIB REQUIRED)

  find_path(KESTREL_JSON_INCLUDE nlohmann/json.hpp REQUIRED)
  add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
  set_target_properties(nlohmann_json::nlohmann_json PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${KESTREL_JSON_INCLUDE})

  find_path(KESTREL_ZIP_INCLUDE zip.h REQUIRED)
  find_library(KESTREL_ZIP_LIBRARY NAMES libzip.a REQUIRED)
  add_library(kestrel_zip INTERFACE)
  target_include_directories(kestrel_zip SYSTEM INTERFACE ${KESTREL_ZIP_INCLUDE})
  target_link_libraries(kestrel_zip INTERFACE ${KESTREL_ZIP_LIBRARY} ZLIB::ZLIB)

  find_path(KESTREL_HTTPLIB_INCLUDE httplib.h REQUIRED)
  add_library(kestrel_httplib INTERFACE)
  target_include_directories(kestrel_httplib SYSTEM INTERFACE ${KESTREL_HTTPLIB_INCLUDE})
  target_compile_definitions(kestrel_httplib INTERFACE _WIN32_WINNT=0x0A00)
  target_link_libraries(kestrel_httplib INTERFACE ws2_32)

  add_library(kestrel_os INTERFACE)
  target_link_libraries(kestrel_os INTERFACE
    wininet ole32 shell32 shlwapi uuid advapi32 user32 gdi32 version powrprof)
else()
  find_package(ZLIB REQUIRED)
  find_package(nlohmann_json 3 REQUIRED)
  find_package(PkgConfig REQUIRED)
  # libzip through pkg-config: Debian's CMake package for it also wants the zip tools installed.
  pkg_check_modules(LIBZIP REQUIRED IMPORTED_TARGET libzip)
  pkg_check_modules(CPPHTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)
  pkg_check_modules(KESTREL_OS REQUIRED IMPORTED_TARGET gtk+-3.0 webkit2gtk-4.1 libcurl)

  add_library(kestrel_zip INTERFACE)
  target_link_libraries(kestrel_zip INTERFACE PkgConfig::LIBZIP ZLIB::ZLIB)
  add_library(kestrel_httplib INTERFACE)
  target_link_libraries(kestrel_httplib INTERFACE PkgConfig::CPPHTTPLIB)
  add_library(kestrel_os INTERFACE)
  target_link_libraries(kestrel_os INTERFACE PkgConfig::KESTREL_OS)
endif()
