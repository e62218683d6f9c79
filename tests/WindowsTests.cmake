# The test suite cross-built for Windows and run under Wine (scripts/run-windows-tests):
# the portable tests of every subsystem, and tests/windows/ for the Windows backend.

# Tests of Linux parts (GTK, WebKit, /sys, XDG folders, Flatpak and Snap,
# child processes by fork or through a POSIX shell) stay out; tests/windows/
# covers their Windows side.
set(kestrel_linux_only
  unit/net/PreconnectTest.cpp
  unit/config/PersistentSettingsControllerTest.cpp
  unit/config/PreinitPrivacyTest.cpp
  unit/device/DeviceInfoTest.cpp
  unit/device/PublisherAppInfoTest.cpp
  unit/storage/FileSystemControllerTest.cpp
  unit/display/LeakSuppressions.cpp
  unit/display/PlayAdEndToEndTest.cpp
  unit/display/XdgUrlOpenerTest.cpp
  unit/device/WindowSizeTest.cpp)

# Cases of the portable programs that test a Linux part's behaviour; each
# group says what differs on Windows.
set(kestrel_linux_only_cases
  # The interface language: Windows reads the user's setting, which Wine fixes
  # when a process starts; these cases change LANG in the running process.
  # (windows_services_tests checks the Windows language.)
  RequestHeadersTest.AcceptLanguageFollowsTheInterfaceLanguage
  # curl's error numbers and its handling of a closed connection. WinINet
  # answers with its own numbers (windows_http_tests checks them) and sends a
  # request again once when the connection closes before any answer, so the
  # server's one-off "close" fault never reaches the SDK.
  ServerFaultTest.ConfigFaultsAreReportedOnceAndKeepTheChoices
  ServerFaultTest.AdsFaultsAreLoggedAndTheNextLoadAsksAgain
  ServerFaultTest.BundleAndAssetFaultsDropTheBundle
  ServerFaultTest.ImpressionFaultsDoNotHoldThePlays
  ServerFaultTest.TpatFaultsEndWithTheirRequest)
list(JOIN kestrel_linux_only_cases ":" kestrel_skip_filter)

# Wine runs in the build folder's own prefix, never in ~/.wine.
set(kestrel_wine
  /usr/bin/env WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
  ${CMAKE_CROSSCOMPILING_EMULATOR})

function(kestrel_windows_test_program name label)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE kestrel_test_support kestrel_adserver_lib GTest::gmock GTest::gtest_main
                        kestrel_warnings)
  # A program may run under Wine with settings of its own: ${name}_wine.
  if(DEFINED ${name}_wine)
    set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR "${${name}_wine}")
  else()
    set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR "${kestrel_wine}")
  endif()
  gtest_discover_tests(${name} TEST_FILTER "-${kestrel_skip_filter}"
    DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120 PROPERTIES LABELS ${label} TIMEOUT 300)
endfunction()

file(GLOB unit_dirs LIST_DIRECTORIES true ${CMAKE_CURRENT_SOURCE_DIR}/unit/*)
foreach(dir IN LISTS unit_dirs)
  get_filename_component(subsystem ${dir} NAME)
  file(GLOB dir_sources RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${dir}/*.cpp)
  list(REMOVE_ITEM dir_sources ${kestrel_linux_only})
  if(IS_DIRECTORY ${dir} AND dir_sources)
    list(TRANSFORM dir_sources PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/)
    kestrel_windows_test_program(${subsystem}_tests unit ${dir_sources})
  endif()
endforeach()

file(GLOB e2e_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/e2e/*.cpp)
kestrel_windows_test_program(e2e_tests e2e ${e2e_sources})

# The Windows backend: one program per part, each run in the environment its part needs.
set(backend ${CMAKE_CURRENT_SOURCE_DIR}/windows)
function(kestrel_backend_test_program name)
  kestrel_windows_test_program(${name} windows ${ARGN})
  target_compile_definitions(${name} PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX)
endfunction()

# WinINet against the native ad server the runner starts with faults on some routes, and one of its own.
kestrel_backend_test_program(windows_http_tests ${backend}/WinInetHttpClientTest.cpp)
# The SDK with a real publisher window and a Local AppData folder named outside
# every code page; Wine stores such names only under a UTF-8 host locale.
set(windows_play_tests_wine ${kestrel_wine})
list(INSERT windows_play_tests_wine 1 LANG=C.UTF-8)
kestrel_backend_test_program(windows_play_tests ${backend}/WindowsPlayTest.cpp)
# The plays' browser is a stand-in for the WebView2 runtime (which cannot run
# under Wine), laid out as a fixed-version runtime beside the test program.
add_library(webview2_double SHARED ${backend}/webview2-double/WebView2Double.cpp)
target_link_libraries(webview2_double PRIVATE ole32 user32 kestrel_warnings)
target_link_options(webview2_double PRIVATE -static)
set_target_properties(webview2_double PROPERTIES OUTPUT_NAME EmbeddedBrowserWebView PREFIX ""
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/webview2-runtime/130.0.2849.39/EBWebView/x64)
add_dependencies(windows_play_tests webview2_double)
# The overlay window and the window size source.
kestrel_backend_test_program(windows_window_tests ${backend}/OverlayWindowTest.cpp)

# Machine facts, files, time, ids, language, process, package and url opening.
# The program carries a version resource. Wine takes the user's locale and language and the code
# page of file names from the host locale, which must exist: a German one is
# compiled into the build folder. The system time zone comes from TZ.
enable_language(RC)
find_program(KESTREL_LOCALEDEF localedef REQUIRED)
set(services_locale ${CMAKE_BINARY_DIR}/locale)
set(windows_services_tests_wine ${kestrel_wine})
list(INSERT windows_services_tests_wine 1 LANG=de_DE.UTF-8 LOCPATH=${services_locale} TZ=Europe/Berlin)
kestrel_backend_test_program(windows_services_tests ${backend}/WindowsServicesTest.cpp ${backend}/services.rc)
add_custom_command(OUTPUT ${services_locale}/de_DE.UTF-8/LC_CTYPE
  COMMAND ${CMAKE_COMMAND} -E make_directory ${services_locale}
  COMMAND ${KESTREL_LOCALEDEF} -i de_DE -f UTF-8 ${services_locale}/de_DE.UTF-8
  VERBATIM)
add_custom_target(windows_services_locale DEPENDS ${services_locale}/de_DE.UTF-8/LC_CTYPE)
add_dependencies(windows_services_tests windows_services_locale)


# The DLL exports the public interface and nothing else.
add_test(NAME exported_symbols COMMAND ${PROJECT_SOURCE_DIR}/tests/package/check-dll-exports.sh $<TARGET_FILE:KestrelSDK>)
set_tests_properties(exported_symbols PROPERTIES LABELS package)

# The C consumer, cross-built as C against the DLL, plays an ad under Wine
# against a native ad server of its own. No WebView2 runtime is installed for
# it, so the play must end with the play-failure callback.
if(KESTREL_NATIVE_ADSERVER)
  add_executable(consumer-c ${CMAKE_CURRENT_SOURCE_DIR}/package/consumer/play.c)
  set_target_properties(consumer-c PROPERTIES C_STANDARD 11 C_STANDARD_REQUIRED ON C_EXTENSIONS OFF)
  target_compile_options(consumer-c PRIVATE -Wall -Werror -pedantic)
  target_compile_definitions(consumer-c PRIVATE KESTREL_EXPECTED_VERSION="${PROJECT_VERSION}")
  target_include_directories(consumer-c PRIVATE ${PROJECT_SOURCE_DIR}/include)
  target_link_libraries(consumer-c PRIVATE KestrelSDK)
  # The DLL beside the program, where Windows looks first.
  add_custom_command(TARGET consumer-c POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:KestrelSDK> $<TARGET_FILE_DIR:consumer-c>)
  add_test(NAME c_interface_play
    COMMAND ${PROJECT_SOURCE_DIR}/tests/support/with-adserver.sh ${KESTREL_NATIVE_ADSERVER}
      ${kestrel_wine} $<TARGET_FILE:consumer-c> failure)
  set_tests_properties(c_interface_play PROPERTIES LABELS package TIMEOUT 300)
endif()
