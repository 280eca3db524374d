#include "platform/linux/x11/KeyTable.h"

#include <array>
#include <cstdlib>
#include <utility>

namespace quorvel::x11 {

namespace {

constexpr Keysym keyReturn = 0xFF0D;
constexpr Keysym keyLinefeed = 0xFF0A;
constexpr Keysym keyTab = 0xFF09;
constexpr Keysym keyBackSpace = 0xFF08;
constexpr Keysym keyEscape = 0xFF1B;
constexpr Keysym keyDelete = 0xFFFF;
constexpr Keysym keyHome = 0xFF50;
constexpr Keysym keyLeft = 0xFF51;
constexpr Keysym keyUp = 0xFF52;
constexpr Keysym keyRight = 0xFF53;
constexpr Keysym keyDown = 0xFF54;
constexpr Keysym keyPrior = 0xFF55;
constexpr Keysym keyNext = 0xFF56;
constexpr Keysym keyEnd = 0xFF57;
constexpr Keysym unicodeKeysymBase = 0x1000000;

// Virtual key codes name key positions of the ANSI layout; letters and digits type themselves.
constexpr std::array<std::pair<std::uint16_t, Keysym>, 50> virtualKeys = {{
    {0, 'a'},        {1, 's'},         {2, 'd'},        {3, 'f'},       {4, 'h'},
    {5, 'g'},        {6, 'z'},         {7, 'x'},        {8, 'c'},       {9, 'v'},
    {11, 'b'},       {12, 'q'},        {13, 'w'},       {14, 'e'},      {15, 'r'},
    {16, 'y'},       {17, 't'},        {31, 'o'},       {32, 'u'},      {34, 'i'},
    {35, 'p'},       {37, 'l'},        {38, 'j'},       {40, 'k'},      {45, 'n'},
    {46, 'm'},       {18, '1'},        {19, '2'},       {20, '3'},      {21, '4'},
    {22, '6'},       {23, '5'},        {25, '9'},       {26, '7'},      {28, '8'},
    {29, '0'},       {36, keyReturn},  {48, keyTab},    {49, ' '},      {51, keyBackSpace},
    {53, keyEscape}, {117, keyDelete}, {115, keyHome},  {119, keyEnd},  {116, keyPrior},
    {121, keyNext},  {123, keyLeft},   {124, keyRight}, {125, keyDown}, {126, keyUp},
}};

constexpr std::uint64_t flagControl = 0x40000;
constexpr std::uint64_t flagShift = 0x20000;
constexpr std::uint64_t flagAlternate = 0x80000;
constexpr std::uint64_t flagCommand = 0x100000;

constexpr Keysym keyControlL = 0xFFE3;
constexpr Keysym keyShiftL = 0xFFE1;
constexpr Keysym keyAltL = 0xFFE9;
constexpr Keysym keySuperL = 0xFFEB;

Keysym keysymForCodePoint(char32_t code) {
    switch (code) {
        case U'\r':
            return keyReturn;
        case U'\n':
            return keyLinefeed;
        case U'\t':
            return keyTab;
        case U'\b':
            return keyBackSpace;
        case 0x1B:
            return keyEscape;
        case 0x7F:
            return keyDelete;
        default:
            break;
    }
    if ((code >= 0x20 && code < 0x7F) || (code >= 0xA0 && code <= 0xFF)) {
        return code;
    }
    return unicodeKeysymBase + code;
}

}  // namespace

std::optional<Keysym> keysymForVirtualKey(std::uint16_t virtualKey) {
    for (const auto& [code, keysym] : virtualKeys) {
        if (code == virtualKey) {
            return keysym;
        }
    }
    return std::nullopt;
}

std::vector<Keysym> modifierKeysyms(std::uint64_t flags) {
    std::vector<Keysym> keys;
    if (flags & flagControl) {
        keys.push_back(keyControlL);
    }
    if (flags & flagShift) {
        keys.push_back(keyShiftL);
    }
    if (flags & flagAlternate) {
        keys.push_back(keyAltL);
    }
    if (flags & flagCommand) {
        keys.push_back(keySuperL);
    }
    return keys;
}

std::vector<Keysym> keysymsForText(std::u16string_view text) {
    std::vector<Keysym> keys;
    for (std::size_t index = 0; index < text.size(); ++index) {
        char32_t unit = text[index];
        char32_t code = unit;
        if (unit >= 0xD800 && unit <= 0xDBFF && index + 1 < text.size() &&
            text[index + 1] >= 0xDC00 && text[index + 1] <= 0xDFFF) {
            code = 0x10000 + ((unit - 0xD800) << 10) + (text[index + 1] - 0xDC00);
            ++index;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            code = 0xFFFD;
        }
        keys.push_back(keysymForCodePoint(code));
    }
    return keys;
}

std::uint32_t wheelClicks(std::int64_t pixels) {
    constexpr std::uint64_t pixelsPerClick = 50;
    constexpr std::uint64_t mostClicks = 2000;
    if (pixels == 0) {
        return 0;
    }
    std::uint64_t magnitude =
        pixels < 0 ? 0 - static_cast<std::uint64_t>(pixels) : static_cast<std::uint64_t>(pixels);
    std::uint64_t clicks = (magnitude + pixelsPerClick / 2) / pixelsPerClick;
    if (clicks == 0) {
        clicks = 1;
    }
    return static_cast<std::uint32_t>(clicks > mostClicks ? mostClicks : clicks);
}

}  // namespace quorvel::x11
