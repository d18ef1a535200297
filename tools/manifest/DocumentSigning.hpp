// Signing the written document with the admin's minisign key, so that launchers built with the public key accept it.
#pragma once

#include <cstdint>
#include <string>

/// The minisign command an admin types to sign `document` with `keyFile` and `comment`: what to do by hand when the
/// tool cannot run minisign itself.
[[nodiscard]] std::string minisignCommand(const std::string& keyFile, const std::string& document,
                                          const std::string& comment);

struct SignResult {
    bool ok = false;
    bool minisignMissing = false; // no minisign program on the PATH
    std::string signature;        // the signature file's text, when ok
    std::string error;            // what failed, when not
};

/// Signs `text` with minisign (found on the PATH) and `keyFile`, with `comment` as the trusted comment. The bytes go
/// through a private temporary folder; minisign may ask for the key's password on the terminal.
[[nodiscard]] SignResult signWithMinisign(const std::string& text, const std::string& keyFile,
                                          const std::string& comment);
