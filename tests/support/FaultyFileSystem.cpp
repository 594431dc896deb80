#include "FaultyFileSystem.h"

namespace tarvino::test {

using platform::Outcome;

const Outcome* FaultyFileSystem::injected(FileOp op, const std::string& path, const std::string& other) const
{
    for (Fault& fault : m_faults) {
        if (fault.op != op || (path.find(fault.pathPart) == std::string::npos &&
                               other.find(fault.pathPart) == std::string::npos))
            continue;
        ++fault.seen;
        if (fault.occurrence == 0 || fault.seen == fault.occurrence)
            return &fault.outcome;
    }
    return nullptr;
}

Outcome FaultyFileSystem::change(FileOp op, const std::string& path, const std::string& other,
                                 const std::function<Outcome()>& real)
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
