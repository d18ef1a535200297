# The libraries every layer links against, under one set of names (Deps::…) on both platforms. On Linux each comes
# from Debian's packages (scripts/install-deps) through pkg-config; the Windows build makes its own from source.
if(WIN32)
    include(WindowsDependencies)
    return()
endif()

find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)
pkg_check_modules(SFML REQUIRED IMPORTED_TARGET sfml-graphics sfml-window sfml-system sfml-network sfml-audio)
pkg_check_modules(CURL REQUIRED IMPORTED_TARGET libcurl)
pkg_check_modules(CRYPTO REQUIRED IMPORTED_TARGET libcrypto)
pkg_check_modules(MPG123 REQUIRED IMPORTED_TARGET libmpg123)
pkg_check_modules(PANGOCAIRO REQUIRED IMPORTED_TARGET pangocairo fontconfig fribidi)
# Debian's cpp-httplib is a shared library built with OpenSSL, zlib and brotli: its pkg-config flags must be used.
pkg_check_modules(HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)

foreach(name SFML CURL CRYPTO MPG123 PANGOCAIRO HTTPLIB)
    add_library(Deps::${name} ALIAS PkgConfig::${name})
endforeach()
