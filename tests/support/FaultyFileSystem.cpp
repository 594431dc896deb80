#include "FaultyFileSystem.h"

namespace tarvino::test {

using platform::Outcome;

const Outcome* FaultyFileSystem::injected(FileOp op, const std::string& path, const std::string& other) const
{
    for (Fault& fault : m_faults) {
        if (fault.op != op)
            continue;
        if (path.find(fault.pathPart) == std::string::npos &&
            (other.empty() || other.find(fault.pathPart) == std::string::npos))
            continue;
        ++fault.seen;
        if (fault.occurrence == 0 || fault.seen == fault.occurrence)
            return &fault.outcome;
    }
    return nullptr;
}

template <class Change>
Outcome FaultyFileSystem::change(FileOp op, const std::string& path, const std::string& other, Change real)
{
    alive();
    ++m_changes;
    if (m_changes == m_failChange && m_abandon) {
        m_abandoned = true;
        if (op == FileOp::Copy) {
            std::string bytes;
            m_real.readFile(path, bytes);
            m_real.deleteFile(other, true);
            m_real.appendToFile(other, bytes.substr(0, bytes.size() / 2));
        }
        throw Abandoned{};
    }
    if (m_changes == m_failChange)
        return Outcome::failed(5, "Input/output error.");
    const Outcome* failure = injected(op, path, other);
    return failure ? *failure : real();
}

Outcome FaultyFileSystem::createFolder(const std::string& path)
{
    return change(FileOp::CreateFolder, path, {}, [&] { return m_real.createFolder(path); });
}

Outcome FaultyFileSystem::removeFolder(const std::string& path)
{
    return change(FileOp::RemoveFolder, path, {}, [&] { return m_real.removeFolder(path); });
}

Outcome FaultyFileSystem::copyFile(const std::string& from, const std::string& to)
{
    return change(FileOp::Copy, from, to, [&] { return m_real.copyFile(from, to); });
}

Outcome FaultyFileSystem::moveFile(const std::string& from, const std::string& to)
{
    return change(FileOp::Move, from, to, [&] { return m_real.moveFile(from, to); });
}

Outcome FaultyFileSystem::deleteFile(const std::string& path, bool force)
{
    return change(FileOp::Delete, path, {}, [&] { return m_real.deleteFile(path, force); });
}

Outcome FaultyFileSystem::deleteMatching(const std::string& folder, const std::string& pattern)
{
    return change(FileOp::DeleteMatching, folder + pattern, {},
                  [&] { return m_real.deleteMatching(folder, pattern); });
}

Outcome FaultyFileSystem::replaceFile(const std::string& from, const std::string& to)
{
    return change(FileOp::Replace, from, to, [&] { return m_real.replaceFile(from, to); });
}

Outcome FaultyFileSystem::flushFile(const std::string& path)
{
    return change(FileOp::Flush, path, {}, [&] { return m_real.flushFile(path); });
}

Outcome FaultyFileSystem::readFile(const std::string& path, std::string& bytes) const
{
    alive();
    const Outcome* failure = injected(FileOp::Read, path);
    return failure ? *failure : m_real.readFile(path, bytes);
}

Outcome FaultyFileSystem::appendToFile(const std::string& path, const std::string& bytes, bool* opened)
{
    if (opened)
        *opened = false;
    // The opening is the change; a failed write comes after it.
    return change(FileOp::Append, path, {}, [&] {
        const Outcome* failure = injected(FileOp::Write, path);
        if (!failure)
            return m_real.appendToFile(path, bytes, opened);
        if (opened)
            *opened = true;
        return *failure;
    });
}

} // namespace tarvino::test
