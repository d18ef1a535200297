# Every library comes from Debian's packages (scripts/install-deps) and is found through pkg-config.
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)
pkg_check_modules(SFML REQUIRED IMPORTED_TARGET sfml-graphics sfml-window sfml-system sfml-network sfml-audio)
pkg_check_modules(CURL REQUIRED IMPORTED_TARGET libcurl)
pkg_check_modules(CRYPTO REQUIRED IMPORTED_TARGET libcrypto)
pkg_check_modules(MPG123 REQUIRED IMPORTED_TARGET libmpg123)
pkg_check_modules(PANGOCAIRO REQUIRED IMPORTED_TARGET pangocairo fontconfig fribidi)
# Debian's cpp-httplib is a shared library built with OpenSSL, zlib and brotli: its pkg-config flags must be used.
pkg_check_modules(HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)
