# The Windows build's libraries, built from source with the cross compiler: a Windows machine has no package
# manager to give them. Each is fetched by tag or commit from its upstream repository, or taken from a local tree
# with -DFETCHCONTENT_SOURCE_DIR_<NAME>=DIR (scripts/build-windows --sources passes one per name).
include(FetchContent)
find_package(Threads REQUIRED)

# Pins, one line each: scripts/build-windows reads them too, to unpack local mirrors of these repositories.
set(VARNHOLD_SOURCE_sfml "https://github.com/SFML/SFML.git;2.6.2")
set(VARNHOLD_SOURCE_curl "https://github.com/curl/curl.git;curl-8_11_1")
# mpg123 1.33.5; later commits need CMake 3.27 for ports/cmake.
set(VARNHOLD_SOURCE_mpg123 "https://github.com/madebr/mpg123.git;7525f293f1c4a64d76b8590d6f34f6b5499344be")
# The tests' local servers: the version Debian ships to the Linux build, whose header there needs its library.
set(VARNHOLD_SOURCE_httplib "https://github.com/yhirose/cpp-httplib.git;v0.11.4")
# Ed25519 and BLAKE2b for the server document's signature: Windows has no OpenSSL, and CNG no Ed25519.
set(VARNHOLD_SOURCE_monocypher "https://github.com/LoupVaillant/Monocypher.git;4.0.3")

foreach(name sfml curl mpg123 httplib monocypher)
    list(GET VARNHOLD_SOURCE_${name} 0 repository)
    list(GET VARNHOLD_SOURCE_${name} 1 tag)
    set(extra "")
    if(name STREQUAL "mpg123")
        # A commit cannot be cloned shallow; its CMake project lives in ports/cmake.
        set(extra SOURCE_SUBDIR ports/cmake)
    else()
        set(extra GIT_SHALLOW ON)
    endif()
    FetchContent_Declare(${name} GIT_REPOSITORY ${repository} GIT_TAG ${tag} ${extra})
endforeach()

# Cache entries rather than plain variables: older projects' option() calls would drop a plain variable, and a
# cache entry still yields to the developer's own -D.
set(BUILD_SHARED_LIBS OFF CACHE BOOL "Static libraries only: the launcher ships as one exe and OpenAL's DLL")
set(BUILD_TESTING OFF CACHE BOOL "The libraries' own test suites are not built")

# SFML: its repository carries mingw builds of FreeType, OpenAL, FLAC, Vorbis and Ogg under extlibs/.
set(SFML_BUILD_EXAMPLES OFF CACHE BOOL "")
set(SFML_BUILD_DOC OFF CACHE BOOL "")
set(SFML_BUILD_TEST_SUITE OFF CACHE BOOL "")

# libcurl over HTTP only, with Windows' own TLS (Schannel) and no other library to ship or build.
set(BUILD_CURL_EXE OFF CACHE BOOL "")
set(BUILD_STATIC_LIBS ON CACHE BOOL "")
set(HTTP_ONLY ON CACHE BOOL "")
set(CURL_USE_SCHANNEL ON CACHE BOOL "")
set(CURL_USE_OPENSSL OFF CACHE BOOL "")
set(CURL_ZLIB OFF CACHE BOOL "")
set(CURL_BROTLI OFF CACHE BOOL "")
set(CURL_ZSTD OFF CACHE BOOL "")
set(CURL_USE_LIBPSL OFF CACHE BOOL "")
set(CURL_USE_LIBSSH2 OFF CACHE BOOL "")
set(CURL_USE_LIBSSH OFF CACHE BOOL "")
set(USE_NGHTTP2 OFF CACHE BOOL "")
set(USE_LIBIDN2 OFF CACHE BOOL "")
set(USE_WIN32_IDN OFF CACHE BOOL "")
set(CURL_DISABLE_LDAP ON CACHE BOOL "")
set(CURL_USE_PKGCONFIG OFF CACHE BOOL "")
set(CURL_DISABLE_INSTALL ON CACHE BOOL "")
set(BUILD_LIBCURL_DOCS OFF CACHE BOOL "")
set(BUILD_MISC_DOCS OFF CACHE BOOL "")
set(ENABLE_CURL_MANUAL OFF CACHE BOOL "")
set(BUILD_EXAMPLES OFF CACHE BOOL "")

# libmpg123 only: its audio output library and programs are not needed to decode.
set(BUILD_LIBOUT123 OFF CACHE BOOL "")

FetchContent_MakeAvailable(sfml curl mpg123)

# DLLs the programs load at run time: Wine finds them through WINEPATH for the tests, scripts/build-windows copies
# them beside the launcher in dist/.
set(VARNHOLD_RUNTIME_DLLS ${sfml_SOURCE_DIR}/extlibs/bin/x64/openal32.dll)
string(REPLACE ";" "\n" runtimeDllLines "${VARNHOLD_RUNTIME_DLLS}")
file(WRITE ${PROJECT_BINARY_DIR}/runtime-dlls.txt "${runtimeDllLines}\n")
# Wine reads Windows paths, and Z: is the root of the Linux file system.
set(VARNHOLD_WINEPATH "Z:${sfml_SOURCE_DIR}/extlibs/bin/x64")
if(CMAKE_CROSSCOMPILING_EMULATOR)
    list(INSERT CMAKE_CROSSCOMPILING_EMULATOR 3 "WINEPATH=${VARNHOLD_WINEPATH}") # after "cmake -E env"
endif()

# The names the layers link against: on Linux they stand for Debian's packages (cmake/Dependencies.cmake).
add_library(varnhold_sfml INTERFACE)
target_link_libraries(varnhold_sfml INTERFACE sfml-graphics sfml-window sfml-system sfml-network sfml-audio)
add_library(Deps::SFML ALIAS varnhold_sfml)
add_library(Deps::CURL ALIAS libcurl_static)
# libmpg123's CMake port gives its users only the generated headers' folder; mpg123.h itself stays in the source.
add_library(varnhold_mpg123 INTERFACE)
target_include_directories(varnhold_mpg123 SYSTEM INTERFACE ${mpg123_SOURCE_DIR}/src/include)
target_link_libraries(varnhold_mpg123 INTERFACE libmpg123)
add_library(Deps::MPG123 ALIAS varnhold_mpg123)

# cpp-httplib, header-only: its own CMake project would look for OpenSSL, zlib and Brotli, which the tests need not.
FetchContent_GetProperties(httplib)
if(NOT httplib_POPULATED)
    FetchContent_Populate(httplib)
endif()
add_library(varnhold_httplib INTERFACE)
target_include_directories(varnhold_httplib SYSTEM INTERFACE ${httplib_SOURCE_DIR})
target_link_libraries(varnhold_httplib INTERFACE ws2_32 crypt32 Threads::Threads)
add_library(Deps::HTTPLIB ALIAS varnhold_httplib)

# Monocypher, two C files with a makefile of their own: its core (BLAKE2b) and its optional standard Ed25519 with
# SHA-512, which minisign's signatures are; the core's own EdDSA hashes with BLAKE2b and is not Ed25519.
FetchContent_GetProperties(monocypher)
if(NOT monocypher_POPULATED)
    FetchContent_Populate(monocypher)
endif()
add_library(varnhold_monocypher STATIC ${monocypher_SOURCE_DIR}/src/monocypher.c
                                       ${monocypher_SOURCE_DIR}/src/optional/monocypher-ed25519.c)
target_include_directories(varnhold_monocypher SYSTEM PUBLIC ${monocypher_SOURCE_DIR}/src
                                                             ${monocypher_SOURCE_DIR}/src/optional)
add_library(Deps::MONOCYPHER ALIAS varnhold_monocypher)

# GoogleTest from Debian's source package, built with the cross compiler like everything else.
set(VARNHOLD_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest's source tree")
if(VARNHOLD_TESTS AND EXISTS ${VARNHOLD_GTEST_SOURCE}/CMakeLists.txt)
    set(INSTALL_GTEST OFF CACHE BOOL "")
    add_subdirectory(${VARNHOLD_GTEST_SOURCE} ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
endif()
