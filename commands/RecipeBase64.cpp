// commands/RecipeBase64.cpp: the template bytes of a recipe as text.
#include "Recipe.h"

#include <array>

namespace {

constexpr std::string_view kAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// The 6-bit value of each character; -1 for characters outside the alphabet.
constexpr std::array<int, 256> MakeValues()
{
    std::array<int, 256> values{};
    values.fill(-1);
    for (std::size_t i = 0; i < kAlphabet.size(); ++i)
        values[static_cast<unsigned char>(kAlphabet[i])] = static_cast<int>(i);
    return values;
}
constexpr std::array<int, 256> kValues = MakeValues();

}  // namespace

std::string EncodeBase64(const std::vector<std::uint8_t>& bytes)
{
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
        std::uint32_t group = static_cast<std::uint32_t>(bytes[i]) << 16;
        if (n > 1)
            group |= static_cast<std::uint32_t>(bytes[i + 1]) << 8;
        if (n > 2)
            group |= bytes[i + 2];
        for (std::size_t k = 0; k < 4; ++k)
            text += k <= n ? kAlphabet[(group >> (18 - 6 * k)) & 63] : '=';
    }
    return text;
}

std::optional<std::vector<std::uint8_t>> DecodeBase64(std::string_view text)
{
    if (text.size() % 4 != 0)
        return std::nullopt;
    std::vector<std::uint8_t> bytes;
    bytes.reserve(text.size() / 4 * 3);
    for (std::size_t i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        // Padding: none, or one or two '=' closing the last group.
        const std::size_t pad = !last ? 0 : text[i + 3] != '=' ? 0 : text[i + 2] != '=' ? 1 : 2;
        std::uint32_t group = 0;
        for (std::size_t k = 0; k < 4; ++k) {
            const int value = k < 4 - pad ? kValues[static_cast<unsigned char>(text[i + k])] : 0;
            if (value < 0)
                return std::nullopt;
            group = group << 6 | static_cast<std::uint32_t>(value);
        }
        // Bits below the last whole byte must be zero, so every byte string has one spelling.
        if ((pad == 1 && (group & 0xFF) != 0) || (pad == 2 && (group & 0xFFFF) != 0))
            return std::nullopt;
        bytes.push_back(static_cast<std::uint8_t>(group >> 16));
        if (pad < 2)
            bytes.push_back(static_cast<std::uint8_t>(group >> 8));
        if (pad < 1)
            bytes.push_back(static_cast<std::uint8_t>(group));
    }
    return bytes;
}
