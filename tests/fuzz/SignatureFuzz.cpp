// Fuzz target for what a server's signature brings: the minisign signature file (its lines and their base64) and the
// trusted comment's serial and expiry. Whatever arrives, the check answers, and nothing made up passes it.
#include "FuzzCheck.hpp"
#include "net/DocumentTrust.hpp"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

// The key of the seed signatures, which signed another document: the inputs reach the checks with its id, and no
// change of theirs can make a signature it never made. (A key of all zeros would not do: a point of small order,
// which some Ed25519 checks accept one forgery in a few for.)
const std::vector<MinisignKey> keys{
    parseMinisignKey("RWQZ6RCP4vFjz5bj+qHjOLZCT6G6feDQ5lFsw3Jo5/GborkTv6i8dSmU").value_or(MinisignKey{})};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    if (checkMinisignSignature("a server document", input, keys))
        fuzz::fail("a signature nobody made passed the check");

    if (const std::optional<std::string> bytes = decodeBase64(input)) {
        const std::size_t padded = input.ends_with("==") ? 2 : input.ends_with("=") ? 1 : 0;
        if (bytes->size() != input.size() / 4 * 3 - padded)
            fuzz::fail("base64 decoded to the wrong length");
    }

    // Each line as a trusted comment: what is read back is what the comment said.
    std::string_view rest = input;
    while (!rest.empty()) {
        const std::string_view line = rest.substr(0, rest.find('\n'));
        rest.remove_prefix(std::min(rest.size(), line.size() + 1));
        const std::optional<Freshness> read = readFreshness(line);
        if (!read)
            continue;
        const std::optional<Freshness> again = readFreshness(freshnessComment(*read));
        if (!again || again->serial != read->serial || again->expires != read->expires)
            fuzz::fail("a serial or an expiry does not read back as written");
    }
    return 0;
}
