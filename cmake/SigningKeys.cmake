# The minisign public keys built into the launcher (VARNHOLD_SIGNING_KEY): each the key line minisign prints
# ("RWQ…") or a file holding it (minisign.pub); at most two, so that a community can roll its key over. Included by
# the top CMakeLists.txt; also run as a script, cmake -DKEYS=<files or lines> -DOUTPUT=<file> -P SigningKeys.cmake,
# to write the keys of a test program while the tests build.
set(VARNHOLD_MAX_SIGNING_KEYS 2)

# varnhold_key_lines(OUT ITEM...): the key line of each ITEM, a key line or a key file. Anything else stops the build:
# a launcher with a broken key would refuse every document its server signs.
function(varnhold_key_lines out)
    set(lines)
    foreach(item IN LISTS ARGN)
        set(line "${item}")
        if(EXISTS "${item}")
            file(STRINGS "${item}" line REGEX "^RW[A-Za-z0-9+/]+=*$")
            if(NOT CMAKE_SCRIPT_MODE_FILE)
                # A key file changed later is read again at the next build.
                set_property(DIRECTORY "${PROJECT_SOURCE_DIR}" APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${item}")
            endif()
        endif()
        string(STRIP "${line}" line)
        # "Ed", the 8-byte key id and the 32-byte Ed25519 key: 42 bytes, 56 base64 characters.
        if(NOT line MATCHES "^RW[A-Za-z0-9+/]+$")
            message(FATAL_ERROR "VARNHOLD_SIGNING_KEY: '${item}' is neither a minisign public key line nor a file "
                                "holding one")
        endif()
        string(LENGTH "${line}" length)
        if(NOT length EQUAL 56)
            message(FATAL_ERROR "VARNHOLD_SIGNING_KEY: '${item}' is not a minisign public key (56 characters)")
        endif()
        list(APPEND lines "${line}")
    endforeach()
    list(REMOVE_DUPLICATES lines)
    list(LENGTH lines count)
    if(count GREATER VARNHOLD_MAX_SIGNING_KEYS)
        message(FATAL_ERROR "VARNHOLD_SIGNING_KEY: at most ${VARNHOLD_MAX_SIGNING_KEYS} keys, the current one and "
                            "the next, not ${count}")
    endif()
    set(${out} "${lines}" PARENT_SCOPE)
endfunction()

# varnhold_write_signing_keys(FILE LINE...): the source file that defines builtInSigningKeys() with these lines. It
# is only rewritten when its text changes, so an unchanged key rebuilds nothing.
function(varnhold_write_signing_keys file)
    set(body "    return {};\n")
    if(ARGN)
        set(entries "")
        foreach(line IN LISTS ARGN)
            string(APPEND entries "        \"${line}\",\n")
        endforeach()
        set(body "    static constexpr std::string_view keys[] = {\n${entries}    };\n    return keys;\n")
    endif()
    set(text "// Written by the build from VARNHOLD_SIGNING_KEY (cmake/SigningKeys.cmake): not to be edited.\n")
    string(APPEND text "#include \"app/SigningKeys.hpp\"\n\n")
    string(APPEND text "std::span<const std::string_view> builtInSigningKeys() {\n${body}}\n")
    file(WRITE "${file}.new" "${text}")
    file(COPY_FILE "${file}.new" "${file}" ONLY_IF_DIFFERENT)
    file(REMOVE "${file}.new")
endfunction()

if(CMAKE_SCRIPT_MODE_FILE AND DEFINED OUTPUT)
    varnhold_key_lines(lines ${KEYS})
    varnhold_write_signing_keys("${OUTPUT}" ${lines})
endif()
