// The Linux text rasteriser's face: Linux has no Tahoma, so the face asked for must come out as one that covers
// Persian.
#include "platform/TextRaster.hpp"

#include <fontconfig/fontconfig.h>
#include <gtest/gtest.h>

#include <string>

namespace {

bool familyCoversPersian(const std::string& family) {
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcLangSet* languages = FcLangSetCreate();
    FcLangSetAdd(languages, reinterpret_cast<const FcChar8*>("fa"));
    FcPatternAddLangSet(pattern, FC_LANG, languages);
    FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, nullptr);
    FcFontSet* fonts = FcFontList(nullptr, pattern, objects);
    const bool covers = fonts != nullptr && fonts->nfont > 0;
    if (fonts != nullptr)
        FcFontSetDestroy(fonts);
    FcObjectSetDestroy(objects);
    FcLangSetDestroy(languages);
    FcPatternDestroy(pattern);
    return covers;
}

TEST(TextRasterLinux, TahomaResolvesToAPersianFace) {
    const std::string family = platform::TextRaster::resolvedFamily();
    EXPECT_TRUE(familyCoversPersian(family)) << "Tahoma resolves to " << family;
}

} // namespace
