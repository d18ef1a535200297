// The minisign public keys this launcher trusts, fixed when it is built (VARNHOLD_SIGNING_KEY).
#pragma once

#include <span>
#include <string_view>

/// The key lines built into this program; none for a launcher built without a key. Defined by a source file the build
/// writes, one for each program, so a test program can carry keys of its own.
[[nodiscard]] std::span<const std::string_view> builtInSigningKeys();
