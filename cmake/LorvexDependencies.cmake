# Every third-party library, found once. scripts/setup installs them all.

find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)
find_package(ICU 72 REQUIRED COMPONENTS uc i18n)
find_package(SQLite3 REQUIRED)
find_package(nlohmann_json 3.11 REQUIRED)
find_package(OpenSSL REQUIRED COMPONENTS Crypto)
pkg_check_modules(DEFLATE REQUIRED IMPORTED_TARGET libdeflate)
pkg_check_modules(SPNG REQUIRED IMPORTED_TARGET spng)
pkg_check_modules(TURBOJPEG REQUIRED IMPORTED_TARGET libturbojpeg)

if(NOT LORVEX_FUZZ)
  # The store and everything above it: the event loop, thread pools and C++20 coroutines on them;
  # the views: widgets, the bundled SVG icons, the file manager over D-Bus; Test for widget tests;
  # Network for the local socket that keeps one window per library.
  find_package(Qt6 6.4 REQUIRED COMPONENTS Core Concurrent Gui Widgets Svg DBus Test Network)
  find_package(QCoro6 0.8 REQUIRED COMPONENTS Core)
endif()

if(NOT LORVEX_FUZZ)
  find_package(GTest REQUIRED)
  find_package(benchmark REQUIRED)
endif()
