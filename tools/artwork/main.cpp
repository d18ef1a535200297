// varnhold-artwork: paints the launcher's images into an assets folder, or a mock window to judge them.
//
//   varnhold-artwork OUTDIR                      writes OUTDIR/{en,fa,common}/NN-name.{jpg,png}, and the same at
//                                                twice the size under OUTDIR/2x/
//   varnhold-artwork --mock OUT.png [--fa] [--wait] [--hover N]
//   varnhold-artwork --icon OUT.png              the desktop icon, 256 x 256
#include "Artwork.hpp"
#include "Icon.hpp"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>

namespace {

int usage() {
    std::fprintf(stderr, "usage: varnhold-artwork OUTDIR\n"
                         "       varnhold-artwork --mock OUT.png [--fa] [--wait] [--hover N]\n"
                         "       varnhold-artwork --icon OUT.png\n");
    return 2;
}

int writeAll(const std::filesystem::path& outDir) {
    using artwork::Language;
    // The window's own size, and twice that for scaled displays.
    for (const auto& [scale, folder] : {std::pair{1.0, outDir}, std::pair{2.0, outDir / "2x"}}) {
        for (const char* sub : {"en", "fa", "common"}) {
            std::error_code ec;
            std::filesystem::create_directories(folder / sub, ec);
            if (ec) {
                std::fprintf(stderr, "varnhold-artwork: cannot create %s: %s\n", (folder / sub).c_str(),
                             ec.message().c_str());
                return 1;
            }
        }
        for (const Language lang : {Language::English, Language::Finglish}) {
            for (int i = 0; i < artwork::imageCount; ++i) {
                if (artwork::imageInfo(i).shared && lang == Language::Finglish)
                    continue;
                const std::filesystem::path path = folder / artwork::relativePath(i, lang);
                const artwork::Canvas image = artwork::renderImage(i, lang, scale);
                const bool ok = i == 0 ? image.saveJpeg(path.string()) : image.savePng(path.string());
                if (!ok) {
                    std::fprintf(stderr, "varnhold-artwork: cannot write %s\n", path.c_str());
                    return 1;
                }
                std::printf("%s\n", path.c_str());
            }
        }
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return usage();
    const std::string first = argv[1];
    if (first == "--icon") {
        if (argc != 3)
            return usage();
        if (!artwork::renderIcon().savePng(argv[2])) {
            std::fprintf(stderr, "varnhold-artwork: cannot write %s\n", argv[2]);
            return 1;
        }
        return 0;
    }
    if (first != "--mock")
        return argc == 2 ? writeAll(first) : usage();

    if (argc < 3)
        return usage();
    artwork::MockOptions options;
    for (int i = 3; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--fa")
            options.language = artwork::Language::Finglish;
        else if (arg == "--wait")
            options.playAvailable = false;
        else if (arg == "--hover" && i + 1 < argc)
            options.hoveredButton = std::atoi(argv[++i]);
        else
            return usage();
    }
    if (!artwork::renderMock(options).savePng(argv[2])) {
        std::fprintf(stderr, "varnhold-artwork: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
