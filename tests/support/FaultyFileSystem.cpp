#include "FaultyFileSystem.h"

namespace tarvino::test {

using platform::Outcome;

void FaultyFileSystem::fail(FileOp op, std::string pathPart, int occurrence, Outcome outcome)
{
    m_faults.push_back({op, std::move(pathPart), occurrence, std::move(outcome)});
}

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

const Outcome* FaultyFileSystem::change(FileOp op, const std::string& path, const std::string& other)
{
    alive();
    ++m_changes;
    if (m_changes == m_abandonChange) {
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
        return &m_changeFailure;
    return injected(op, path, other);
}

Outcome FaultyFileSystem::createFolder(const std::string& path)
{
    const Outcome* o = change(FileOp::CreateFolder, path);
    return o ? *o : m_real.createFolder(path);
}

Outcome FaultyFileSystem::removeFolder(const std::string& path)
{
    const Outcome* o = change(FileOp::RemoveFolder, path);
    return o ? *o : m_real.removeFolder(path);
}

Outcome FaultyFileSystem::copyFile(const std::string& from, const std::string& to)
{
    const Outcome* o = change(FileOp::Copy, from, to);
    return o ? *o : m_real.copyFile(from, to);
}

Outcome FaultyFileSystem::moveFile(const std::string& from, const std::string& to)
{
    const Outcome* o = change(FileOp::Move, from, to);
    return o ? *o : m_real.moveFile(from, to);
}

Outcome FaultyFileSystem::deleteFile(const std::string& path, bool force)
{
    const Outcome* o = change(FileOp::Delete, path);
    return o ? *o : m_real.deleteFile(path, force);
}

Outcome FaultyFileSystem::deleteMatching(const std::string& folder, const std::string& pattern)
{
    const Outcome* o = change(FileOp::DeleteMatching, folder + pattern);
    return o ? *o : m_real.deleteMatching(folder, pattern);
}

std::optional<std::uint64_t> FaultyFileSystem::fileSize(const std::string& path, Outcome* why) const
{
    alive();
    if (auto* o = injected(FileOp::FileSize, path)) {
        if (why)
            *why = *o;
        return std::nullopt;
    }
    return m_real.fileSize(path, why);
}

Outcome FaultyFileSystem::readFile(const std::string& path, std::string& bytes) const
{
    alive();
    const Outcome* o = injected(FileOp::Read, path);
    return o ? *o : m_real.readFile(path, bytes);
}

Outcome FaultyFileSystem::appendToFile(const std::string& path, const std::string& bytes, bool* opened)
{
    if (auto* o = change(FileOp::Append, path)) {
        if (opened)
            *opened = false;
        return *o;
    }
    if (auto* o = injected(FileOp::Write, path)) {
        if (opened)
            *opened = true;
        return *o;
    }
    return m_real.appendToFile(path, bytes, opened);
}

} // namespace tarvino::test

namespace tarvino::test {

Outcome FaultyFileSystem::replaceFile(const std::string& from, const std::string& to)
{
    const Outcome* o = change(FileOp::Replace, from, to);
    return o ? *o : m_real.replaceFile(from, to);
}

Outcome FaultyFileSystem::flushFile(const std::string& path)
{
    const Outcome* o = change(FileOp::Flush, path);
    return o ? *o : m_real.flushFile(path);
}

std::optional<std::uint64_t> FaultyFileSystem::freeSpace(const std::string& folder) const
{
    alive();
    return freeBytes ? freeBytes : m_real.freeSpace(folder);
}

} // namespace tarvino::test
