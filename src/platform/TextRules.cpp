#include "platform/TextRules.h"

#include <string>

namespace tarvino::platform {
namespace {

// Invalid bytes stand for themselves, so that no input is ever dropped.
std::u32string decode(std::string_view text)
{
    std::u32string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto b = static_cast<unsigned char>(text[i]);
        const int extra = b >= 0xF8 ? 0 : b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC2 ? 1 : 0;
        if (b < 0x80 || extra == 0 || i + extra >= text.size()) {
            out += static_cast<char32_t>(b);
            ++i;
            continue;
        }
        char32_t cp = b & (0x3F >> extra);
        bool valid = true;
        for (int k = 1; k <= extra; ++k) {
            const auto c = static_cast<unsigned char>(text[i + k]);
            if ((c & 0xC0) != 0x80) {
                valid = false;
                break;
            }
            cp = (cp << 6) | (c & 0x3F);
        }
        if (!valid) {
            out += static_cast<char32_t>(b);
            ++i;
            continue;
        }
        out += cp;
        i += extra + 1;
    }
    return out;
}

char32_t fold(char32_t c)
{
    if (c >= U'A' && c <= U'Z')
        return c + 0x20;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7)
        return c + 0x20;
    // Latin Extended-A pairs capitals and small letters next to each other,
    // capital first, except in the three stretches where the small letter leads.
    if ((c >= 0x100 && c <= 0x12F) || (c >= 0x132 && c <= 0x137) || (c >= 0x14A && c <= 0x177))
        return c | 1;
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))
        return (c & 1) ? c + 1 : c;
    if (c == 0x178)
        return 0xFF;
    return c;
}

std::u32string folded(std::string_view text)
{
    std::u32string out = decode(text);
    for (char32_t& c : out)
        c = fold(c);
    return out;
}

bool globMatch(std::u32string_view name, std::u32string_view pattern)
{
    // Iterative matching with one backtrack point: linear for "*" patterns.
    std::size_t n = 0, p = 0, starP = std::u32string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == U'?' || pattern[p] == name[n])) {
            ++n;
            ++p;
        } else if (p < pattern.size() && pattern[p] == U'*') {
            starP = p++;
            starN = n;
        } else if (starP != std::u32string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == U'*')
        ++p;
    return p == pattern.size();
}

} // namespace

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    return folded(a) == folded(b);
}

bool matchesWildcard(std::string_view name, std::string_view pattern)
{
    const std::u32string n = folded(name);
    const std::u32string p = folded(pattern);
    if (globMatch(n, p))
        return true;
    if (p.size() >= 2 && p.ends_with(U".*") && n.find(U'.') == std::u32string::npos)
        return globMatch(n, std::u32string_view(p).substr(0, p.size() - 2));
    return false;
}

std::string commandLineOf(const std::vector<std::string>& arguments)
{
    std::string line;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (i > 0)
            line += ' ';
        // The program's own name knows no escapes, and a program path holds no quote.
        if (i == 0) {
            line += '"' + argument + '"';
            continue;
        }
        if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) {
            line += argument;
            continue;
        }
        line += '"';
        std::size_t backslashes = 0;
        for (const char c : argument) {
            if (c == '\\') {
                ++backslashes;
                continue;
            }
            line.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
            backslashes = 0;
            line += c;
        }
        line.append(backslashes * 2, '\\');
        line += '"';
    }
    return line;
}

} // namespace tarvino::platform
