#include "TestPlatform.h"

#include <cstdlib>

namespace tarvino::test {

std::optional<std::string> FakeSystemInfo::environment(const std::string& key) const
{
    if (auto it = env.find(key); it != env.end())
        return it->second;
    const char* value = std::getenv(key.c_str());
    if (!value)
        return std::nullopt;
    return std::string(value);
}

TestPlatform::TestPlatform() : m_native(platform::createNativePlatform()), faultyFiles(m_native->files()) {}

} // namespace tarvino::test
