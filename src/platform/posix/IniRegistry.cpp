#include "platform/posix/IniRegistry.h"
#include "platform/posix/PosixPlatform.h"

#include "platform/RegistryPath.h"
#include "platform/TextRules.h"

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

namespace fs = std::filesystem;

namespace tarvino::platform {
namespace {

// Values live in one section; every line is "full path=decimal value".
constexpr const char* kSection = "[REG_DWORD]";

fs::path storeFile()
{
    return configFolder() / "Registry.ini";
}

struct Line {
    std::string text;
    std::string key; // empty unless the line holds a value
    std::string value;
};

std::vector<Line> readLines(const fs::path& file, Outcome& outcome)
{
    std::vector<Line> lines;
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno != ENOENT)
            outcome = Outcome::failed(errno, std::strerror(errno));
        return lines;
    }
    std::string content;
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            outcome = Outcome::failed(errno, std::strerror(errno));
            break;
        }
        content.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);

    std::size_t start = 0;
    while (start < content.size()) {
        std::size_t end = content.find('\n', start);
        if (end == std::string::npos)
            end = content.size();
        Line line;
        line.text = content.substr(start, end - start);
        if (!line.text.empty() && line.text.back() == '\r')
            line.text.pop_back();
        // Value names may hold "=", numbers never do: the last one separates.
        const auto eq = line.text.rfind('=');
        if (eq != std::string::npos && line.text[0] != ';' && line.text[0] != '[') {
            line.key = line.text.substr(0, eq);
            line.value = line.text.substr(eq + 1);
        }
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

// The registry ignores letter case; so does the store, or one value would have two copies.
Line* findLine(std::vector<Line>& lines, const std::string& key)
{
    for (Line& line : lines) {
        if (!line.key.empty() && equalsIgnoringCase(line.key, key))
            return &line;
    }
    return nullptr;
}

Outcome writeAll(int fd, const std::string& bytes)
{
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return Outcome::failed(errno, std::strerror(errno));
        }
        written += static_cast<std::size_t>(n);
    }
    return Outcome::ok();
}

// A crash half-way must leave the old store intact: write beside it, then rename.
Outcome replaceFile(const fs::path& file, const std::string& bytes)
{
    std::string temp = (file.parent_path() / ".Registry.ini.XXXXXX").string();
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return Outcome::failed(errno, std::strerror(errno));
    Outcome result = writeAll(fd, bytes);
    if (result && ::fsync(fd) != 0)
        result = Outcome::failed(errno, std::strerror(errno));
    if (::close(fd) != 0 && result)
        result = Outcome::failed(errno, std::strerror(errno));
    if (result && ::rename(temp.c_str(), file.c_str()) != 0)
        result = Outcome::failed(errno, std::strerror(errno));
    if (!result)
        ::unlink(temp.c_str());
    return result;
}

} // namespace

Outcome IniRegistry::writeDword(const std::string& fullPath, std::uint32_t value)
{
    const auto path = parseRegistryPath(fullPath);
    if (!path)
        return Outcome::failed(EINVAL, "Invalid registry path: " + fullPath);
    const std::string key = path->full();

    const fs::path file = storeFile();
    std::error_code ec;
    fs::create_directories(file.parent_path(), ec);
    if (ec)
        return Outcome::failed(ec.value(), ec.message());

    Outcome outcome;
    std::vector<Line> lines = readLines(file, outcome);
    if (!outcome)
        return outcome;

    if (Line* line = findLine(lines, key)) {
        line->text = key + '=' + std::to_string(value);
    } else {
        if (lines.empty())
            lines.push_back({kSection, {}, {}});
        lines.push_back({key + '=' + std::to_string(value), key, {}});
    }

    std::string content;
    for (const Line& line : lines)
        content += line.text + '\n';
    return replaceFile(file, content);
}

std::optional<std::uint32_t> IniRegistry::readDword(const std::string& fullPath) const
{
    const auto path = parseRegistryPath(fullPath);
    if (!path)
        return std::nullopt;
    Outcome outcome;
    std::vector<Line> lines = readLines(storeFile(), outcome);
    const Line* line = findLine(lines, path->full());
    if (!line)
        return std::nullopt;
    std::uint32_t value = 0;
    const char* first = line->value.data();
    const char* last = first + line->value.size();
    const auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc() || end != last)
        return std::nullopt;
    return value;
}

} // namespace tarvino::platform
