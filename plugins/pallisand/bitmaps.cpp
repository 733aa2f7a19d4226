// The windows' images, drawn for this library as XPM text.
#include "bitmaps.h"

namespace pallisand {

// Add, delete, edit, lock, unlock; pure green is transparent.
const char* const kToolBarBitmap[] = {
    "80 16 7 1",
    "g c #00FF00",
    "k c #000000",
    "r c #C00000",
    "y c #E8B800",
    "b c #0058C8",
    "d c #707070",
    "l c #C8C8C8",
    "ggggggggggggggggggggggggggggggggggggggggggggggggggggggggggggggggggggggggkkkkgggg",
    "gggggggggggggggggggggggggggggggggggggggggggkkgggggggggkkkkgggggggggggggkddddkggg",
    "ggggggkkkkggggggggrrggggggggrrggggggggggggkrrkgggggggkddddkgggggggggggkdkkkkdkgg",
    "ggggggkbbkggggggggrrrggggggrrrgggggggggggkyrrrkgggggkdkkkkdkggggggggggkdkggkdkgg",
    "ggggggkbbkgggggggggrrrggggrrrgggggggggggkyyyrkggggggkdkggkdkggggggggggkdkggkdkgg",
    "ggggggkbbkggggggggggrrrggrrrgggggggggggkyyyykgggggggkdkggkdkggggggggggkdkggkkkgg",
    "ggkkkkkbbkkkkkgggggggrrrrrrgggggggggggkyyyykggggggggkdkggkdkggggggggggkdkggggggg",
    "ggkbbbbbbbbbbkggggggggrrrrgggggggggggkyyyykgggggggkkkkkkkkkkkkggggkkkkkkkkkkkkgg",
    "ggkbbbbbbbbbbkggggggggrrrrggggggggggkyyyykggggggggkyyyyyyyyyykggggkyyyyyyyyyykgg",
    "ggkkkkkbbkkkkkgggggggrrrrrrggggggggkyyyykgggggggggkyyyyyyyyyykggggkyyyyyyyyyykgg",
    "ggggggkbbkggggggggggrrrggrrrggggggklyyykggggggggggkyyyykkyyyykggggkyyyykkyyyykgg",
    "ggggggkbbkgggggggggrrrggggrrrgggggkllykgggggggggggkyyyykkyyyykggggkyyyykkyyyykgg",
    "ggggggkbbkggggggggrrrggggggrrrggggkkllkgggggggggggkyyyyyyyyyykggggkyyyyyyyyyykgg",
    "ggggggkkkkggggggggrrggggggggrrggggkkkkggggggggggggkyyyyyyyyyykggggkyyyyyyyyyykgg",
    "ggggggggggggggggggggggggggggggggggggggggggggggggggkkkkkkkkkkkkggggkkkkkkkkkkkkgg",
    "gggggggggggggggggggggggggggggggggggggggggggggggggggggggggggggggggggggggggggggggg",
};

// The colour toolbar's one image; white is transparent.
const char* const kColorsBitmap[] = {
    "16 16 6 1",
    "w c #FFFFFF",
    "k c #000000",
    "r c #C00000",
    "y c #E8B800",
    "b c #0058C8",
    "G c #00A000",
    "wwwwwwwwwwwwwwww",
    "wkkkkkkwwkkkkkkw",
    "wkrrrrkwwkGGGGkw",
    "wkrrrrkwwkGGGGkw",
    "wkrrrrkwwkGGGGkw",
    "wkrrrrkwwkGGGGkw",
    "wkkkkkkwwkkkkkkw",
    "wwwwwwwwwwwwwwww",
    "wwwwwwwwwwwwwwww",
    "wkkkkkkwwkkkkkkw",
    "wkbbbbkwwkyyyykw",
    "wkbbbbkwwkyyyykw",
    "wkbbbbkwwkyyyykw",
    "wkbbbbkwwkyyyykw",
    "wkkkkkkwwkkkkkkw",
    "wwwwwwwwwwwwwwww",
};

// A station; the large icon is this one drawn at twice the size.
const char* const kSmallMacIcon[] = {
    "16 16 4 1",
    "k c #000000",
    ". c None",
    "b c #0058C8",
    "l c #C8C8C8",
    "................",
    ".kkkkkkkkkkkkkk.",
    ".kllllllllllllk.",
    ".klbbbbbbbbbblk.",
    ".klbbbbbbbbbblk.",
    ".klbbbbbbbbbblk.",
    ".klbbbbbbbbbblk.",
    ".klbbbbbbbbbblk.",
    ".klbbbbbbbbbblk.",
    ".kllllllllllllk.",
    ".kkkkkkkkkkkkkk.",
    "......kllk......",
    "....kkkllkkk....",
    "...kllllllllk...",
    "...kkkkkkkkkk...",
    "................",
};

}  // namespace pallisand
